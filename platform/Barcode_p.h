// Drawing a barcode's modules onto a Cairo context; shared by the platform's .cpp files only.
#pragma once

#include "Barcode.h"

#include <cairo.h>

namespace mivora {

// Adds one rectangle per run of dark modules to Cairo's path, the symbol's top-left
// module at (X, Y), each module ModuleWidth wide and each module row ModuleHeight
// high (times its row height); a 1-D symbol's bars are BarHeight high. The caller
// sets the colour and fills.
void AddBarcodePath(cairo_t* Cairo, const TBarcodeGraphic& Barcode, double X, double Y,
                    double ModuleWidth, double ModuleHeight, double BarHeight);

// Paints Barcode in black scaled to the rectangle (X, Y, Width, Height), as any
// picture is drawn by the canvas's Draw and StretchDraw; cells use DrawBarcode.
void PaintBarcode(cairo_t* Cairo, const TBarcodeGraphic& Barcode, double X, double Y,
                  double Width, double Height);

} // namespace mivora
