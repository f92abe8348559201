// Carrying out a layout on a sheet and the printer, and filling the sheet from
// data records.
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

// How data records reach the sheet. Each column of the header names a cell
// (letter case ignored), or with "*" is a cell-name pattern as in Select that
// fills every matching cell.
struct TMergePlan {
  std::string Label;                          // the data file, for messages
  std::vector<std::string> Columns;           // header names
  std::vector<std::vector<TCell*>> Cells;     // the cells each column fills
  // For columns that fill picture cells, the resolved file of each record
  // (empty: no picture).
  std::vector<std::vector<std::filesystem::path>> Pictures;
};

// Matches the header of Table with the sheet's cells and checks every record's
// picture files. Raises EInputError "Label:line: ..." before anything is printed.
TMergePlan PlanMerge(TMivora& Sheet, const TCsvTable& Table, const std::string& Label,
                     const TPathPolicy& Policy);

// Fills the cells of Plan from record number Index of Table: text cells take the
// text, picture cells the picture file, rich-text cells the plain text.
void FillRecord(const TMergePlan& Plan, const TCsvTable& Table, size_t Index);

} // namespace mivora::tool
