// Writing a finished raster page as a PNG file. Shared by the platform's .cpp
// files only.
#pragma once

#include <cairo.h>

namespace mivora {

// Writes Surface as PNG through WriteFunc: opaque pages (RGB24) by our own
// encoder, other image formats by Cairo's writer. Returns the first failure.
cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure);

} // namespace mivora
