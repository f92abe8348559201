#include "Mivora.h"

#include "Gdi.h"
#include "Printer.h"

#include <cmath>
#include <limits>

namespace mivora {

namespace {

// The printer's resolution and page extent along each axis. The page is measured
// from its first to its last pixel, so the extents are one less than its size.
struct TDeviceFigures {
  int32_t DpiX;
  int32_t DpiY;
  int32_t ExtentX;
  int32_t ExtentY;
};

TDeviceFigures ReadDeviceFigures() {
  TPrinter* printer = Printer();
  HDC dc = printer->GetHandle();
  return TDeviceFigures{GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY),
                        printer->GetPageWidth() - 1, printer->GetPageHeight() - 1};
}

// Nearest whole pixel, halves to even. Values beyond the device's range (or not a
// number at all) are pinned rather than left to undefined conversion.
int32_t ToPixel(float Value) {
  if (std::isnan(Value)) return 0;
  const double r = std::nearbyint(static_cast<double>(Value));
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

} // namespace

void TMivora::SetMeasurement(TMeasurement Value) {
  if (Value == measurement_) return;
  const TDeviceFigures d = ReadDeviceFigures(); // a printer error changes nothing
  const TMeasurement old = measurement_;
  measurement_ = Value;

  auto across = [&](float v) { return ConvertMeasure(old, Value, d.DpiX, d.ExtentX, v); };
  auto down = [&](float v) { return ConvertMeasure(old, Value, d.DpiY, d.ExtentY, v); };
  for (TEntry& entry : entries_) {
    TCell& cell = *entry.Cell;
    TFontData font = cell.Font;
    // Under percentages a font height is a fraction of the cell's own height;
    // elsewhere it is a length like the edges.
    if (old == mtPercentage) font.Height = font.Height * cell.GetHeight();
    font.Height = down(font.Height);
    cell.CheckBounds = false;
    cell.SetLeft(across(cell.Left()));
    cell.SetTop(down(cell.Top()));
    cell.SetRight(across(cell.Right()));
    cell.SetBottom(down(cell.Bottom()));
    cell.CheckBounds = true;
    if (Value == mtPercentage) {
      const float height = cell.GetHeight();
      // A cell without height has no fraction to give; its font becomes 0.
      font.Height = height != 0.0f ? font.Height / height : 0.0f;
    }
    cell.Font = font;
  }
}

float TMivora::PageW() const {
  const TDeviceFigures d = ReadDeviceFigures();
  return ConvertMeasure(mtPixels, measurement_, d.DpiX, d.ExtentX,
                        static_cast<float>(d.ExtentX));
}

float TMivora::PageH() const {
  const TDeviceFigures d = ReadDeviceFigures();
  return ConvertMeasure(mtPixels, measurement_, d.DpiY, d.ExtentY,
                        static_cast<float>(d.ExtentY));
}

void TMivora::TransformCellBounds(const TCell* Cell, int32_t& Left, int32_t& Top,
                                  int32_t& Right, int32_t& Bottom,
                                  int32_t& FontHeight) const {
  if (Cell == nullptr) throw ECellError("Invalid cell");
  const TDeviceFigures d = ReadDeviceFigures();
  auto across = [&](float v) { return ToPixel(ConvertMeasure(measurement_, mtPixels, d.DpiX, d.ExtentX, v)); };
  auto down = [&](float v) { return ToPixel(ConvertMeasure(measurement_, mtPixels, d.DpiY, d.ExtentY, v)); };
  float fontHeight = Cell->Font.Height;
  if (measurement_ == mtPercentage) fontHeight = fontHeight * Cell->GetHeight();
  const int32_t l = across(Cell->Left());
  const int32_t t = down(Cell->Top());
  const int32_t r = across(Cell->Right());
  const int32_t b = down(Cell->Bottom());
  const int32_t f = down(fontHeight);
  Left = l;
  Top = t;
  Right = r;
  Bottom = b;
  FontHeight = f;
}

} // namespace mivora
