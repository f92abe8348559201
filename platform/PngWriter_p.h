// Writing a finished raster page as a PNG file. Shared by the platform's .cpp
// files only.
#pragma once

#include <cairo.h>

namespace mivora {

// What the writer may do with the surface's pixel memory. The writer packs
// and compresses the rows a megabyte at a time and leaves the pixels as they
// are either way; Reuse is kept for callers that allow more.
enum class TPngPixels {
  Keep,   // the surface is left as it was
  Reuse,  // the page is destroyed right after: its pixels may be lost
};

// Writes Surface as PNG through WriteFunc: opaque pages (RGB24) as 8-bit RGB by
// our own encoder, other image formats by Cairo's writer. Writes the chunks as
// the compressed stream grows. Returns the first failure, of the writer or of
// WriteFunc; nothing is written after it.
cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure,
                        TPngPixels Pixels = TPngPixels::Keep);

} // namespace mivora
