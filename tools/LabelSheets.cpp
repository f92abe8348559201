#include "LabelSheets.h"

#include "InputError.h"
#include "Numbers.h"
#include "Suggestion.h"
#include "TextCase.h"

#include <cctype>
#include <cmath>

namespace mivora::tool {

namespace {

constexpr double Inch = 25.4;
constexpr double LetterWidth = 8.5 * Inch, LetterHeight = 11 * Inch;
constexpr double A4Width = 210, A4Height = 297;
// Sheets are cut to a tenth of a millimetre at best: a label that ends within
// this much of the paper's edge, or of the next label, still fits.
constexpr double Tolerance = 1e-6;
constexpr int32_t MaxLabelsAcross = 1000;

// The figures come from the label makers' published templates for each code
// (label size, top and side margins, horizontal and vertical pitch); where the
// maker calls the grid centred, the margins are computed so that it is.
std::vector<TLabelSheet> MakeSheets() {
  std::vector<TLabelSheet> sheets;
  // US Letter, 30 address labels of 2-5/8 x 1 in: top margin 1/2 in, side
  // margin 3/16 in, pitch 2-3/4 in across and 1 in down (no gap between rows).
  sheets.push_back({"5160", "US Letter, 3 x 10 address labels of 2-5/8 x 1 in",
                    {LetterWidth, LetterHeight, 3, 10, 2.625 * Inch, 1 * Inch, 0.1875 * Inch, 0.5 * Inch,
                     2.75 * Inch, 1 * Inch, TReadingOrder::AcrossThenDown}});
  // US Letter, 10 shipping labels of 4 x 2 in: top margin 1/2 in, side margin
  // 5/32 in, pitch 4-3/16 in across and 2 in down.
  sheets.push_back({"5163", "US Letter, 2 x 5 shipping labels of 4 x 2 in",
                    {LetterWidth, LetterHeight, 2, 5, 4 * Inch, 2 * Inch, 0.15625 * Inch, 0.5 * Inch,
                     4.1875 * Inch, 2 * Inch, TReadingOrder::AcrossThenDown}});
  // A4, 21 address labels of 63.5 x 38.1 mm: pitch 66.04 mm across and
  // 38.1 mm down, the grid centred (top margin 15.15 mm, side margin 7.21 mm).
  sheets.push_back({"L7160", "A4, 3 x 7 address labels of 63.5 x 38.1 mm",
                    {A4Width, A4Height, 3, 7, 63.5, 38.1, (A4Width - (2 * 66.04 + 63.5)) / 2, (A4Height - 7 * 38.1) / 2,
                     66.04, 38.1, TReadingOrder::AcrossThenDown}});
  // A4, 14 labels of 99.1 x 38.1 mm: pitch 101.6 mm across and 38.1 mm down,
  // centred (top margin 15.15 mm, side margin 4.65 mm).
  sheets.push_back({"L7163", "A4, 2 x 7 address labels of 99.1 x 38.1 mm",
                    {A4Width, A4Height, 2, 7, 99.1, 38.1, (A4Width - (101.6 + 99.1)) / 2, (A4Height - 7 * 38.1) / 2,
                     101.6, 38.1, TReadingOrder::AcrossThenDown}});
  // A4, 65 mini labels of 38.1 x 21.2 mm: pitch 40.6 mm across and 21.2 mm
  // down, centred (top margin 10.7 mm, side margin 4.75 mm).
  sheets.push_back({"L7651", "A4, 5 x 13 mini labels of 38.1 x 21.2 mm",
                    {A4Width, A4Height, 5, 13, 38.1, 21.2, (A4Width - (4 * 40.6 + 38.1)) / 2,
                     (A4Height - 13 * 21.2) / 2, 40.6, 21.2, TReadingOrder::AcrossThenDown}});
  // A4, 8 name badges of 90 x 54 mm (the usual badge-holder insert). Badge
  // sheets differ from maker to maker; this generic grid has 10 mm between
  // columns and 15 mm between rows, centred on the paper.
  sheets.push_back({"badge-90x54", "A4, 2 x 4 name badges of 90 x 54 mm",
                    {A4Width, A4Height, 2, 4, 90, 54, (A4Width - (100 + 90)) / 2, (A4Height - (3 * 69 + 54)) / 2, 100,
                     69, TReadingOrder::AcrossThenDown}});
  // One 4 x 6 in shipping label on paper of its own size (label printers).
  sheets.push_back({"4x6", "one 4 x 6 in label on 4 x 6 in paper",
                    {4 * Inch, 6 * Inch, 1, 1, 4 * Inch, 6 * Inch, 0, 0, 4 * Inch, 6 * Inch,
                     TReadingOrder::AcrossThenDown}});
  return sheets;
}

std::string Mm(double Value) { return FormatNumber(Value, 6) + " mm"; }

} // namespace

const std::vector<TLabelSheet>& LabelSheets() {
  static const std::vector<TLabelSheet> sheets = MakeSheets();
  return sheets;
}

const TLabelSheet& FindLabelSheet(const std::string& Code, const std::string& Where) {
  std::vector<std::string> codes;
  for (const TLabelSheet& sheet : LabelSheets()) {
    if (Lower(sheet.Code) == Lower(Code)) return sheet;
    codes.push_back(sheet.Code);
  }
  std::string list;
  for (const std::string& code : codes) list += (list.empty() ? "" : ", ") + code;
  throw EInputError(Where + ": no label sheet \"" + Code + "\" (the presets are " + list + ")" +
                    Suggestion(Code, codes));
}

TLabelRect LabelRect(const TLabelGrid& Grid, int32_t Index) {
  const int32_t column = Grid.Order == TReadingOrder::AcrossThenDown ? Index % Grid.Across : Index / Grid.Down;
  const int32_t row = Grid.Order == TReadingOrder::AcrossThenDown ? Index / Grid.Across : Index % Grid.Down;
  return {Grid.Left + column * Grid.PitchX, Grid.Top + row * Grid.PitchY, Grid.LabelWidth, Grid.LabelHeight};
}

void CheckLabelGrid(const TLabelGrid& Grid, const std::string& Where) {
  const auto fail = [&](const std::string& Message) { throw EInputError(Where + ": " + Message); };
  if (Grid.Across < 1 || Grid.Across > MaxLabelsAcross)
    fail("labels across is " + std::to_string(Grid.Across) + "; it must be 1 to " + std::to_string(MaxLabelsAcross));
  if (Grid.Down < 1 || Grid.Down > MaxLabelsAcross)
    fail("labels down is " + std::to_string(Grid.Down) + "; it must be 1 to " + std::to_string(MaxLabelsAcross));
  const std::pair<const char*, double> sizes[] = {{"label width", Grid.LabelWidth},
                                                  {"label height", Grid.LabelHeight},
                                                  {"paper width", Grid.PaperWidth},
                                                  {"paper height", Grid.PaperHeight}};
  for (const auto& [what, value] : sizes)
    if (!std::isfinite(value) || value <= 0) fail(std::string("the ") + what + " is " + Mm(value) + "; it must be more than 0");
  const std::pair<const char*, double> places[] = {
      {"left edge of the first label", Grid.Left}, {"top edge of the first label", Grid.Top},
      {"horizontal pitch", Grid.PitchX}, {"vertical pitch", Grid.PitchY}};
  for (const auto& [what, value] : places)
    if (!std::isfinite(value) || value < 0) fail(std::string("the ") + what + " is " + Mm(value) + "; it cannot be negative");

  if (Grid.Across > 1 && Grid.PitchX < Grid.LabelWidth - Tolerance)
    fail("labels overlap: the horizontal pitch (" + Mm(Grid.PitchX) + ") is less than the label width (" +
         Mm(Grid.LabelWidth) + ")");
  if (Grid.Down > 1 && Grid.PitchY < Grid.LabelHeight - Tolerance)
    fail("labels overlap: the vertical pitch (" + Mm(Grid.PitchY) + ") is less than the label height (" +
         Mm(Grid.LabelHeight) + ")");
  const double right = Grid.Left + (Grid.Across - 1) * Grid.PitchX + Grid.LabelWidth;
  const double bottom = Grid.Top + (Grid.Down - 1) * Grid.PitchY + Grid.LabelHeight;
  if (right > Grid.PaperWidth + Tolerance)
    fail("the grid does not fit its paper: " + std::to_string(Grid.Across) + " labels across end " + Mm(right) +
         " from the left edge, beyond the paper's width of " + Mm(Grid.PaperWidth));
  if (bottom > Grid.PaperHeight + Tolerance)
    fail("the grid does not fit its paper: " + std::to_string(Grid.Down) + " labels down end " + Mm(bottom) +
         " from the top edge, beyond the paper's height of " + Mm(Grid.PaperHeight));
}

} // namespace mivora::tool
