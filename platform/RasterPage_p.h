// The pixel memory of pages drawn as pixels (PNG output). Shared by the
// platform's .cpp files only.
#pragma once

#include <cairo.h>

#include <cstddef>

namespace mivora {

// Memory for the pages of one raster document, one page at a time. A page of
// A4 at 600 dpi is 139 MB: memory fresh from the kernel costs a fault and a
// cleared page every 4 KB, some 35,000 of them, which took a fifth of a
// page's time. Here the pages of a document are drawn one after the other in
// the same memory, which is filled in by the kernel in one call when it is
// made.
class TRasterMemory {
public:
  TRasterMemory() = default;
  ~TRasterMemory();
  TRasterMemory(const TRasterMemory&) = delete;
  TRasterMemory& operator=(const TRasterMemory&) = delete;

  // An opaque (RGB24) image surface of Width x Height whose pixels are left
  // as they were: the caller paints it. Uses this object's memory when the
  // previous page's surface is gone, new memory of Cairo's own otherwise.
  // Like cairo_image_surface_create, returns a surface in an error state
  // when it fails; the caller destroys it in every case. The memory stays
  // valid as long as the surface, even past this object.
  cairo_surface_t* NewPage(int Width, int Height);

  // Gives the memory back to the kernel (it is given back at the end anyway).
  void Release() noexcept;

private:
  struct TBlock;
  TBlock* block_ = nullptr;
};

} // namespace mivora
