#include "LayoutRunner.h"

#include "Commands.h"
#include "Gdi.h"
#include "InputError.h"
#include "Numbers.h"
#include "Picture.h"
#include "RichEdit.h"

#include <cmath>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

std::string Number(double Value) { return FormatNumber(Value); }

} // namespace

void ApplyPrinterSettings(TPrinter& Printer, const TLayout& Layout) {
  const TPrinterSettings& s = Layout.Printer;
  const std::string where = Layout.Label + ": printer";
  try {
    // Margins go last, and are cleared first, so that a smaller paper is not
    // refused for the margins of the paper before it.
    if (s.Margins) Printer.SetMargins(TPrinterMargins{});
    if (s.Paper) Printer.SetPaper(*s.Paper);
    if (s.PaperMm) Printer.SetPaperSize(s.PaperMm->first, s.PaperMm->second);
    if (s.Orientation) Printer.SetOrientation(*s.Orientation);
    if (s.Dpi) Printer.SetResolution(s.Dpi->first, s.Dpi->second);
    if (s.Margins) Printer.SetMargins(*s.Margins);
  } catch (const EPrinterError& error) {
    throw EInputError(where + ": " + error.what());
  }
}

void BuildSheet(TMivora& Sheet, const TLayout& Layout) {
  try {
    Sheet.SetMeasurement(Layout.Measurement);
  } catch (const EPrinterError& error) {
    throw EPrinterError(Layout.Label + ": measurement: " + error.what());
  }
  if (Layout.PrintEdgesLast) Sheet.PrintEdgesLast = *Layout.PrintEdgesLast;
  for (const TCommand& command : Layout.Commands) {
    const auto context = [&] { return Layout.Label + ": " + Describe(command) + ": "; };
    try {
      command.Spec->Run(Sheet, command);
    } catch (const EPrinterError& error) {
      throw EPrinterError(context() + error.what());
    } catch (const EInputError&) {
      throw;
    } catch (const Exception& error) {
      // The sheet's own errors, and pictures or rich text that cannot be read.
      throw EInputError(context() + error.what());
    }
    // Cells that left the sheet are not needed again: the layout holds no pointers.
    Sheet.PurgeRemovedCells();
    if (Sheet.Count() > MaxCells)
      throw EInputError(context() + "the sheet has " + std::to_string(Sheet.Count()) +
                        " cells; the most accepted is " + std::to_string(MaxCells));
  }
}

void CheckPrintable(TMivora& Sheet, const std::string& Label) {
  for (int32_t i = 0; i < Sheet.Count(); ++i) {
    const TCell* cell = Sheet.GetCell(i);
    if (!cell->Visible) continue;
    const std::string name = "\"" + Sheet.GetCellName(cell) + "\"";
    // The figures the cell will print with, before they are rounded.
    const TPixelBounds bounds = Sheet.CellPixelBounds(cell);
    const std::pair<const char*, double> edges[] = {
        {"left", bounds.Left}, {"top", bounds.Top}, {"right", bounds.Right}, {"bottom", bounds.Bottom}};
    for (const auto& [edge, pixels] : edges) {
      if (!std::isfinite(pixels) || std::fabs(pixels) > MaxCellPixels)
        throw EInputError(Label + ": cell " + name + ": its " + edge + " edge lies " + Number(pixels) +
                          " printer pixels from the page; the most accepted is " + Number(MaxCellPixels));
    }
    const double fontPixels = bounds.FontHeight;
    if (!std::isfinite(fontPixels) || std::fabs(fontPixels) > MaxFontPixels)
      throw EInputError(Label + ": cell " + name + ": its font is " + Number(fontPixels) +
                        " printer pixels high; the most accepted is " + Number(MaxFontPixels));
  }
}

} // namespace mivora::tool
