// The layout file: page and printer settings, the sheet's measurement and an
// ordered list of commands, each one operation of the sheet with named
// arguments. Reading it checks every field, so that a layout that loads only
// fails later for reasons the sheet or the files it names give.
#pragma once

#include "Colors.h"
#include "Commands.h"
#include "Merge.h"
#include "Mivora.h"
#include "Paths.h"
#include "Printer.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mivora::tool {

// Limits that keep a hostile layout from exhausting time or memory.
constexpr size_t MaxLayoutBytes = size_t{16} * 1024 * 1024;
constexpr size_t MaxCommands = 100000;
constexpr size_t MaxStringBytes = size_t{1} * 1024 * 1024;
constexpr double MaxCoordinate = 1e6;     // any edge, size or distance, in the sheet's unit
constexpr double MaxFontHeight = 1e4;     // in the sheet's unit
constexpr int32_t MaxPenWidth = 10000;    // device pixels
constexpr double MaxFactor = 1000;        // Magnification
constexpr int64_t MaxCellsPerCut = 10000; // rows x columns of one cut or split
constexpr int32_t MaxCells = 100000;      // cells in the sheet at any time

// Printer settings of a layout; those left out keep the printer's.
struct TPrinterSettings {
  std::optional<TPaper> Paper;                      // a standard size
  std::optional<std::pair<double, double>> PaperMm; // a custom size, portrait
  std::optional<TPrinterOrientation> Orientation;
  std::optional<std::pair<int32_t, int32_t>> Dpi;
  std::optional<TPrinterMargins> Margins;
};

struct TLayout {
  std::string Label;                // the file as named on the command line
  TPathPolicy Files;                // where the files it names lie (its folder)
  std::string Title;                // the print job's title
  TPrinterSettings Printer;
  TMeasurement Measurement = mtCentimeters;  // millimetres are read as centimetres
  std::optional<bool> PrintEdgesLast;
  std::vector<std::string> Fonts;   // font files for this job only, resolved as pictures are
  TMergeLayout Merge;               // the label grid, and cells that are optional in a merge
  std::vector<TCommand> Commands;
};

// Reads a layout from Text; Label names it in messages, and Policy says where the
// files it names are looked for. DefaultTitle is the title when it sets none.
// Raises EInputError "Label: path: ..." on the first fault.
TLayout ParseLayout(const std::string& Text, const std::string& Label, const TPathPolicy& Policy,
                    const std::string& DefaultTitle);

// Reads the layout file at Path; files it names are relative to its folder.
TLayout LoadLayout(const std::filesystem::path& Path, bool AllowOutside);

} // namespace mivora::tool
