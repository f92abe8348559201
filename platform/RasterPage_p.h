// Pages drawn as pixels (PNG output) and their memory. Shared by the
// platform's .cpp files only.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <functional>

namespace mivora {

// Memory for the pixels of one raster document, one image at a time (the
// bands of its pages, see DrawBands). Memory fresh from the kernel costs a
// fault and a cleared page every 4 KB; here the images of a document are
// drawn one after the other in the same memory, which is filled in by the
// kernel in one call when it is made.
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

// A page drawn as pixels is recorded first and made into pixels a band of
// rows at a time. At 600 dpi an A4 page is 139 MB of pixels: memory that large
// comes fresh from the kernel, cleared, at a cost of a third of the page's
// time, and is written once and read once, too large for any cache. Bands of a
// few megabytes are drawn and encoded while they are in the cache, in the same
// memory. The pixels are those of the page drawn whole: every band replays the
// page's drawing shifted by whole pixels, which draws the same pixels, save
// that a smoothed (scaled) picture may differ by up to two levels in 255 (its
// sampling matrix, moved by the band's top row, rounds a little differently
// in Cairo's fixed point).

// A surface that records a page of Width x Height pixels, opaque and marked
// as drawn for pixels (see DrawsPixels). Returns a surface in an error state
// when it fails, a width too large for Cairo's images included; the caller
// destroys it.
cairo_surface_t* NewPixelPage(int Width, int Height);

// Whether Cairo draws for pixels: into an image, or into a pixel page's
// recording. Pictures and clips are drawn differently for pixels.
bool DrawsPixels(cairo_t* Cairo);

// Draws Page (from NewPixelPage) band by band, from the top, into memory of
// Memory, and hands each band's rows to Rows: RGB24 pixels, Stride bytes
// apart, Count rows. Returns the first failure, of Cairo or of Rows.
using TBandRows = std::function<cairo_status_t(const unsigned char* Pixels, size_t Stride, int Count)>;
cairo_status_t DrawBands(cairo_surface_t* Page, TRasterMemory& Memory, const TBandRows& Rows);

} // namespace mivora
