#include "LabelSheets.h"

#include "InputError.h"
#include "TestSupport.h"

namespace mivora::tool {
namespace {

bool Overlap(const TLabelRect& A, const TLabelRect& B) {
  constexpr double slack = 1e-6;  // labels that only touch do not overlap
  return A.Left + A.Width > B.Left + slack && B.Left + B.Width > A.Left + slack &&
         A.Top + A.Height > B.Top + slack && B.Top + B.Height > A.Top + slack;
}

TEST(LabelSheets, EveryPresetLiesInsideItsPaperWithoutOverlappingLabels) {
  for (const TLabelSheet& sheet : LabelSheets()) {
    SCOPED_TRACE(sheet.Code);
    const TLabelGrid& g = sheet.Grid;
    EXPECT_NO_THROW(CheckLabelGrid(g, sheet.Code));
    std::vector<TLabelRect> rects;
    for (int32_t i = 0; i < g.Count(); ++i) rects.push_back(LabelRect(g, i));
    for (size_t i = 0; i < rects.size(); ++i) {
      const TLabelRect& r = rects[i];
      EXPECT_GE(r.Left, 0);
      EXPECT_GE(r.Top, 0);
      EXPECT_LE(r.Left + r.Width, g.PaperWidth + 1e-9);
      EXPECT_LE(r.Top + r.Height, g.PaperHeight + 1e-9);
      for (size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(Overlap(r, rects[j])) << i << " and " << j;
    }
  }
}

TEST(LabelSheets, PresetsHaveTheirSheetsPublishedFigures) {
  const TLabelGrid& letter = FindLabelSheet("5160", "sheet").Grid;
  EXPECT_EQ(letter.Count(), 30);
  // The last label: third column, tenth row; 3/16 in from the right, 1/2 in from the bottom.
  const TLabelRect last = LabelRect(letter, 29);
  EXPECT_NEAR(last.Left, (0.1875 + 2 * 2.75) * 25.4, 1e-9);
  EXPECT_NEAR(letter.PaperWidth - (last.Left + last.Width), 0.1875 * 25.4, 1e-9);
  EXPECT_NEAR(letter.PaperHeight - (last.Top + last.Height), 0.5 * 25.4, 1e-9);
  // L7160 is centred: equal margins left and right, top and bottom.
  const TLabelGrid& a4 = FindLabelSheet("l7160", "sheet").Grid;
  const TLabelRect end = LabelRect(a4, a4.Count() - 1);
  EXPECT_NEAR(a4.Left, a4.PaperWidth - (end.Left + end.Width), 1e-9);
  EXPECT_NEAR(a4.Top, 15.15, 1e-9);
  EXPECT_NEAR(end.Left - LabelRect(a4, a4.Count() - 2).Left, 66.04, 1e-9);
}

TEST(LabelSheets, ReadsAcrossThenDownOrDownThenAcross) {
  TLabelGrid g = FindLabelSheet("L7163", "sheet").Grid;  // 2 across, 7 down
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Top, LabelRect(g, 0).Top);
  EXPECT_DOUBLE_EQ(LabelRect(g, 2).Left, LabelRect(g, 0).Left);
  g.Order = TReadingOrder::DownThenAcross;
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Left, LabelRect(g, 0).Left);
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Top - LabelRect(g, 0).Top, 38.1);
  EXPECT_DOUBLE_EQ(LabelRect(g, 7).Top, LabelRect(g, 0).Top);
  EXPECT_DOUBLE_EQ(LabelRect(g, 7).Left - LabelRect(g, 0).Left, 101.6);
}

TEST(LabelSheets, RefusesGridsThatDoNotFitOrOverlapNamingTheFigures) {
  TLabelGrid g{210, 297, 2, 4, 90, 54, 10, 18, 100, 69, TReadingOrder::AcrossThenDown};
  g.Left = 25;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "b.json: labels"), EInputError,
                   "b.json: labels: the grid does not fit its paper: 2 labels across end 215 mm from the left edge, "
                   "beyond the paper's width of 210 mm");
  g.Left = 10;
  g.PitchY = 50;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "b.json: labels"), EInputError,
                   "b.json: labels: labels overlap: the vertical pitch (50 mm) is less than the label height (54 mm)");
  g.PitchY = 69;
  g.Down = 0;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "w"), EInputError, "w: labels down is 0; it must be 1 to 1000");
  g.Down = 4;
  g.LabelWidth = -1;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "w"), EInputError, "w: the label width is -1 mm; it must be more than 0");
}

TEST(LabelSheets, AnUnknownCodeListsThePresetsAndSuggestsTheClosest) {
  EXPECT_THROW_MSG(FindLabelSheet("L7610", "b.json: labels.sheet"), EInputError,
                   "b.json: labels.sheet: no label sheet \"L7610\" (the presets are 5160, 5163, L7160, L7163, L7651, "
                   "badge-90x54, 4x6); did you mean \"L7160\"?");
}

} // namespace
} // namespace mivora::tool
