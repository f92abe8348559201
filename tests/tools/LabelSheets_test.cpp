// The label grid as a layout declares it: a preset by its code, or figures in
// the layout's unit.
#include "LabelSheets.h"

#include "InputError.h"
#include "Merge.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>

namespace mivora::tool {
namespace {

using nlohmann::json;

// The "labels" object Text read at "b.json", in centimetres.
TMergeLayout Read(const std::string& Text, double MmPerUnit = 10) {
  const json labels = json::parse(Text);
  return ParseMergeLayout(&labels, nullptr, "b.json", MmPerUnit);
}

TEST(LayoutLabelGrids, APresetBringsItsFiguresAndPaper) {
  const TMergeLayout merge = Read(R"({"sheet": "l7160", "order": "down"})");
  ASSERT_TRUE(merge.Grid);
  EXPECT_EQ(merge.GridPreset, "L7160");
  EXPECT_EQ(merge.GridWhere, "b.json: labels");
  EXPECT_EQ(merge.Grid->Count(), 21);
  EXPECT_DOUBLE_EQ(merge.Grid->PaperHeight, 297);
  EXPECT_EQ(merge.Grid->Order, TReadingOrder::DownThenAcross);
}

TEST(LayoutLabelGrids, FiguresAreInTheLayoutsUnitWithGapsOrPitches) {
  const TMergeLayout gaps = Read(R"({"across": 2, "down": 3, "width": 9, "height": 5.4, "left": 1, "top": 1.5,
                                     "gapX": 1, "gapY": 0.5})");
  ASSERT_TRUE(gaps.Grid);
  EXPECT_DOUBLE_EQ(gaps.Grid->LabelWidth, 90);
  EXPECT_DOUBLE_EQ(gaps.Grid->Left, 10);
  EXPECT_DOUBLE_EQ(gaps.Grid->Top, 15);
  EXPECT_DOUBLE_EQ(gaps.Grid->PitchX, 100);
  EXPECT_DOUBLE_EQ(gaps.Grid->PitchY, 59);
  const TMergeLayout inches = Read(R"({"across": 1, "down": 2, "width": 4, "height": 2, "pitchY": 2.5})", 25.4);
  EXPECT_DOUBLE_EQ(inches.Grid->PitchY, 63.5);
  EXPECT_DOUBLE_EQ(inches.Grid->PitchX, 101.6);  // no gap across
}

TEST(LayoutLabelGrids, BadGridsNameTheFieldAndTheFigure) {
  EXPECT_THROW_MSG(Read(R"({"sheet": "L7610"})"), EInputError,
                   "b.json: labels.sheet: no label sheet \"L7610\" (the presets are 5160, 5163, L7160, L7163, L7651, "
                   "badge-90x54, 4x6); did you mean \"L7160\"?");
  EXPECT_THROW_MSG(Read(R"({"sheet": "5160", "across": 2})"), EInputError,
                   "b.json: labels.across: a preset sheet has its own figures; give either \"sheet\" or the figures");
  EXPECT_THROW_MSG(Read(R"({"across": 2, "down": 1, "width": 5, "height": 3, "gapX": 1, "pitchX": 6})"), EInputError,
                   "b.json: labels: give gapX or pitchX, not both");
  EXPECT_THROW_MSG(Read(R"({"across": 2, "down": 1, "width": 5, "height": 3, "pitchX": 4})"), EInputError,
                   "b.json: labels: labels overlap: the horizontal pitch (40 mm) is less than the label width (50 mm)");
  EXPECT_THROW_MSG(Read(R"({"across": 2.5, "down": 1, "width": 5, "height": 3})"), EInputError,
                   "b.json: labels.across: 2.5 is not a whole number from 1 to 1000");
  EXPECT_THROW_MSG(Read(R"({"across": 1, "down": 1, "width": 5, "height": 3})", 0), EInputError,
                   "b.json: labels: the figures of a label grid need a unit of length (centimeters, millimeters or "
                   "inches) as the layout's measurement; or name a preset with \"sheet\"");
  EXPECT_THROW_MSG(Read(R"({"sheet": "5160", "order": "up"})"), EInputError,
                   "b.json: labels.order: expected \"across\" (across, then down) or \"down\" (down, then across)");
}

} // namespace
} // namespace mivora::tool
