#include "RasterPage_p.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace mivora {

namespace {

// Mappings are made in steps of this size, so that a page a little larger
// than the last one often fits in its memory.
constexpr size_t kMappingStep = size_t{2} << 20;

cairo_user_data_key_t blockKey;

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

} // namespace mivora
