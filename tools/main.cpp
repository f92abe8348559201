// mivora: print layout files to PDF, PNG, SVG, PostScript or a CUPS queue.
//
// Exit codes: 0 done; 2 bad input (command line, layout, data, pictures, rich
// text, or an operation the sheet refuses); 3 printing failed (printer, CUPS
// queue, or the output could not be written); 1 anything unforeseen.
#include "CommandDocs.h"
#include "Csv.h"
#include "Cups.h"
#include "InputError.h"
#include "Interrupts.h"
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
    "the output could not be written), 129, 130 or 143 interrupted by SIGHUP, SIGINT\n"
    "or SIGTERM. Nothing is written when the command fails or is interrupted.";

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

std::string MarginsText(const TPrinterMargins& M) {
  return "margins left " + Mm(M.Left) + ", top " + Mm(M.Top) + ", right " + Mm(M.Right) + ", bottom " +
         Mm(M.Bottom) + " mm";
}

std::string AreaText(double WidthMm, double HeightMm, const TPrinterMargins& M) {
  return Mm(WidthMm - M.Left - M.Right) + " x " + Mm(HeightMm - M.Top - M.Bottom) + " mm";
}

std::string ListText(const std::vector<std::string>& Values, const std::string& Default) {
  if (Values.empty()) return "not reported by the queue";
  std::string text;
  for (size_t i = 0; i < Values.size(); ++i) text += (i > 0 ? ", " : "") + Values[i];
  return Default.empty() ? text : text + " (default " + Default + ")";
}

// One queue: its state, default paper and printable area, the sizes, sides and
// trays it offers; in Full each size with its printable area, and its options.
void ShowQueue(const TCupsQueue& q, bool Full) {
  std::cout << q.Name << (q.IsDefault ? " (default)" : "") << ": " << q.State << ", "
            << (q.Accepting ? "accepting jobs" : "not accepting jobs");
  if (!q.StateReasons.empty() && q.StateReasons != "none") std::cout << " (" << q.StateReasons << ")";
  std::cout << "\n";
  if (!q.Info.empty() && q.Info != q.Name) std::cout << "  description: " << q.Info << "\n";
  if (Full && !q.Location.empty()) std::cout << "  location: " << q.Location << "\n";
  if (!q.MakeAndModel.empty()) std::cout << "  model: " << q.MakeAndModel << "\n";
  if (Full && !q.StateMessage.empty()) std::cout << "  message: " << q.StateMessage << "\n";
  if (q.PaperWidthMm > 0) {
    std::cout << "  paper: " << q.Media << ", " << Mm(q.PaperWidthMm) << " x " << Mm(q.PaperHeightMm) << " mm\n"
              << "  printable area: " << AreaText(q.PaperWidthMm, q.PaperHeightMm, q.Margins) << " ("
              << MarginsText(q.Margins) << ")\n";
  } else {
    std::cout << "  paper: not reported by the queue\n";
  }
  if (Full) {
    std::cout << "  sizes:" << (q.MediaSizes.empty() ? " not reported by the queue" : "") << "\n";
    for (const TCupsMedia& m : q.MediaSizes)
      std::cout << "    " << m.Name << ": " << Mm(m.WidthMm) << " x " << Mm(m.HeightMm) << " mm, printable "
                << AreaText(m.WidthMm, m.HeightMm, m.Margins) << " (" << MarginsText(m.Margins) << ")\n";
  } else {
    std::vector<std::string> names;
    for (const TCupsMedia& m : q.MediaSizes) names.push_back(m.Name);
    std::cout << "  sizes: " << ListText(names, "") << "\n";
  }
  if (q.CustomMaxWidthMm > 0)
    std::cout << "  sizes of the job's own: " << Mm(q.CustomMinWidthMm) << " x " << Mm(q.CustomMinHeightMm)
              << " to " << Mm(q.CustomMaxWidthMm) << " x " << Mm(q.CustomMaxHeightMm) << " mm\n";
  std::cout << "  sides: " << ListText(q.Sides, q.SidesDefault) << "\n"
            << "  trays: " << ListText(q.MediaSources, q.MediaSourceDefault) << "\n";
  if (!Full) return;
  std::cout << "  copies: 1 to " << q.MaxCopies << "\n";
  for (const auto& [name, values] : q.OptionChoices) std::cout << "  " << name << ": " << ListText(values, "") << "\n";
}

// The queues of the server, or with Queue only that one, in full.
int ListPrinters(const std::string& Queue, std::chrono::milliseconds Timeout) {
  if (!Queue.empty()) {
    ShowQueue(CupsQueue(Queue, Timeout), true);
    return ExitOk;
  }
  const std::vector<TCupsQueue> queues = CupsQueues(Timeout);
  if (queues.empty()) {
    std::cout << "The CUPS server at " << CupsServerName() << " has no printer queues.\n";
    return ExitOk;
  }
  for (const TCupsQueue& q : queues) ShowQueue(q, false);
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
  std::string layout, output, queue, data, title, separator, records;
  bool quiet = false, noWait = false, allowOutside = false, strict = false;
  double maxEnlargement = 2.0;
  int timeout = 300, firstLabel = 1, recordCopies = 1, dpi = 0, maxDpi = 0;

  CLI::App* print = app.add_subcommand("print", "Print a layout to a file or a CUPS queue");
  print->footer(
      "The output kind follows the extension of -o: .pdf, .png, .svg or .ps. Without -o\n"
      "or -P the page goes to <layout name>.pdf in the current folder. With --data each\n"
      "record of the data file fills the {column} fields of the texts and the cells its\n"
      "header names, and prints one page, or one label when the layout has a label grid:\n"
      "one multi-page PDF, PostScript file or CUPS job, or numbered PNG/SVG files\n"
      "(out-001.png, ...) when there is more than one page.\n\n" +
      std::string(ExitCodes));
  print->add_option("LAYOUT", layout, "The layout file (JSON)")->required();
  std::vector<std::string> outputs, jobOptions;
  TPrintJobSettings job;
  print->add_option("-o,--output", outputs,
                    "Write to this file (.pdf, .png, .svg, .ps); with -P, a job option NAME=VALUE as lp -o takes it");
  print->add_option("-P,--printer", queue, "Print to this CUPS queue");
  CLI::Option* copiesOption =
      print->add_option("-n,--copies", job.Copies, "With -P: the number of copies (default 1)")->check(CLI::Range(1, 999999));
  CLI::Option* sidesOption =
      print->add_option("--sides", job.Sides, "With -P: one-sided, two-sided-long-edge or two-sided-short-edge")
          ->check(CLI::IsMember({"one-sided", "two-sided-long-edge", "two-sided-short-edge"}));
  CLI::Option* collateOption = print->add_flag("--collate", job.Collate, "With -P: copies come out as whole sets");
  CLI::Option* mediaOption =
      print->add_option("--media", job.Media, "With -P: print on this paper of the queue's (e.g. iso_a4_210x297mm, A4)");
  CLI::Option* sourceOption =
      print->add_option("--media-source", job.MediaSource, "With -P: the paper source (tray), e.g. tray-2");
  CLI::Option* queuePaperOption =
      print->add_flag("--queue-paper", job.QueuePaper, "With -P: lay out on the queue's default paper instead of the layout's")
          ->excludes(mediaOption);
  CLI::Option* jobOptionOption =
      print->add_option("--option", jobOptions, "With -P: a further job option NAME=VALUE, as lp -o takes it");
  print->add_option("--data", data, "Merge the records of this CSV file: one a page, or one a label");
  print->add_option("--separator", separator, "The field separator: one character, tab or \\t (default: tab for .tsv files, else ,)");
  print->add_option("--records", records, "Print only these records, counted from 1: 5-10,20");
  print->add_option("--first", firstLabel, "Start at this label of the first sheet (a partly used sheet)")
      ->check(CLI::Range(1, 1000000));
  print->add_option("--record-copies", recordCopies, "Print each record this many times in a row (default 1)")
      ->check(CLI::Range(1, 10000));
  print->add_option("--dpi", dpi, "The resolution in dots per inch, instead of the layout's (PNG previews)")
      ->check(CLI::Range(10, 4800));
  print->add_option("--max-dpi", maxDpi,
                    "Embed pictures with at most this many pixels per inch in their cell (PDF, PostScript, SVG); "
                    "finer ones are reduced")
      ->check(CLI::Range(1, 9600));
  print->add_flag("--strict", strict,
                  "Warnings are errors: text that does not fit, cells off the printable area, replaced fonts, "
                  "coarse pictures, a column nothing uses");
  print->add_option("--max-enlargement", maxEnlargement,
                    "Warn about pictures printed more than this many times their own size (default 2)")
      ->check(CLI::Range(1.0, 1000.0));
  print->add_option("--title", title, "The job's title (default: the layout's)");
  print->add_flag("--allow-outside", allowOutside,
                  "Allow files outside the folder of the layout (or of the data file)");
  print->add_option("--jobs", request.Jobs,
                    "Processes that draw the pages of a PNG or SVG merge side by side (default: one per core; "
                    "the files are the same)")
      ->check(CLI::Range(1, 4096));
  print->add_flag("-q,--quiet", quiet, "No progress bar");
  print->add_flag("--no-wait", noWait, "Do not wait for the CUPS job to complete");
  print->add_option("--timeout", timeout,
                    "Seconds that each request to the CUPS server, and the wait for the job, may take (default 300)")
      ->check(CLI::Range(1, 86400));

  CLI::App* check = app.add_subcommand("check", "Check a layout (and data) without printing");
  check->footer(ExitCodes);
  check->add_option("LAYOUT", layout, "The layout file (JSON)")->required();
  check->add_option("--data", data, "Check this CSV file against the layout too");
  check->add_option("--separator", separator, "The field separator: one character, tab or \\t (default: tab for .tsv files, else ,)");
  check->add_option("--records", records, "Check only these records, counted from 1: 5-10,20");
  check->add_flag("--strict", strict,
                  "Warnings are errors: text that does not fit, cells off the printable area, replaced fonts, "
                  "coarse pictures, a column nothing uses");
  check->add_option("--max-enlargement", maxEnlargement,
                    "Warn about pictures printed more than this many times their own size (default 2)")
      ->check(CLI::Range(1.0, 1000.0));
  check->add_flag("--allow-outside", allowOutside,
                  "Allow files outside the folder of the layout (or of the data file)");

  CLI::App* printers = app.add_subcommand(
      "printers", "List the CUPS printer queues with their paper, printable area, sizes, sides and trays");
  printers->footer(ExitCodes);
  std::string printerName;
  int printersTimeout = 30;
  printers->add_option("QUEUE", printerName, "Show this queue in full: every size, its printable area, options");
  printers->add_option("--timeout", printersTimeout, "Seconds the CUPS server may take to answer (default 30)")
      ->check(CLI::Range(1, 86400));

  std::string commandName;
  bool markdown = false;
  CLI::App* commands = app.add_subcommand("commands", "List the layout commands, or the fields of one");
  commands->add_option("COMMAND", commandName, "A command whose fields to list");
  commands->add_flag("--markdown", markdown, "Print the command reference of docs/layout-format.md");
  CLI::App* schema = app.add_subcommand("schema", "Print the JSON Schema of layout files");

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

  if (!queue.empty()) {
    // With a queue, -o passes job options on as lp -o does.
    for (const std::string& option : outputs) {
      if (option.find('=') == std::string::npos) {
        std::cerr << "mivora: -o \"" << option << "\" with -P: with a queue, -o takes job options NAME=VALUE, "
                  << "not an output file\n";
        return ExitBadInput;
      }
    }
    jobOptions.insert(jobOptions.begin(), outputs.begin(), outputs.end());
    for (const std::string& option : jobOptions) {
      try {
        AddJobOption(job, option);
      } catch (const EInputError& error) {
        std::cerr << "mivora: " << error.what() << "\n";
        return ExitBadInput;
      }
    }
    outputs.clear();
  } else {
    for (CLI::Option* option : {copiesOption, sidesOption, collateOption, mediaOption, sourceOption,
                                queuePaperOption, jobOptionOption})
      if (option->count() > 0) {
        std::cerr << "mivora: " << option->get_name() << " is a job option of a CUPS queue: add -P QUEUE\n";
        return ExitBadInput;
      }
    if (outputs.size() > 1) {
      std::cerr << "mivora: -o names one output file, not " << outputs.size()
                << "; job options NAME=VALUE need -P QUEUE\n";
      return ExitBadInput;
    }
    if (!outputs.empty()) output = outputs.front();
  }
  request.Layout = layout;
  request.Job = job;
  if (!output.empty()) request.Output = output;
  if (!queue.empty()) request.Queue = queue;
  if (!data.empty()) request.Data = data;
  if (!title.empty()) request.Title = title;
  if (!separator.empty()) request.Separator = ParseSeparator(separator);
  request.Records = records;
  request.FirstLabel = firstLabel;
  request.RecordCopies = recordCopies;
  if (dpi != 0) request.Dpi = dpi;
  if (maxDpi != 0) request.MaxDpi = maxDpi;
  request.Strict = strict;
  request.MaxEnlargement = maxEnlargement;
  request.AllowOutside = allowOutside;
  request.Wait = !noWait;
  request.Timeout = std::chrono::seconds(timeout);
  size_t warnings = 0;
  request.Warn = [&warnings](const std::string& Message) {
    ++warnings;
    Warn(Message);
  };

  if (*printers) return ListPrinters(printerName, std::chrono::seconds(printersTimeout));
  if (*commands) {
    std::cout << (markdown ? CommandReference() : CommandListing(commandName));
    return ExitOk;
  }
  if (*schema) {
    std::cout << LayoutSchemaText();
    return ExitOk;
  }
  if (*check) {
    const TCheckReport report = CheckLayout(request);
    std::cout << layout << ": ok, " << report.Commands << " commands, " << report.Cells << " cells";
    if (request.Data) std::cout << ", " << report.Records << " records in " << data;
    if (warnings > 0) std::cout << ", " << warnings << (warnings == 1 ? " warning" : " warnings");
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
  // SIGINT, SIGTERM and SIGHUP stop a print with its temporary files removed.
  InstallInterruptHandlers();
  try {
    return Main(argc, argv);
  } catch (const EInterrupted& error) {
    std::cerr << "mivora: " << error.what() << "\n";
    return error.ExitCode();
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
