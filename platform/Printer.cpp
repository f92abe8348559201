#include "Printer.h"

#include "Canvas.h"
#include "DeviceContext_p.h"
#include "CupsTarget_p.h"
#include "Cups.h"
#include "Numbers.h"
#include "PrinterTarget_p.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace mivora {

namespace {

constexpr int32_t MaxDpi = 9600;
constexpr double MaxPaperMm = 10000;  // ten metres: a banner, not a typo

int32_t PixelsOf(double Mm, int32_t Dpi) {
  return static_cast<int32_t>(std::nearbyint(Mm * Dpi / 25.4));
}

double PointsOf(double Mm) { return Mm * 72.0 / 25.4; }

// The context that measures text while no page is open; never drawn on.
cairo_t* IdleCairo() {
  static cairo_t* const cairo = [] {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* context = cairo_create(surface);
    cairo_surface_destroy(surface);
    return context;
  }();
  return cairo;
}

const char* TargetPrefix(TPrinterTarget Target) {
  switch (Target) {
  case ptPdf: return "pdf";
  case ptPng: return "png";
  case ptSvg: return "svg";
  case ptPostScript: return "ps";
  case ptRecord: return "record";
  case ptCups: return "cups";
  }
  return "?";
}

} // namespace

struct TPrinter::TJob {
  std::unique_ptr<TOutputTarget> Output;
  std::string Title;
};

TPrinter::TPrinter() : dc_(std::make_unique<TDeviceContext>()) {
  dc_->Cairo = IdleCairo();
  dc_->Idle = true;
  canvas_ = std::make_unique<TCanvas>(dc_.get());
  canvas_->GetHandle();  // a font is always selected
  UpdateDeviceContext();
  RegisterDeviceContext(dc_.get());
}

TPrinter::~TPrinter() {
  CloseJob();
  UnregisterDeviceContext(dc_.get());
  canvas_.reset();
}

// ---------------------------------------------------------------------------
// Settings

void TPrinter::CheckIdle(const char* Setting) const {
  if (job_)
    throw EPrinterError(std::string("Cannot change the printer's ") + Setting +
                        " while the print job \"" + job_->Title + "\" is open");
}

void TPrinter::SetTarget(TPrinterTarget Target, std::string Path) {
  CheckIdle("target");
  switch (Target) {
  case ptPdf:
  case ptPng:
  case ptSvg:
  case ptPostScript:
    if (Path.empty())
      throw EPrinterError(std::string("Printer target \"") + TargetPrefix(Target) + ":\" needs a file name");
    break;
  case ptRecord: Path.clear(); break;
  case ptCups: {
    if (Path.empty()) throw EPrinterError("Printer target \"cups:\" needs a queue name");
    // The queue's printable area for the paper shapes the page at once when
    // the queue has that paper; BeginDoc refuses it otherwise.
    const TCupsQueue queue = CupsQueue(Path, cupsTimeout_);
    target_ = ptCups;
    path_ = queue.Name;
    FitQueuePaper(queue, false);
    return;
  }
  default:
    throw EPrinterError("Unknown printer target " + std::to_string(static_cast<int>(Target)));
  }
  if (target_ == ptCups) {
    // Back to the paper and margins asked for, not a queue's.
    paperW_ = askedW_;
    paperH_ = askedH_;
    margins_ = askedMargins_;
    cupsMedia_.clear();
    UpdateDeviceContext();
  }
  target_ = Target;
  path_ = std::move(Path);
}

void TPrinter::SetJobSettings(const TPrintJobSettings& Settings) {
  CheckIdle("job settings");
  if (Settings.Copies < 1)
    throw EPrinterError("Invalid number of copies " + std::to_string(Settings.Copies) + " (1 or more)");
  jobSettings_ = Settings;
  if (target_ == ptCups) FitQueuePaper(CupsQueue(path_, cupsTimeout_), false);
}

void TPrinter::FitQueuePaper(const TCupsQueue& Queue, bool Strict) {
  TCupsMedia media;
  try {
    media = CupsChooseMedia(Queue, jobSettings_, askedW_, askedH_);
  } catch (const ECupsUnsupported&) {
    // A size the job names is checked at once; the printer's own paper may
    // still change before BeginDoc.
    if (Strict || !jobSettings_.Media.empty()) throw;
    cupsMedia_.clear();
    return;
  }
  // The paper asked for stays as it is (the queue's size may differ by a
  // rounding); a size of the queue's replaces it only when the job names one
  // or takes the queue's default.
  const bool byName = !jobSettings_.Media.empty() || jobSettings_.QueuePaper;
  const double width = byName ? media.WidthMm : askedW_, height = byName ? media.HeightMm : askedH_;
  const bool landscape = orientation_ == poLandscape;
  const double pageW = landscape ? height : width;
  // The queue's margins are those of its paper in portrait; a page lying
  // across it gets on each side the larger of the two that may end up there.
  const bool across = std::abs(pageW - media.WidthMm) > std::abs(pageW - media.HeightMm);
  const TPrinterMargins& q = media.Margins;
  const TPrinterMargins queueMargins =
      across ? TPrinterMargins{std::max(q.Top, q.Bottom), std::max(q.Left, q.Right), std::max(q.Top, q.Bottom),
                               std::max(q.Left, q.Right)}
             : q;
  const TPrinterMargins margins{std::max(askedMargins_.Left, queueMargins.Left),
                                std::max(askedMargins_.Top, queueMargins.Top),
                                std::max(askedMargins_.Right, queueMargins.Right),
                                std::max(askedMargins_.Bottom, queueMargins.Bottom)};
  try {
    CheckArea(landscape ? height : width, landscape ? width : height, dpiX_, dpiY_, margins);
  } catch (const EPrinterError& error) {
    throw ECupsError("Printer queue \"" + Queue.Name + "\" cannot print on its paper " + media.Name + ": " +
                     error.what());
  }
  if (byName) paper_ = paCustom;
  paperW_ = width;
  paperH_ = height;
  margins_ = margins;
  cupsMedia_ = media.Name;
  UpdateDeviceContext();
}

void TPrinter::SetTarget(const std::string& TargetText) {
  const size_t colon = TargetText.find(':');
  const std::string prefix = colon == std::string::npos ? TargetText : TargetText.substr(0, colon);
  const std::string path = colon == std::string::npos ? std::string() : TargetText.substr(colon + 1);
  for (TPrinterTarget target : {ptPdf, ptPng, ptSvg, ptPostScript, ptRecord, ptCups}) {
    if (colon != std::string::npos && prefix == TargetPrefix(target)) {
      SetTarget(target, path);
      return;
    }
  }
  throw EPrinterError("Unknown printer target \"" + TargetText + "\": use pdf:, png:, svg:, ps:, cups: or record:");
}

void TPrinter::CheckArea(double PaperW, double PaperH, int32_t DpiX, int32_t DpiY,
                         const TPrinterMargins& Margins) const {
  for (double margin : {Margins.Left, Margins.Top, Margins.Right, Margins.Bottom})
    if (!std::isfinite(margin) || margin < 0)
      throw EPrinterError("Invalid printer margin " + FormatNumber(margin) + " mm");
  const double width = PaperW - Margins.Left - Margins.Right;
  const double height = PaperH - Margins.Top - Margins.Bottom;
  if (!(width > 0))
    throw EPrinterError("Printer margins of " + FormatNumber(Margins.Left) + " mm left and " + FormatNumber(Margins.Right) +
                        " mm right leave no printable width on paper " + FormatNumber(PaperW) + " mm wide");
  if (!(height > 0))
    throw EPrinterError("Printer margins of " + FormatNumber(Margins.Top) + " mm top and " + FormatNumber(Margins.Bottom) +
                        " mm bottom leave no printable height on paper " + FormatNumber(PaperH) + " mm high");
  if (PixelsOf(width, DpiX) < 1 || PixelsOf(height, DpiY) < 1)
    throw EPrinterError("The printable area of " + FormatNumber(width) + " x " + FormatNumber(height) +
                        " mm is less than one pixel at " + std::to_string(DpiX) + " x " +
                        std::to_string(DpiY) + " dpi");
}

void TPrinter::SetPaper(TPaper Paper) {
  CheckIdle("paper");
  double width = paperW_, height = paperH_;
  switch (Paper) {
  case paA3: width = 297, height = 420; break;
  case paA4: width = 210, height = 297; break;
  case paA5: width = 148, height = 210; break;
  case paLetter: width = 215.9, height = 279.4; break;
  case paLegal: width = 215.9, height = 355.6; break;
  case paCustom: break;
  default: throw EPrinterError("Unknown paper size " + std::to_string(static_cast<int>(Paper)));
  }
  const bool landscape = orientation_ == poLandscape;
  CheckArea(landscape ? height : width, landscape ? width : height, dpiX_, dpiY_, margins_);
  paper_ = Paper;
  paperW_ = askedW_ = width;
  paperH_ = askedH_ = height;
  UpdateDeviceContext();
}

void TPrinter::SetPaperSize(double WidthMm, double HeightMm) {
  CheckIdle("paper");
  if (!(WidthMm > 0 && WidthMm <= MaxPaperMm && HeightMm > 0 && HeightMm <= MaxPaperMm))
    throw EPrinterError("Invalid paper size " + FormatNumber(WidthMm) + " x " + FormatNumber(HeightMm) + " mm (up to " +
                        FormatNumber(MaxPaperMm) + " mm each way)");
  const bool landscape = orientation_ == poLandscape;
  CheckArea(landscape ? HeightMm : WidthMm, landscape ? WidthMm : HeightMm, dpiX_, dpiY_, margins_);
  paper_ = paCustom;
  paperW_ = askedW_ = WidthMm;
  paperH_ = askedH_ = HeightMm;
  UpdateDeviceContext();
}

double TPrinter::PaperWidthMm() const noexcept { return orientation_ == poLandscape ? paperH_ : paperW_; }

double TPrinter::PaperHeightMm() const noexcept { return orientation_ == poLandscape ? paperW_ : paperH_; }

void TPrinter::SetOrientation(TPrinterOrientation Orientation) {
  CheckIdle("orientation");
  if (Orientation != poPortrait && Orientation != poLandscape)
    throw EPrinterError("Unknown orientation " + std::to_string(static_cast<int>(Orientation)));
  const bool landscape = Orientation == poLandscape;
  CheckArea(landscape ? paperH_ : paperW_, landscape ? paperW_ : paperH_, dpiX_, dpiY_, margins_);
  orientation_ = Orientation;
  UpdateDeviceContext();
}

void TPrinter::SetResolution(int32_t Dpi) { SetResolution(Dpi, Dpi); }

void TPrinter::SetResolution(int32_t DpiX, int32_t DpiY) {
  CheckIdle("resolution");
  if (DpiX < 1 || DpiX > MaxDpi || DpiY < 1 || DpiY > MaxDpi)
    throw EPrinterError("Invalid printer resolution " + std::to_string(DpiX) + " x " + std::to_string(DpiY) +
                        " dpi (1 to " + std::to_string(MaxDpi) + " dpi)");
  CheckArea(PaperWidthMm(), PaperHeightMm(), DpiX, DpiY, margins_);
  dpiX_ = DpiX;
  dpiY_ = DpiY;
  UpdateDeviceContext();
}

void TPrinter::SetCupsWait(bool Wait, std::chrono::milliseconds Timeout) {
  cupsWait_ = Wait;
  cupsTimeout_ = Timeout;
}

void TPrinter::SetMargins(const TPrinterMargins& Margins) {
  CheckIdle("margins");
  CheckArea(PaperWidthMm(), PaperHeightMm(), dpiX_, dpiY_, Margins);
  margins_ = askedMargins_ = Margins;
  UpdateDeviceContext();
}

void TPrinter::SetMaxPictureDpi(int32_t Dpi) {
  if (Dpi < 0 || Dpi > MaxDpi)
    throw EPrinterError("Invalid largest picture resolution " + std::to_string(Dpi) + " dpi (0 for no limit, or 1 to " +
                        std::to_string(MaxDpi) + ")");
  maxPictureDpi_ = Dpi;
  UpdateDeviceContext();
}

void TPrinter::UpdateDeviceContext() {
  dc_->MaxPictureDpi = maxPictureDpi_;
  dc_->DpiX = dpiX_;
  dc_->DpiY = dpiY_;
  dc_->PageWidth = PixelsOf(PaperWidthMm() - margins_.Left - margins_.Right, dpiX_);
  dc_->PageHeight = PixelsOf(PaperHeightMm() - margins_.Top - margins_.Bottom, dpiY_);
}

// ---------------------------------------------------------------------------
// Device figures

void TPrinter::CheckFailure() const {
  if (!failure_.empty()) throw EPrinterError(failure_);
}

HDC TPrinter::GetHandle() {
  CheckFailure();
  return dc_.get();
}

int32_t TPrinter::GetPageWidth() {
  CheckFailure();
  return dc_->PageWidth;
}

int32_t TPrinter::GetPageHeight() {
  CheckFailure();
  return dc_->PageHeight;
}

// ---------------------------------------------------------------------------
// The job

bool TPrinter::Printing() const noexcept { return job_ != nullptr; }

void TPrinter::BeginDoc() {
  if (job_)
    throw EPrinterError("Cannot begin the print job \"" + title_ + "\": the job \"" + job_->Title +
                        "\" is still open");
  CheckFailure();
  // The queue is asked again: its paper may have changed, or the printer's.
  if (target_ == ptCups) FitQueuePaper(CupsQueue(path_, cupsTimeout_), true);

  TPageLayout layout;
  layout.PaperWidthPt = PointsOf(PaperWidthMm());
  layout.PaperHeightPt = PointsOf(PaperHeightMm());
  layout.OffsetXPt = PointsOf(margins_.Left);
  layout.OffsetYPt = PointsOf(margins_.Top);
  layout.DpiX = dpiX_;
  layout.DpiY = dpiY_;
  layout.PageWidth = dc_->PageWidth;
  layout.PageHeight = dc_->PageHeight;
  layout.OffsetPixelsX = PixelsOf(margins_.Left, dpiX_);
  layout.OffsetPixelsY = PixelsOf(margins_.Top, dpiY_);
  layout.PaperPixelsX = std::max(PixelsOf(PaperWidthMm(), dpiX_), layout.OffsetPixelsX + layout.PageWidth);
  layout.PaperPixelsY = std::max(PixelsOf(PaperHeightMm(), dpiY_), layout.OffsetPixelsY + layout.PageHeight);
  layout.Title = title_;
  layout.Sync = syncOutput_;

  auto job = std::make_unique<TJob>();
  job->Title = title_;
  cupsJobId_ = 0;
  job->Output = target_ == ptCups
                    ? MakeCupsOutput(path_, layout,
                                     TCupsJobOptions{cupsWait_, cupsTimeout_, &cupsJobId_, jobSettings_, cupsMedia_})
                    : MakeOutputTarget(target_, path_, layout);
  job->Output->Open();

  job_ = std::move(job);
  recorded_.clear();
  outputFiles_.clear();
  pageNumber_ = 0;
  dc_->Log = target_ == ptRecord ? &recorded_ : nullptr;
  dc_->Record("BeginDoc", {}, title_);
  try {
    StartPage();
  } catch (...) {
    CloseJob();
    throw;
  }
}

void TPrinter::StartPage() {
  cairo_t* page = job_->Output->StartPage(pageNumber_ + 1);
  ++pageNumber_;
  dc_->Cairo = page;
  dc_->Idle = false;
  dc_->Raster = job_->Output->Raster();
  dc_->PenPos = TPoint{};
  dc_->MapMode = MM_TEXT;
  ResetDeviceClip(*dc_);
  canvas_->GetHandle();
}

void TPrinter::NewPage() {
  if (!job_) throw EPrinterError("Cannot start a new page: no print job is open");
  dc_->Record("NewPage", {});
  try {
    dc_->Cairo = IdleCairo();
    dc_->Idle = true;
    job_->Output->FinishPage();
    StartPage();
  } catch (...) {
    CloseJob();
    throw;
  }
}

void TPrinter::EndDoc() {
  if (!job_) throw EPrinterError("Cannot end the print job: no print job is open");
  dc_->Record("EndDoc", {});
  std::vector<std::string> files;
  try {
    dc_->Cairo = IdleCairo();
    dc_->Idle = true;
    files = job_->Output->Commit();
  } catch (...) {
    CloseJob();
    throw;
  }
  CloseJob();
  outputFiles_ = std::move(files);
}

void TPrinter::Abort() {
  if (!job_) return;
  dc_->Record("Abort", {});
  CloseJob();
}

void TPrinter::CloseJob() noexcept {
  dc_->Cairo = IdleCairo();
  dc_->Idle = true;
  dc_->Raster = false;
  dc_->Log = nullptr;
  ResetDeviceClip(*dc_);
  if (job_) job_->Output->Discard();
  job_.reset();
  pageNumber_ = 0;
}

// ---------------------------------------------------------------------------
// The printer of the process

namespace {

TPrinter* CreateProcessPrinter() {
  auto printer = std::make_unique<TPrinter>();
  const char* chosen = std::getenv("MIVORA_PRINTER");
  if (chosen != nullptr && *chosen != '\0') {
    try {
      printer->SetTarget(std::string(chosen));
    } catch (const EPrinterError& error) {
      throw EPrinterError(std::string("MIVORA_PRINTER: ") + error.what());
    }
  }
  return printer.release();
}

TPrinter* ProcessPrinter = nullptr;

} // namespace

TPrinter* Printer() {
  // Never destroyed: text and picture code may still hold on to its fonts
  // while other objects go at exit. A job still open at exit is discarded.
  static TPrinter* const printer = [] {
    TPrinter* created = CreateProcessPrinter();
    ProcessPrinter = created;
    std::atexit([] {
      if (ProcessPrinter != nullptr) ProcessPrinter->Abort();
    });
    return created;
  }();
  return printer;
}

} // namespace mivora
