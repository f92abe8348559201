// Sheets of identical labels: the grid of labels on a paper, in millimetres,
// and the preset grids of common label and badge sheets, named by their codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivora::tool {

// The order in which records fill the labels of a sheet.
enum class TReadingOrder : uint8_t { AcrossThenDown, DownThenAcross };

// A grid of Across x Down labels of one size on a paper; all lengths in
// millimetres from the paper's top left corner. The pitch is the distance from
// one label's left (top) edge to the next one's: the label's size plus the gap.
struct TLabelGrid {
  double PaperWidth = 210, PaperHeight = 297;
  int32_t Across = 1, Down = 1;
  double LabelWidth = 0, LabelHeight = 0;
  double Left = 0, Top = 0;  // the first label's top left corner
  double PitchX = 0, PitchY = 0;
  TReadingOrder Order = TReadingOrder::AcrossThenDown;

  // Labels on one sheet.
  int32_t Count() const noexcept { return Across * Down; }
};

// One label's rectangle on the paper, in millimetres.
struct TLabelRect {
  double Left = 0, Top = 0, Width = 0, Height = 0;
};

// A preset: a sheet as sold, by the code people look it up by.
struct TLabelSheet {
  std::string Code;         // "5160", "L7160"
  std::string Description;  // "US Letter, 3 x 10 address labels of 2-5/8 x 1 in"
  TLabelGrid Grid;
};

// Every preset, in a fixed order.
const std::vector<TLabelSheet>& LabelSheets();

// The preset with Code (letter case ignored). Raises EInputError "Where: no
// label sheet "Code"; ..." listing the codes, with the closest one suggested.
const TLabelSheet& FindLabelSheet(const std::string& Code, const std::string& Where);

// Label Index (0-based, in the grid's reading order) on the sheet.
TLabelRect LabelRect(const TLabelGrid& Grid, int32_t Index);

// Checks that the grid makes sense: at least one label, positive sizes, labels
// inside the paper and not overlapping one another. Raises EInputError
// "Where: ..." naming the offending figure.
void CheckLabelGrid(const TLabelGrid& Grid, const std::string& Where);

} // namespace mivora::tool
