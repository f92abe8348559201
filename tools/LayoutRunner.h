// Carrying out a layout on a sheet and the printer. Data records reach the
// sheet through Merge.h.
#pragma once

#include "Csv.h"
#include "Layout.h"
#include "Mivora.h"
#include "Paths.h"
#include "Printer.h"

#include <filesystem>
#include <string>
#include <vector>

namespace mivora::tool {

// The largest distance from the page, and the largest font, in printer pixels
// that a cell may reach after all commands (about 4 m, and 85 cm at 600 dpi).
constexpr double MaxCellPixels = 1e8;
constexpr double MaxFontPixels = 20000;

// Gives Printer the layout's paper, orientation, resolution and margins. A
// setting the printer refuses raises EInputError naming the layout's field.
void ApplyPrinterSettings(TPrinter& Printer, const TLayout& Layout);

// Sets the sheet's measurement and switches and carries out every command in
// order. An error of a command raises EInputError "Label: commands[3] (AddText
// "Name"): message"; printer errors stay EPrinterError with the same context.
void BuildSheet(TMivora& Sheet, const TLayout& Layout);

// Checks that every cell lies within MaxCellPixels of the page and that its font
// is at most MaxFontPixels high, so that no drawing call gets absurd figures.
void CheckPrintable(TMivora& Sheet, const std::string& Label);

} // namespace mivora::tool
