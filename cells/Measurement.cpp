#include "Mivora.h"

#include "Gdi.h"
#include "Numbers.h"
#include "Printer.h"

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

TPixelBounds TMivora::CellPixelBounds(const TCell* Cell) const {
  if (Cell == nullptr) throw ECellError("Invalid cell");
  const TDeviceFigures d = ReadDeviceFigures();
  auto across = [&](float v) { return ConvertMeasure(measurement_, mtPixels, d.DpiX, d.ExtentX, v); };
  auto down = [&](float v) { return ConvertMeasure(measurement_, mtPixels, d.DpiY, d.ExtentY, v); };
  // Under percentages a font height is a fraction of the cell's own height.
  float fontHeight = Cell->Font.Height;
  if (measurement_ == mtPercentage) fontHeight = fontHeight * Cell->GetHeight();
  return TPixelBounds{across(Cell->Left()), down(Cell->Top()), across(Cell->Right()),
                      down(Cell->Bottom()), down(fontHeight)};
}

void TMivora::TransformCellBounds(const TCell* Cell, int32_t& Left, int32_t& Top,
                                  int32_t& Right, int32_t& Bottom,
                                  int32_t& FontHeight) const {
  // Every figure is computed before any output is written, so a failure
  // leaves the caller's variables as they were.
  const TPixelBounds p = CellPixelBounds(Cell);
  Left = RoundToInt32(p.Left);
  Top = RoundToInt32(p.Top);
  Right = RoundToInt32(p.Right);
  Bottom = RoundToInt32(p.Bottom);
  FontHeight = RoundToInt32(p.FontHeight);
}

} // namespace mivora
