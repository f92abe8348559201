// Drawing a picture onto a Cairo context; shared by the platform's .cpp files only.
#pragma once

#include "Picture.h"

#include <cairo.h>

namespace mivora {

// Paints Graphic scaled to the rectangle (X, Y, Width, Height) in user space of Cairo.
// Vector pictures stay vector on vector surfaces.
void PaintGraphic(cairo_t* Cairo, const TGraphic& Graphic, double X, double Y, double Width,
                  double Height);

} // namespace mivora
