// Drawing a picture onto a Cairo context; shared by the platform's .cpp files only.
#pragma once

#include "Picture.h"

#include <cairo.h>

namespace mivora {

// How finely a vector target keeps raster pictures: with MaxDpi above 0, a
// picture with more than MaxDpi pixels per inch in its rectangle (on a device of
// DpiX x DpiY dots per inch) is embedded with fewer pixels. Pixel targets ignore it.
struct TPictureLimits {
  int32_t MaxDpi = 0;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
};

// Paints Graphic scaled to the rectangle (X, Y, Width, Height) in user space of Cairo.
// Vector pictures stay vector on vector surfaces.
void PaintGraphic(cairo_t* Cairo, const TGraphic& Graphic, double X, double Y, double Width,
                  double Height, const TPictureLimits& Limits = {});

} // namespace mivora
