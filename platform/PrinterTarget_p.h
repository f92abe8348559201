// The outputs behind the printer's targets: each makes Cairo pages whose user
// space is device pixels of the printable area, and writes them out safely.
// Shared by the platform's .cpp files only.
#pragma once

#include "DeviceContext_p.h"
#include "Exceptions.h"
#include "PrinterTarget.h"

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

namespace mivora {

// The geometry of one job's pages.
struct TPageLayout {
  double PaperWidthPt = 0;   // the paper as it lies, in points
  double PaperHeightPt = 0;
  double OffsetXPt = 0;      // top-left of the printable area on the paper
  double OffsetYPt = 0;
  int32_t DpiX = 600;
  int32_t DpiY = 600;
  int32_t PaperPixelsX = 0;  // the paper in device pixels (raster targets)
  int32_t PaperPixelsY = 0;
  int32_t OffsetPixelsX = 0; // top-left of the printable area in device pixels
  int32_t OffsetPixelsY = 0;
  int32_t PageWidth = 0;     // the printable area in device pixels
  int32_t PageHeight = 0;
  std::string Title;
  bool Sync = true;          // files synced to disk before they are put in place
};

// Where a job's pages go. Errors are EPrinterError naming the file.
class TOutputTarget {
public:
  virtual ~TOutputTarget() = default;
  // Makes sure the output can be written (creates its temporary file).
  virtual void Open() = 0;
  // A context for page PageNumber (1 for the first); owned by the target.
  virtual cairo_t* StartPage(int32_t PageNumber) = 0;
  // Finishes the page StartPage began.
  virtual void FinishPage() = 0;
  // Puts the finished output in place; the files written, page by page.
  virtual std::vector<std::string> Commit() = 0;
  // Throws everything away; nothing is left where the output would go.
  virtual void Discard() noexcept = 0;
  // Pages are pixels: lines and fills are drawn without antialiasing.
  virtual bool Raster() const noexcept { return false; }
};

// The output for Target at Path.
std::unique_ptr<TOutputTarget> MakeOutputTarget(TPrinterTarget Target, const std::string& Path,
                                                const TPageLayout& Layout);

// The file of page PageNumber of a per-page target: Path itself for page 1,
// "<stem>-<n><extension>" beside it for later pages.
std::string PageFilePath(const std::string& Path, int32_t PageNumber);

} // namespace mivora
