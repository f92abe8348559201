// The printer of the process: where pages go (a PDF, PNG, SVG or PostScript
// file, or a recording for tests), the paper, resolution and margins, the print
// job, and the canvas that draws on the job's pages.
#pragma once

#include "Component.h"
#include "Gdi.h"
#include "PrintJobSettings.h"
#include "PrinterTarget.h"
#include "Types.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mivora {

class TCanvas;
struct TCupsQueue;

// Paper sizes; paCustom is set by SetPaperSize.
enum TPaper : uint8_t { paA3, paA4, paA5, paLetter, paLegal, paCustom };

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

// A printer: its settings, its print job and its canvas. Coordinates on the
// canvas are device pixels of the printable area, (0, 0) at its top-left.
//
// File targets write into a temporary file beside the output and put it in
// place only when the job ends well: an aborted or failed job leaves no file
// behind and keeps an earlier file of that name. A link is followed and the
// file it names replaced; an existing device or pipe (such as /dev/stdout) is
// written to directly. PNG and SVG hold one page per
// file: page 1 goes to the target path, page n to "<name>-<n><extension>".
//
// The recording target keeps each operation as a TDrawOp. Colours in its
// Text are TColor values (0xBBGGRR); pens read "pen <style> <width> <colour>",
// brushes "brush <solid|clear> <colour>". The job itself appears as
// "BeginDoc" (the title as Text), "NewPage", "EndDoc" and "Abort".
class TPrinter {
public:
  // A printer writing "mivora.pdf" in the current folder: A4 portrait,
  // 600 dots per inch, no margins.
  TPrinter();
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // Chooses where pages go; Path is the output file (unused by ptRecord).
  void SetTarget(TPrinterTarget Target, std::string Path = {});
  // Chooses the target from "pdf:<file>", "png:<file>", "svg:<file>",
  // "ps:<file>", "cups:<queue>" or "record:". A CUPS queue is asked for the
  // printer's paper (see SetJobSettings); where it has that size, the page gets
  // the queue's printable area for it (wider margins set here are kept).
  // BeginDoc refuses a paper the queue does not have.
  void SetTarget(const std::string& TargetText);
  // The current target.
  TPrinterTarget Target() const noexcept { return target_; }
  // Its output file.
  const std::string& TargetPath() const noexcept { return path_; }

  // One of the standard paper sizes (A4 by default).
  void SetPaper(TPaper Paper);
  // A custom paper in millimetres, as it lies in portrait orientation.
  void SetPaperSize(double WidthMm, double HeightMm);
  TPaper Paper() const noexcept { return paper_; }
  // Paper width in millimetres as the page lies (after orientation).
  double PaperWidthMm() const noexcept;
  // Paper height in millimetres as the page lies (after orientation).
  double PaperHeightMm() const noexcept;
  // Portrait or landscape; landscape turns the paper a quarter turn.
  void SetOrientation(TPrinterOrientation Orientation);
  TPrinterOrientation Orientation() const noexcept { return orientation_; }
  // The same resolution along both axes, in dots per inch (1 to 9600).
  void SetResolution(int32_t Dpi);
  // Separate resolutions across and down, in dots per inch (1 to 9600 each).
  void SetResolution(int32_t DpiX, int32_t DpiY);
  int32_t ResolutionX() const noexcept { return dpiX_; }
  int32_t ResolutionY() const noexcept { return dpiY_; }
  // Pictures with more than Dpi pixels per inch in their rectangle are embedded
  // with Dpi pixels per inch in PDF, PostScript and SVG output (pixel targets
  // are not affected); 0, the default, keeps every pixel. Raises EPrinterError
  // below 0 or above 9600.
  void SetMaxPictureDpi(int32_t Dpi);
  int32_t MaxPictureDpi() const noexcept { return maxPictureDpi_; }
  // Whether the page files of a PNG or SVG job are synced to disk before they
  // are put in place (the default). Off only for a caller that syncs them
  // itself, such as the processes that draw parts of one merge, synced once
  // together.
  void SetSyncOutput(bool Sync) noexcept { syncOutput_ = Sync; }
  // The unprintable margins in millimetres; they must leave a printable area.
  void SetMargins(const TPrinterMargins& Margins);
  const TPrinterMargins& Margins() const noexcept { return margins_; }

  // The name of the next job (the PDF's title, the PostScript %%Title).
  const std::string& Title() const noexcept { return title_; }
  void SetTitle(std::string Title) { title_ = std::move(Title); }

  // Starts a job with its first page. Checks that the output can be written
  // before anything is drawn.
  void BeginDoc();
  // Finishes the last page and puts the output in place.
  void EndDoc();
  // Discards the open job and its pages; nothing is written. Harmless when no
  // job is open.
  void Abort();
  // Finishes the current page and starts a further page of the same job.
  void NewPage();
  // Whether a job is open.
  bool Printing() const noexcept;
  // The number of the current page of the open job (1 for the first), or 0.
  int32_t PageNumber() const noexcept { return pageNumber_; }

  // The canvas drawing on the current page; the same object for the
  // printer's whole life.
  TCanvas* GetCanvas() noexcept { return canvas_.get(); }
  // The device context, also without an open job: GetDeviceCaps answers the
  // resolution and printable size from it at any time.
  HDC GetHandle();
  // Printable width in device pixels.
  int32_t GetPageWidth();
  // Printable height in device pixels.
  int32_t GetPageHeight();

  // For a CUPS queue: whether EndDoc waits until the queue has printed the job,
  // and for how long at most (then it raises, and the job stays queued).
  void SetCupsWait(bool Wait, std::chrono::milliseconds Timeout);
  // The copies, sides, paper, tray and further options of jobs on a CUPS queue.
  // Media replaces the printer's paper with that size of the queue's, and
  // QueuePaper with the queue's default paper. Raises EPrinterError for fewer
  // than one copy; the queue checks the rest when it is chosen and at BeginDoc.
  void SetJobSettings(const TPrintJobSettings& Settings);
  const TPrintJobSettings& JobSettings() const noexcept { return jobSettings_; }
  // The id of the job the last EndDoc sent to a CUPS queue, or 0.
  int32_t CupsJobId() const noexcept { return cupsJobId_; }

  // The operations of the last job on the recording target (cleared at BeginDoc).
  const std::vector<TDrawOp>& RecordedOps() const noexcept { return recorded_; }
  // The files the last successful job wrote, page by page (one for PDF and PostScript).
  const std::vector<std::string>& OutputFiles() const noexcept { return outputFiles_; }

  // For tests: while Message is not empty, GetHandle, GetPageWidth,
  // GetPageHeight and BeginDoc raise EPrinterError with it. Empty clears it.
  void SetFailure(std::string Message) { failure_ = std::move(Message); }
  const std::string& Failure() const noexcept { return failure_; }

private:
  struct TJob;

  void CheckFailure() const;
  void CheckIdle(const char* Setting) const;
  void CheckArea(double PaperW, double PaperH, int32_t DpiX, int32_t DpiY,
                 const TPrinterMargins& Margins) const;
  void UpdateDeviceContext();
  void FitQueuePaper(const TCupsQueue& Queue, bool Strict);
  void StartPage();
  void CloseJob() noexcept;

  TPrinterTarget target_ = ptPdf;
  std::string path_ = "mivora.pdf";
  TPaper paper_ = paA4;
  double paperW_ = 210;   // portrait
  double paperH_ = 297;
  TPrinterOrientation orientation_ = poPortrait;
  int32_t dpiX_ = 600;
  int32_t dpiY_ = 600;
  int32_t maxPictureDpi_ = 0;
  bool syncOutput_ = true;
  TPrinterMargins margins_;
  std::string title_;
  std::string failure_;
  int32_t pageNumber_ = 0;

  std::unique_ptr<TDeviceContext> dc_;
  std::unique_ptr<TCanvas> canvas_;
  std::unique_ptr<TJob> job_;
  std::vector<TDrawOp> recorded_;
  std::vector<std::string> outputFiles_;
  bool cupsWait_ = true;
  std::chrono::milliseconds cupsTimeout_{std::chrono::minutes(5)};
  int32_t cupsJobId_ = 0;
  TPrintJobSettings jobSettings_;
  // The paper and margins the application asked for; a queue may print on a
  // size that differs from them by a fraction of a millimetre, and wider margins.
  double askedW_ = 210, askedH_ = 297;
  TPrinterMargins askedMargins_;
  std::string cupsMedia_;  // the queue's paper the next job asks for
};

// The printer of the process. On first use its target is taken from the
// environment variable MIVORA_PRINTER when set (as in TPrinter::SetTarget).
TPrinter* Printer();

} // namespace mivora
