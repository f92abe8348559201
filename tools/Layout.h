// The layout file: page and printer settings, the sheet's measurement and an
// ordered list of commands, each one operation of the sheet with named
// arguments. Reading it checks every field, so that a layout that loads only
// fails later for reasons the sheet or the files it names give.
#pragma once

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

// The operations a command can name: the sheet's, plus the cell's own geometry
// edits and switches, which a command applies to one named cell or to every
// selected cell.
enum class TOp : uint8_t {
  Add, AddCell, AddText, AddGraphic, AddRichEdit,
  Select, AddToSelection, RemoveFromSelection, BringToFront, SendToBack, MoveCell,
  SetAlignment, SetLayout, SetOrientation, SetBrush, SetFont, SetTextProperties,
  SetEdges, SetEdgesWR, SetPen, CopyFormat, FillText,
  Cut, CutH, CutV, Split, SplitH, SplitV, CutCell,
  Inflate, CenterOnPage, Magnification, SetVisible, SetStretch,
  ChangeCellName, Remove, Reset, RestoreDefaultSettings, SetMeasurement,
};

// The command name of an operation as written in layouts ("AddText").
const char* OpName(TOp Op);

// A font change; fields left out keep the value of the first cell changed (or
// of the current settings when nothing is selected).
struct TFontSpec {
  std::optional<std::string> Name;
  std::optional<TColor> Color;
  std::optional<float> Height;
  std::optional<TFontStyles> Style;
};

struct TBrushSpec {
  TColor Color = clWhite;
  uint8_t Style = bsSolid;
};

struct TPenSpec {
  TEdges Edges;
  TColor Color = clBlack;
  uint8_t Style = psSolid;
  int32_t Width = 1;
};

// Format given with an Add command, applied to the new cell right after it is added.
struct TFormatSpec {
  std::optional<uint8_t> Alignment;
  std::optional<uint8_t> Layout;
  std::optional<TTextOrientation> Orientation;
  std::optional<TFontSpec> Font;
  std::optional<TBrushSpec> Brush;
  std::optional<TPenSpec> Pen;
  std::optional<bool> ShrinkToFit;
  std::optional<bool> WordWrap;
  std::optional<bool> Visible;
  std::optional<bool> Stretch;
};

// Where the text of a rich-text cell comes from.
enum class TRichSource : uint8_t { File, Rtf, Markup, Text };

// One command with its arguments; only those of its operation are meaningful.
struct TCommand {
  size_t Index = 0;
  TOp Op = TOp::Reset;
  std::string Path;                 // "commands[3]", for messages

  std::string Name;                 // the new cell, the base name of a cut, the new name
  std::string Text;                 // AddText; AddRichEdit inline content
  float Left = 0, Top = 0, Width = 0, Height = 0;
  std::filesystem::path File;       // AddGraphic, AddRichEdit: resolved
  TRichSource RichSource = TRichSource::File;
  std::string Patterns;             // Select
  std::optional<std::string> Cell;  // a cell named by the command; none: the selection
  std::string Source;               // CopyFormat
  bool ClearFirst = false, ToFront = true, WithoutEdges = false, ScaleFont = false,
       ClearOthers = false, Switch = true;
  uint8_t Alignment = 2, Layout = 1;
  TTextOrientation Orientation = toHorizontal;
  TCellCenter Center = ccBoth;
  TMeasurement Measurement = mtCentimeters;
  TColor Color = clBlack;
  uint8_t Style = 0;
  int32_t PenWidth = 1;
  TEdges Edges;
  TFontSpec Font;
  std::optional<bool> ShrinkToFit, WordWrap;
  std::vector<float> Widths, Heights;
  int32_t Rows = 0, Cols = 0;
  float DX = 0, DY = 0, Factor = 1;
  std::vector<std::string> Texts;
  TFormatSpec Format;
};

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
  std::string Title;                // the print job's title
  TPrinterSettings Printer;
  TMeasurement Measurement = mtCentimeters;
  std::optional<bool> PrintEdgesLast;
  std::vector<TCommand> Commands;
};

// Reads a layout from Text; Label names it in messages, and Policy says where the
// files it names are looked for. DefaultTitle is the title when it sets none.
// Raises EInputError "Label: path: ..." on the first fault.
TLayout ParseLayout(const std::string& Text, const std::string& Label, const TPathPolicy& Policy,
                    const std::string& DefaultTitle);

// Reads the layout file at Path; files it names are relative to its folder.
TLayout LoadLayout(const std::filesystem::path& Path, bool AllowOutside);

// Parses a colour as written in layouts and data: "#RRGGBB" or a name such as
// "red"; false when it is neither.
bool ParseColor(const std::string& Text, TColor& Color);

} // namespace mivora::tool
