#include "RasterPage_p.h"

#include <cairo-tee.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace mivora {

namespace {

// Mappings are made in steps of this size, so that a page a little larger
// than the last one often fits in its memory.
constexpr size_t kMappingStep = size_t{2} << 20;

cairo_user_data_key_t blockKey;
cairo_user_data_key_t pixelPageKey;

// The pixels of one band, at most: 4 MB, or one row when a row is larger.
constexpr size_t kBandBytes = size_t{4} << 20;

} // namespace

// One mapping; a surface drawing in it marks it used. When the owner goes
// first, the surface's end unmaps it.
struct TRasterMemory::TBlock {
  void* Memory = nullptr;
  size_t Size = 0;
  bool Used = false;
  bool Orphaned = false;

  ~TBlock() {
    if (Memory != nullptr) munmap(Memory, Size);
  }

  static void SurfaceDestroyed(void* Data) {
    auto* block = static_cast<TBlock*>(Data);
    block->Used = false;
    if (block->Orphaned) delete block;
  }
};

TRasterMemory::~TRasterMemory() { Release(); }

void TRasterMemory::Release() noexcept {
  if (block_ == nullptr) return;
  if (block_->Used)
    block_->Orphaned = true;
  else
    delete block_;
  block_ = nullptr;
}

cairo_surface_t* TRasterMemory::NewPage(int Width, int Height) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, Width);
  if (Width <= 0 || Height <= 0 || stride <= 0 || (block_ != nullptr && block_->Used))
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
  const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(Height);
  if (block_ == nullptr || block_->Size < bytes) {
    Release();
    const size_t size = (bytes + kMappingStep - 1) / kMappingStep * kMappingStep;
    // Populated at once: one call instead of a fault every 4 KB as the page
    // is painted. (Huge pages were tried: a third faster when pages follow
    // each other closely, but on a virtual machine that gives freed memory
    // back to its host, a page drawn after a pause often took twice as long,
    // while the host found memory for them.)
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED) return cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
    block_ = new (std::nothrow) TBlock{memory, size};
    if (block_ == nullptr) {
      munmap(memory, size);
      return cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
    }
  }
  cairo_surface_t* surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(block_->Memory),
                                                                 CAIRO_FORMAT_RGB24, Width, Height, stride);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  if (cairo_surface_set_user_data(surface, &blockKey, block_, TBlock::SurfaceDestroyed) != CAIRO_STATUS_SUCCESS) {
    // Without the mark the memory could be unmapped under the surface.
    cairo_surface_destroy(surface);
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
  }
  block_->Used = true;
  return surface;
}

cairo_surface_t* NewPixelPage(int Width, int Height) {
  // Bands are images as wide as the page: a width Cairo cannot make is
  // refused now rather than after the page is drawn.
  cairo_surface_t* row = cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height > 0 ? 1 : Height);
  if (cairo_surface_status(row) != CAIRO_STATUS_SUCCESS) return row;
  cairo_surface_destroy(row);
  const cairo_rectangle_t extents{0, 0, static_cast<double>(Width), static_cast<double>(Height)};
  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, &extents);
  if (cairo_surface_status(recording) != CAIRO_STATUS_SUCCESS) return recording;
  // The recording is drawn through a surface that answers as pixels do. Cairo
  // measures a glyph's ink at its position rounded to a whole pixel, where it
  // draws it, only when the surface drawn on says it draws pixels; measured as
  // a recording would, the ink could begin a pixel right of where it is drawn,
  // and the glyph's first column be cut off when the recording is replayed.
  // The page's size comes from a window of that size over one pixel, which
  // every operation meets (and leaves at once) before it is recorded.
  cairo_surface_t* pixel = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_surface_t* window = cairo_surface_create_for_rectangle(pixel, 0, 0, Width, Height);
  cairo_surface_destroy(pixel);
  cairo_surface_t* page = cairo_tee_surface_create(window);
  cairo_surface_destroy(window);
  cairo_tee_surface_add(page, recording);
  cairo_surface_destroy(recording);
  if (cairo_surface_status(page) == CAIRO_STATUS_SUCCESS)
    cairo_surface_set_user_data(page, &pixelPageKey, &pixelPageKey, nullptr);
  return page;
}

bool DrawsPixels(cairo_t* Cairo) {
  cairo_surface_t* target = cairo_get_target(Cairo);
  return cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE ||
         cairo_surface_get_user_data(target, &pixelPageKey) != nullptr;
}

cairo_status_t DrawBands(cairo_surface_t* Page, TRasterMemory& Memory, const TBandRows& Rows) {
  cairo_surface_flush(Page);
  cairo_surface_t* recording = cairo_tee_surface_index(Page, 1);
  cairo_rectangle_t extents{};
  if (cairo_surface_status(recording) != CAIRO_STATUS_SUCCESS ||
      !cairo_recording_surface_get_extents(recording, &extents))
    return CAIRO_STATUS_INVALID_SIZE;
  const int width = static_cast<int>(extents.width), height = static_cast<int>(extents.height);
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
  if (width <= 0 || height <= 0 || stride <= 0) return CAIRO_STATUS_INVALID_SIZE;
  const int bandRows = static_cast<int>(std::clamp<size_t>(kBandBytes / static_cast<size_t>(stride), 1,
                                                           static_cast<size_t>(height)));
  cairo_surface_t* band = Memory.NewPage(width, bandRows);
  cairo_t* cairo = cairo_create(band);
  // The recording is opaque: copied, not blended, over what the band held.
  cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
  cairo_status_t status = cairo_status(cairo);
  const unsigned char* pixels = cairo_image_surface_get_data(band);
  for (int top = 0; top < height && status == CAIRO_STATUS_SUCCESS; top += bandRows) {
    cairo_set_source_surface(cairo, recording, 0, -top);
    cairo_paint(cairo);
    cairo_surface_flush(band);
    status = cairo_status(cairo);
    if (status == CAIRO_STATUS_SUCCESS)
      status = Rows(pixels, static_cast<size_t>(cairo_image_surface_get_stride(band)), std::min(bandRows, height - top));
  }
  cairo_destroy(cairo);
  cairo_surface_destroy(band);
  return status;
}

} // namespace mivora
