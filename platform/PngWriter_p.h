// Writing a finished raster page as a PNG file. Shared by the platform's .cpp
// files only.
#pragma once

#include <cairo.h>

namespace mivora {

// What the writer may do with the surface's pixel memory.
enum class TPngPixels {
  Keep,   // the surface is left as it was
  Reuse,  // the packed rows are built in the surface's own memory, so its pixels
          // are lost: for a page that is destroyed right after, it saves a
          // second copy of the page (100 MB for A4 at 600 dpi)
};

// Writes Surface as PNG through WriteFunc: opaque pages (RGB24) as 8-bit RGB by
// our own encoder, other image formats by Cairo's writer. Returns the first
// failure, of the writer or of WriteFunc.
cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure,
                        TPngPixels Pixels = TPngPixels::Keep);

} // namespace mivora
