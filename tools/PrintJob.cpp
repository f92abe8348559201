#include "PrintJob.h"

#include "Csv.h"
#include "Cups.h"
#include "InputError.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Merge.h"
#include "Mivora.h"
#include "Numbers.h"
#include "FontCatalog.h"
#include "Printer.h"
#include "TextCase.h"
#include "Warnings.h"

#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

// A private folder, removed with everything in it when the object goes.
class TTempDir {
public:
  // A new folder named Prefix + six random characters inside Parent.
  TTempDir(const fs::path& Parent, const std::string& Prefix) {
    std::string pattern = (Parent / (Prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw EPrinterError("Cannot make a temporary folder in \"" + Parent.string() + "\": " + std::strerror(errno));
    path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const fs::path& Path() const { return path_; }

private:
  fs::path path_;
};

TPrinterTarget TargetOf(TOutputKind Kind) {
  switch (Kind) {
  case TOutputKind::Pdf: return ptPdf;
  case TOutputKind::Png: return ptPng;
  case TOutputKind::Svg: return ptSvg;
  case TOutputKind::PostScript: return ptPostScript;
  }
  return ptPdf;
}

// Everything read and built before the first page is drawn.
struct TPrepared {
  std::unique_ptr<TFontFiles> Fonts;  // the layout's own fonts, for as long as the job
  TLayout Layout;
  std::unique_ptr<TMivora> Sheet;
  std::unique_ptr<TMerge> Merge;
};

// Checks the sheet, filled in for every label or record, for what would spoil
// the pages, before anything prints: each warning goes to Request.Warn; with
// Request.Strict they stop the job.
void WarnAboutPages(TPrepared& P, const TPrintRequest& Request) {
  const TLayout& layout = P.Layout;
  TWarnings warnings(layout.Label, TPreflightOptions{Request.MaxEnlargement},
                     [&layout](const std::string& Cell) { return CommandOfCell(layout, Cell); });
  P.Merge->VisitLabels([&](const std::string& Record) { warnings.Check(*P.Sheet, Record); });
  const std::vector<std::string> messages = warnings.Messages();
  if (Request.Warn) {
    for (const std::string& message : messages) Request.Warn(message);
  }
  if (Request.Strict && !messages.empty())
    throw EInputError(layout.Label + ": " + std::to_string(messages.size()) +
                      (messages.size() == 1 ? " warning" : " warnings") +
                      " about the page, and --strict makes them errors: nothing printed");
}

// Reads the inputs, sets up the printer (with the queue's paper when there is
// one) and builds the sheet; raises on the first fault.
TPrepared Prepare(const TPrintRequest& Request, const std::string* Queue) {
  TPrepared p;
  p.Layout = LoadLayout(Request.Layout, Request.AllowOutside);
  p.Fonts = std::make_unique<TFontFiles>();
  for (size_t i = 0; i < p.Layout.Fonts.size(); ++i) {
    try {
      p.Fonts->Add(p.Layout.Fonts[i]);
    } catch (const EFontError& error) {
      throw EInputError(p.Layout.Label + ": fonts[" + std::to_string(i) + "]: " + error.what());
    }
  }
  TMergeOptions merge;
  if (Request.Data) {
    merge.Data = *Request.Data;
    merge.DataLabel = Request.Data->string();
    merge.DataPolicy.BaseDir = Request.Data->has_parent_path() ? Request.Data->parent_path() : fs::path(".");
    merge.DataPolicy.AllowOutside = Request.AllowOutside;
  }
  merge.Separator = Request.Separator;
  merge.First = Request.FirstLabel;
  merge.Copies = Request.RecordCopies;
  if (!Request.Records.empty()) merge.Records = TRecordSelection::Parse(Request.Records);
  merge.Strict = Request.Strict;
  merge.Warn = Request.Warn;

  TPrinter* printer = Printer();
  ApplyPrinterSettings(*printer, p.Layout);
  ApplyLabelPaper(p.Layout, p.Layout.Merge);
  if (Request.Dpi) {
    try {
      printer->SetResolution(*Request.Dpi, *Request.Dpi);
    } catch (const EPrinterError& error) {
      throw EInputError("--dpi " + std::to_string(*Request.Dpi) + ": " + error.what());
    }
  }
  try {
    printer->SetMaxPictureDpi(Request.MaxDpi.value_or(0));
  } catch (const EPrinterError& error) {
    throw EInputError("--max-dpi " + std::to_string(Request.MaxDpi.value_or(0)) + ": " + error.what());
  }
  if (Queue != nullptr) {
    // The queue is asked for the layout's paper and gives its printable area
    // for it; --media or --queue-paper choose one of the queue's instead.
    const double askedW = printer->PaperWidthMm(), askedH = printer->PaperHeightMm();
    printer->SetJobSettings(Request.Job);
    printer->SetTarget(ptCups, *Queue);
    const bool replaced = std::abs(printer->PaperWidthMm() - askedW) > 0.5 ||
                          std::abs(printer->PaperHeightMm() - askedH) > 0.5;
    if (replaced && Request.Warn)
      Request.Warn("queue \"" + printer->TargetPath() + "\" prints on the paper chosen for the job (" +
                   FormatNumber(printer->PaperWidthMm()) + " x " + FormatNumber(printer->PaperHeightMm()) +
                   " mm); the layout's paper is not used");
  }

  p.Sheet = std::make_unique<TMivora>(nullptr);
  BuildSheet(*p.Sheet, p.Layout);
  CheckPrintable(*p.Sheet, p.Layout.Label);
  p.Merge = std::make_unique<TMerge>(*p.Sheet, p.Layout, p.Layout.Merge, std::move(merge));
  WarnAboutPages(p, Request);
  return p;
}

// Prints the sheet as one document on the printer's current target: one page,
// one page a record, or sheets of labels; nothing is delivered when anything fails.
std::vector<std::string> RunJob(TPrepared& P, const TPrintRequest& Request) {
  TMivora& sheet = *P.Sheet;
  sheet.BeginDocument(Request.Title.value_or(P.Layout.Title));
  try {
    P.Merge->PrintPages(Request.Progress);
    sheet.EndDocument();
  } catch (...) {
    sheet.AbortDocument();
    throw;
  }
  return Printer()->OutputFiles();
}

// "labels-007.png": the numbered name of page Number of Count beside Output.
fs::path NumberedFile(const fs::path& Output, size_t Number, size_t Count) {
  std::string digits = std::to_string(Number);
  const size_t width = std::max<size_t>(3, std::to_string(Count).size());
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  fs::path name = Output.stem();
  name += "-" + digits;
  name += Output.extension();
  return Output.parent_path() / name;
}

} // namespace

TOutputKind OutputKindOf(const fs::path& Output) {
  const std::string extension = Lower(Output.extension().string());
  if (extension == ".pdf") return TOutputKind::Pdf;
  if (extension == ".png") return TOutputKind::Png;
  if (extension == ".svg") return TOutputKind::Svg;
  if (extension == ".ps") return TOutputKind::PostScript;
  throw EInputError("Cannot tell the kind of output from \"" + Output.string() +
                    "\": name it .pdf, .png, .svg or .ps");
}

TPrintReport PrintLayout(const TPrintRequest& Request) {
  TPrintReport report;
  TPrinter* printer = Printer();

  if (Request.Queue) {
    // The queue is asked first: its paper shapes the page the commands lay out.
    printer->SetCupsWait(Request.Wait, std::chrono::duration_cast<std::chrono::milliseconds>(Request.Timeout));
    try {
      TPrepared p = Prepare(Request, &*Request.Queue);
      RunJob(p, Request);
      report.Pages = p.Merge->Pages();
    } catch (const ECupsPaperUnsupported& error) {
      throw ECupsPaperUnsupported(std::string(error.what()) +
                                  ". Choose one with --media NAME, or lay out on the queue's default paper "
                                  "with --queue-paper");
    }
    report.Queue = printer->TargetPath();
    report.JobId = printer->CupsJobId();
    report.Completed = Request.Wait;
    return report;
  }

  const fs::path output = Request.Output.value_or(fs::path(Request.Layout.stem().string() + ".pdf"));
  const TOutputKind kind = OutputKindOf(output);
  TPrepared p = Prepare(Request, nullptr);
  report.Pages = p.Merge->Pages();

  const bool perPageFiles = kind == TOutputKind::Png || kind == TOutputKind::Svg;
  if (!perPageFiles || report.Pages == 1) {
    printer->SetTarget(TargetOf(kind), output.string());
    report.Files = RunJob(p, Request);
    return report;
  }

  // One file per record: the pages are written in a private folder beside the
  // output and given their numbered names only when all of them are done.
  const fs::path parent = output.has_parent_path() ? output.parent_path() : fs::path(".");
  TTempDir folder(parent, "." + output.stem().string() + ".mivora-");
  printer->SetTarget(TargetOf(kind), (folder.Path() / ("page" + output.extension().string())).string());
  const std::vector<std::string> pages = RunJob(p, Request);
  for (size_t i = 0; i < pages.size(); ++i) {
    const fs::path target = NumberedFile(output, i + 1, pages.size());
    std::error_code error;
    fs::rename(pages[i], target, error);
    if (error) throw EPrinterError("Cannot write \"" + target.string() + "\": " + error.message());
    report.Files.push_back(target.string());
  }
  return report;
}

TCheckReport CheckLayout(const TPrintRequest& Request) {
  TPrepared p = Prepare(Request, nullptr);
  TCheckReport report;
  report.Commands = p.Layout.Commands.size();
  report.Cells = p.Sheet->Count();
  report.Records = p.Merge->Records();
  return report;
}

} // namespace mivora::tool
