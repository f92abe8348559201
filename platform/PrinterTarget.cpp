#include "PrinterTarget_p.h"

#include "Interrupts.h"

#include "PdfResourceFilter_p.h"
#include "PngWriter_p.h"
#include "RasterPage_p.h"
#include "TextEncoding.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo-svg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace mivora {

namespace fs = std::filesystem;

std::string PageFilePath(const std::string& Path, int32_t PageNumber) {
  if (PageNumber <= 1) return Path;
  const fs::path path(Path);
  fs::path name = path.stem();
  name += "-" + std::to_string(PageNumber);
  name += path.extension();
  return (path.parent_path() / name).string();
}

namespace {

[[noreturn]] void ThrowCannotWrite(const std::string& Path, const std::string& Reason) {
  throw EPrinterError("Cannot write \"" + Path + "\": " + Reason);
}

// An output file written under a temporary name in the same folder and put in
// place by Commit. Until then the file of that name, if any, is untouched. A
// device or pipe that already exists under the name (such as /dev/stdout) is
// written to directly instead: it cannot be replaced, and holds no earlier file.
class TOutputFile {
public:
  explicit TOutputFile(std::string FinalPath) : final_(std::move(FinalPath)) {
    fs::path target(final_);
    struct stat info {};
    if (::stat(final_.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) ThrowCannotWrite(final_, "it is a folder");
      if (::access(final_.c_str(), W_OK) != 0) ThrowCannotWrite(final_, std::strerror(errno));
      if (!S_ISREG(info.st_mode)) {
        OpenDirect();
        return;
      }
      // A link keeps pointing at the file it names: that file is replaced.
      std::error_code error;
      const fs::path resolved = fs::canonical(target, error);
      if (!error) target = resolved;
    } else if (const int missing = errno; ::lstat(final_.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      // A link that leads nowhere (or round in a loop) is not replaced by a file
      // of its own name: the user meant the file it names.
      ThrowCannotWrite(final_, missing == ELOOP ? "it is a loop of symbolic links"
                                              : "it is a symbolic link to a file that does not exist");
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    static unsigned counter = 0;
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
      temp_ = (folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                         std::to_string(++counter) + ".part"))
                  .string();
      // Registered before it exists, so that a signal arriving just after the
      // file is made still finds it to remove.
      registered_ = TTempPath(temp_);
      // Mode 0666 less the umask, as any new file of the user's.
      descriptor = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
      const int error = errno;
      registered_.Release();
      temp_.clear();
      ThrowCannotWrite(final_, std::strerror(error));
    }
    renameTo_ = target.string();
    file_ = ::fdopen(descriptor, "wb");
    if (file_ == nullptr) {
      const int error = errno;
      ::close(descriptor);
      Discard();
      ThrowCannotWrite(final_, std::strerror(error));
    }
  }

  ~TOutputFile() { Discard(); }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& Path() const noexcept { return final_; }

  // Cairo's write callback; the closure is the TOutputFile.
  static cairo_status_t Write(void* Closure, const unsigned char* Data, unsigned int Length) {
    auto* self = static_cast<TOutputFile*>(Closure);
    if (self->file_ == nullptr) return CAIRO_STATUS_WRITE_ERROR;
    if (Length > 0 && std::fwrite(Data, 1, Length, self->file_) != Length) {
      if (self->error_ == 0) self->error_ = errno != 0 ? errno : EIO;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
  }

  // Raises the error a write met, or else Cairo's Status, naming the file.
  void Check(cairo_status_t Status) const {
    if (error_ != 0) ThrowCannotWrite(final_, std::strerror(error_));
    if (Status != CAIRO_STATUS_SUCCESS) ThrowCannotWrite(final_, cairo_status_to_string(Status));
  }

  // Writes everything out and closes the temporary file; with Sync, waits
  // until it is on the disk.
  void Close(bool Sync = true) {
    if (file_ == nullptr) return;
    FILE* file = std::exchange(file_, nullptr);
    const bool flushed = std::fflush(file) == 0 && (!Sync || temp_.empty() || ::fsync(::fileno(file)) == 0);
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (error_ == 0 && !flushed) error_ = flushError != 0 ? flushError : EIO;
    if (error_ == 0 && !closed) error_ = errno != 0 ? errno : EIO;
    Check(CAIRO_STATUS_SUCCESS);
  }

  // Waits until the closed temporary file is on the disk: with
  // WholeFileSystem, with everything written to its file system (one sync for
  // many files).
  void Sync(bool WholeFileSystem) {
    if (temp_.empty()) return;
    const int descriptor = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && (WholeFileSystem ? ::syncfs(descriptor) : ::fsync(descriptor)) == 0;
    const int error = errno;
    if (descriptor >= 0) ::close(descriptor);
    if (!synced) ThrowCannotWrite(final_, std::strerror(error));
  }

  // Puts the closed file in place under its final name.
  void Commit() {
    Close();
    if (temp_.empty()) return;  // written directly
    if (::rename(temp_.c_str(), renameTo_.c_str()) != 0) ThrowCannotWrite(final_, std::strerror(errno));
    temp_.clear();
    registered_.Release();
  }

  // Closes and removes the temporary file.
  void Discard() noexcept {
    if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    registered_.Release();
  }

private:
  void OpenDirect() {
    file_ = std::fopen(final_.c_str(), "wbe");
    if (file_ == nullptr) ThrowCannotWrite(final_, std::strerror(errno));
  }

  std::string final_;     // the path as the user gave it
  std::string renameTo_;  // the file the temporary one replaces
  std::string temp_;      // empty when writing directly
  TTempPath registered_;  // removes temp_ if a signal ends the process
  FILE* file_ = nullptr;
  int error_ = 0;
};

void SetUpVectorPage(cairo_t* Cairo, const TPageLayout& Layout) {
  cairo_translate(Cairo, Layout.OffsetXPt, Layout.OffsetYPt);
  cairo_scale(Cairo, 72.0 / Layout.DpiX, 72.0 / Layout.DpiY);
}

// Before Cairo writes a PDF page it replays the page's drawing to find what the
// format cannot express, and unites the extents of every figure into one region
// of rectangles. Each figure costs time in proportion to the rectangles the
// region already holds, so a page of many small figures that do not touch
// (thousands of cell texts and thin edges) takes time growing with the square
// of their number. This figure's extents cover the whole page, so the region is
// one rectangle from the start, yet it shows nowhere: it is two small squares
// off the paper, beyond its top-left and bottom-right corners. Drawn in the
// page's own units (points), before the page is set up for device pixels.
void CoverPageInAnalysis(cairo_t* Cairo) {
  double left = 0, top = 0, right = 0, bottom = 0;
  cairo_clip_extents(Cairo, &left, &top, &right, &bottom);
  cairo_save(Cairo);
  cairo_rectangle(Cairo, left - 2, top - 2, 1, 1);
  cairo_rectangle(Cairo, right + 1, bottom + 1, 1, 1);
  cairo_fill(Cairo);
  cairo_restore(Cairo);
}

// Title text safe for a one-line header: control characters become spaces.
std::string OneLine(const std::string& Text, size_t MaxLength) {
  std::string line = ToUtf8(Text);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  if (line.size() > MaxLength) {
    line.resize(MaxLength);
    // Do not leave half a UTF-8 sequence at the end.
    while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) line.pop_back();
    if (!line.empty() && (static_cast<unsigned char>(line.back()) & 0x80) != 0) line.pop_back();
  }
  return line;
}

// PDF and PostScript: one file holding every page.
class TDocumentTarget : public TOutputTarget {
public:
  TDocumentTarget(bool Pdf, std::string Path, TPageLayout Layout)
      : pdf_(Pdf), path_(std::move(Path)), layout_(std::move(Layout)) {}
  ~TDocumentTarget() override { Discard(); }

  void Open() override {
    file_ = std::make_unique<TOutputFile>(path_);
    if (pdf_) {
      resources_ = std::make_unique<TPdfResourceFilter>(TOutputFile::Write, file_.get());
      surface_ = cairo_pdf_surface_create_for_stream(TPdfResourceFilter::Write, resources_.get(),
                                                     layout_.PaperWidthPt, layout_.PaperHeightPt);
      if (cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS) {
        if (!layout_.Title.empty())
          cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE,
                                         OneLine(layout_.Title, 1000).c_str());
        cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "Mivora");
      }
    } else {
      surface_ = cairo_ps_surface_create_for_stream(TOutputFile::Write, file_.get(),
                                                    layout_.PaperWidthPt, layout_.PaperHeightPt);
      if (cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS && !layout_.Title.empty())
        cairo_ps_surface_dsc_comment(surface_, ("%%Title: " + OneLine(layout_.Title, 200)).c_str());
    }
    CheckSurface();
  }

  cairo_t* StartPage(int32_t) override {
    page_ = cairo_create(surface_);
    if (pdf_) CoverPageInAnalysis(page_);
    SetUpVectorPage(page_, layout_);
    return page_;
  }

  void FinishPage() override {
    if (page_ == nullptr) return;
    cairo_show_page(page_);
    cairo_destroy(std::exchange(page_, nullptr));
    CheckSurface();
  }

  std::vector<std::string> Commit() override {
    FinishPage();
    cairo_surface_finish(surface_);
    CheckSurface();
    cairo_surface_destroy(std::exchange(surface_, nullptr));
    if (resources_) file_->Check(resources_->Flush());
    file_->Commit();
    return {path_};
  }

  void Discard() noexcept override {
    // The surface may still write to the file while it goes: file last.
    if (page_ != nullptr) cairo_destroy(std::exchange(page_, nullptr));
    if (surface_ != nullptr) cairo_surface_destroy(std::exchange(surface_, nullptr));
    if (file_) file_->Discard();
  }

private:
  void CheckSurface() const { file_->Check(cairo_surface_status(surface_)); }

  bool pdf_;
  std::string path_;
  TPageLayout layout_;
  std::unique_ptr<TOutputFile> file_;
  std::unique_ptr<TPdfResourceFilter> resources_; // between Cairo and file_ for PDF
  cairo_surface_t* surface_ = nullptr;
  cairo_t* page_ = nullptr;
};

// PNG and SVG: one file per page.
class TPerPageTarget : public TOutputTarget {
public:
  TPerPageTarget(bool Png, std::string Path, TPageLayout Layout)
      : png_(Png), path_(std::move(Path)), layout_(std::move(Layout)) {}
  ~TPerPageTarget() override { Discard(); }

  bool Raster() const noexcept override { return png_; }

  void Open() override { files_.push_back(std::make_unique<TOutputFile>(path_)); }

  cairo_t* StartPage(int32_t PageNumber) override {
    if (static_cast<size_t>(PageNumber) > files_.size())
      files_.push_back(std::make_unique<TOutputFile>(PageFilePath(path_, PageNumber)));
    TOutputFile& file = *files_.back();
    if (png_) {
      surface_ = NewPixelPage(layout_.PaperPixelsX, layout_.PaperPixelsY);
      if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        const std::string reason = cairo_status_to_string(cairo_surface_status(surface_));
        throw EPrinterError("Cannot make a page of " + std::to_string(layout_.PaperPixelsX) + " x " +
                            std::to_string(layout_.PaperPixelsY) + " pixels for \"" + file.Path() +
                            "\": " + reason);
      }
      page_ = cairo_create(surface_);
      cairo_set_source_rgb(page_, 1, 1, 1);
      cairo_paint(page_);
      cairo_set_source_rgb(page_, 0, 0, 0);
      cairo_set_antialias(page_, CAIRO_ANTIALIAS_NONE);
      cairo_translate(page_, layout_.OffsetPixelsX, layout_.OffsetPixelsY);
    } else {
      surface_ = cairo_svg_surface_create_for_stream(TOutputFile::Write, &file, layout_.PaperWidthPt,
                                                     layout_.PaperHeightPt);
      file.Check(cairo_surface_status(surface_));
      cairo_svg_surface_set_document_unit(surface_, CAIRO_SVG_UNIT_PT);
      page_ = cairo_create(surface_);
      SetUpVectorPage(page_, layout_);
    }
    return page_;
  }

  void FinishPage() override {
    if (page_ == nullptr) return;
    TOutputFile& file = *files_.back();
    cairo_destroy(std::exchange(page_, nullptr));
    if (png_) {
      TPngRowWriter png(TOutputFile::Write, &file);
      cairo_status_t status = png.Start(layout_.PaperPixelsX, layout_.PaperPixelsY);
      if (status == CAIRO_STATUS_SUCCESS)
        status = DrawBands(surface_, raster_, [&png](const unsigned char* Pixels, size_t Stride, int Count) {
          return png.AddRows(Pixels, Stride, Count);
        });
      if (status == CAIRO_STATUS_SUCCESS) status = png.Finish();
      file.Check(status);
    } else {
      cairo_surface_finish(surface_);
      file.Check(cairo_surface_status(surface_));
    }
    cairo_surface_destroy(std::exchange(surface_, nullptr));
    file.Close(false);
  }

  std::vector<std::string> Commit() override {
    FinishPage();
    // One sync for all the pages (of their file system when there are
    // several), before any of them is renamed into place.
    if (layout_.Sync && !files_.empty()) files_.front()->Sync(files_.size() > 1);
    std::vector<std::string> written;
    for (auto& file : files_) {
      file->Commit();
      written.push_back(file->Path());
    }
    files_.clear();
    return written;
  }

  void Discard() noexcept override {
    if (page_ != nullptr) cairo_destroy(std::exchange(page_, nullptr));
    if (surface_ != nullptr) cairo_surface_destroy(std::exchange(surface_, nullptr));
    for (auto& file : files_) file->Discard();
    files_.clear();
  }

private:
  bool png_;
  std::string path_;
  TPageLayout layout_;
  std::vector<std::unique_ptr<TOutputFile>> files_;
  TRasterMemory raster_;  // the memory of the pages' bands of pixels
  cairo_surface_t* surface_ = nullptr;
  cairo_t* page_ = nullptr;
};

// Recording: pages are drawn into Cairo recordings (so text still measures and
// draws) and thrown away; the device context keeps the log of operations.
class TRecordTarget : public TOutputTarget {
public:
  ~TRecordTarget() override { Discard(); }
  void Open() override {}
  cairo_t* StartPage(int32_t) override {
    surface_ = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    page_ = cairo_create(surface_);
    return page_;
  }
  void FinishPage() override { Discard(); }
  std::vector<std::string> Commit() override {
    Discard();
    return {};
  }
  void Discard() noexcept override {
    if (page_ != nullptr) cairo_destroy(std::exchange(page_, nullptr));
    if (surface_ != nullptr) cairo_surface_destroy(std::exchange(surface_, nullptr));
  }

private:
  cairo_surface_t* surface_ = nullptr;
  cairo_t* page_ = nullptr;
};

} // namespace

std::unique_ptr<TOutputTarget> MakeOutputTarget(TPrinterTarget Target, const std::string& Path,
                                                const TPageLayout& Layout) {
  switch (Target) {
  case ptPdf: return std::make_unique<TDocumentTarget>(true, Path, Layout);
  case ptPostScript: return std::make_unique<TDocumentTarget>(false, Path, Layout);
  case ptPng: return std::make_unique<TPerPageTarget>(true, Path, Layout);
  case ptSvg: return std::make_unique<TPerPageTarget>(false, Path, Layout);
  case ptRecord: return std::make_unique<TRecordTarget>();
  case ptCups: break; // a queue's output is made by MakeCupsOutput
  }
  throw EPrinterError("Unknown printer target " + std::to_string(static_cast<int>(Target)));
}

} // namespace mivora
