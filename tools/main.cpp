// mivora: print layout files to PDF, PNG, SVG, PostScript or a CUPS queue.
//
// Exit codes: 0 done; 2 bad input (command line, layout, data, pictures, rich
// text, or an operation the sheet refuses); 3 printing failed (printer, CUPS
// queue, or the output could not be written); 1 anything unforeseen.
#include "Cups.h"
#include "InputError.h"
#include "Mivora.h"
#include "MivoraVersion.h"
#include "Numbers.h"
#include "PrintJob.h"
#include "Printer.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

using namespace mivora;
using namespace mivora::tool;

constexpr int ExitOk = 0;
constexpr int ExitUnforeseen = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitPrinter = 3;

const char* const ExitCodes =
    "Exit codes: 0 done, 2 bad input (command line, layout, data, pictures, rich text,\n"
    "or an operation the sheet refuses), 3 printing failed (printer, CUPS queue, or\n"
    "the output could not be written). Nothing is written when the command fails.";

// Millimetres to four significant digits, as the queue listing shows them.
std::string Mm(double Value) { return FormatNumber(Value, 4); }

// A bar on standard error, drawn only when it is a terminal.
class TProgressBar {
public:
  explicit TProgressBar(bool Enabled) : enabled_(Enabled) {}
  ~TProgressBar() { Finish(); }
  void Update(size_t Done, size_t Total) {
    if (!enabled_ || Total < 2) return;
    constexpr size_t width = 30;
    const size_t filled = Done * width / Total;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu pages", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), Done, Total);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }

private:
  bool enabled_;
  bool drawn_ = false;
};

void Warn(const std::string& Message) { std::cerr << "mivora: warning: " << Message << "\n"; }

int ListPrinters() {
  const std::vector<TCupsQueue> queues = CupsQueues();
  if (queues.empty()) {
    std::cout << "The CUPS server at " << CupsServerName() << " has no printer queues.\n";
    return ExitOk;
  }
  for (const TCupsQueue& q : queues) {
    std::cout << q.Name << (q.IsDefault ? " (default)" : "") << ": " << q.State << ", "
              << (q.Accepting ? "accepting jobs" : "not accepting jobs");
    if (!q.StateReasons.empty() && q.StateReasons != "none") std::cout << " (" << q.StateReasons << ")";
    std::cout << "\n";
    if (!q.Info.empty() && q.Info != q.Name) std::cout << "  description: " << q.Info << "\n";
    if (!q.MakeAndModel.empty()) std::cout << "  model: " << q.MakeAndModel << "\n";
    if (q.PaperWidthMm > 0) {
      const double w = q.PaperWidthMm - q.Margins.Left - q.Margins.Right;
      const double h = q.PaperHeightMm - q.Margins.Top - q.Margins.Bottom;
      std::cout << "  paper: " << q.Media << ", " << Mm(q.PaperWidthMm) << " x " << Mm(q.PaperHeightMm)
                << " mm\n"
                << "  printable area: " << Mm(w) << " x " << Mm(h) << " mm (margins left " << Mm(q.Margins.Left)
                << ", top " << Mm(q.Margins.Top) << ", right " << Mm(q.Margins.Right) << ", bottom "
                << Mm(q.Margins.Bottom) << " mm)\n";
    } else {
      std::cout << "  paper: not reported by the queue\n";
    }
  }
  return ExitOk;
}

int Main(int argc, char** argv) {
  // The command chooses every output itself; a target from the environment
  // must not redirect it.
  unsetenv("MIVORA_PRINTER");

  CLI::App app{"mivora: prints layout files (JSON) to PDF, PNG, SVG, PostScript or a CUPS printer queue."};
  app.footer(ExitCodes);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("mivora ") + MIVORA_VERSION);

  TPrintRequest request;
  std::string layout, output, queue, data, title, separator = ",";
  bool quiet = false, noWait = false, allowOutside = false;
  int timeout = 300;

  CLI::App* print = app.add_subcommand("print", "Print a layout to a file or a CUPS queue");
  print->footer(
      "The output kind follows the extension of -o: .pdf, .png, .svg or .ps. Without -o\n"
      "or -P the page goes to <layout name>.pdf in the current folder. With --data each\n"
      "record of the CSV file (header row = cell names) fills the cells and prints one\n"
      "page: one multi-page PDF, PostScript file or CUPS job, or numbered PNG/SVG files\n"
      "(out-001.png, ...).\n\n" +
      std::string(ExitCodes));
  print->add_option("LAYOUT", layout, "The layout file (JSON)")->required();
  CLI::Option* outputOption = print->add_option("-o,--output", output, "Write to this file (.pdf, .png, .svg, .ps)");
  print->add_option("-P,--printer", queue, "Print to this CUPS queue")->excludes(outputOption);
  print->add_option("--data", data, "Merge the records of this CSV file, one page each");
  print->add_option("--separator", separator, "The CSV field separator (default ,)");
  print->add_option("--title", title, "The job's title (default: the layout's)");
  print->add_flag("--allow-outside", allowOutside,
                  "Allow files outside the folder of the layout (or of the data file)");
  print->add_flag("-q,--quiet", quiet, "No progress bar");
  print->add_flag("--no-wait", noWait, "Do not wait for the CUPS job to complete");
  print->add_option("--timeout", timeout, "Seconds to wait for the CUPS job (default 300)")
      ->check(CLI::Range(1, 86400));

  CLI::App* check = app.add_subcommand("check", "Check a layout (and data) without printing");
  check->footer(ExitCodes);
  check->add_option("LAYOUT", layout, "The layout file (JSON)")->required();
  check->add_option("--data", data, "Check this CSV file against the layout too");
  check->add_option("--separator", separator, "The CSV field separator (default ,)");
  check->add_flag("--allow-outside", allowOutside,
                  "Allow files outside the folder of the layout (or of the data file)");

  CLI::App* printers =
      app.add_subcommand("printers", "List the CUPS printer queues with their paper and printable area");
  printers->footer(ExitCodes);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "mivora: " << e.what() << "\nRun 'mivora --help' or 'mivora COMMAND --help' for usage.\n";
    return ExitBadInput;
  }

  if (separator.size() != 1) {
    std::cerr << "mivora: --separator takes one character, not \"" << separator << "\"\n";
    return ExitBadInput;
  }
  request.Layout = layout;
  if (!output.empty()) request.Output = output;
  if (!queue.empty()) request.Queue = queue;
  if (!data.empty()) request.Data = data;
  if (!title.empty()) request.Title = title;
  request.Separator = separator[0];
  request.AllowOutside = allowOutside;
  request.Wait = !noWait;
  request.Timeout = std::chrono::seconds(timeout);
  request.Warn = Warn;

  if (*printers) return ListPrinters();
  if (*check) {
    const TCheckReport report = CheckLayout(request);
    std::cout << layout << ": ok, " << report.Commands << " commands, " << report.Cells << " cells";
    if (request.Data) std::cout << ", " << report.Records << " records in " << data;
    std::cout << "\n";
    return ExitOk;
  }
  TProgressBar bar(!quiet && isatty(STDERR_FILENO) != 0);
  request.Progress = [&bar](size_t Done, size_t Total) { bar.Update(Done, Total); };
  const TPrintReport report = PrintLayout(request);
  bar.Finish();
  // As lp does, say which job a queue got, so that it can be followed or cancelled.
  if (!report.Queue.empty())
    std::cout << report.Queue << "-" << report.JobId << ": " << report.Pages
              << (report.Pages == 1 ? " page" : " pages") << (report.Completed ? " printed" : " queued") << "\n";
  return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const EInputError& error) {
    std::cerr << "mivora: " << error.what() << "\n";
    return ExitBadInput;
  } catch (const EPrinterError& error) {
    std::cerr << "mivora: " << error.what() << "\n";
    return ExitPrinter;
  } catch (const mivora::Exception& error) {
    // The sheet's, the pictures' and the rich text's own errors: the input
    // asked for something they refuse.
    std::cerr << "mivora: " << error.what() << "\n";
    return ExitBadInput;
  } catch (const std::exception& error) {
    std::cerr << "mivora: unexpected error: " << error.what() << "\n";
    return ExitUnforeseen;
  }
}
