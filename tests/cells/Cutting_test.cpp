#include "Mivora.h"

#include "TestSupport.h"

#include <string>
#include <vector>

using namespace mivora;

namespace {

class Cutting : public ::testing::Test {
protected:
  // Names in stacking order, back first, separated by spaces.
  std::string Order() {
    std::string s;
    for (int32_t i = 0; i < sheet.Count(); ++i)
      s += (i ? " " : "") + sheet.GetCellName(sheet.GetCell(i));
    return s;
  }

  std::string Selected() {
    std::string s;
    for (int32_t i = 0; i < sheet.GetSelectionCount(); ++i)
      s += (i ? " " : "") + sheet.GetCellName(sheet.GetSelectedCell(i));
    return s;
  }

  struct Box {
    float Left, Top, Right, Bottom;
  };
  static void ExpectBox(const TCell* Cell, Box Expected) {
    SCOPED_TRACE(Cell->GetName());
    EXPECT_FLOAT_EQ(Cell->Left(), Expected.Left);
    EXPECT_FLOAT_EQ(Cell->Top(), Expected.Top);
    EXPECT_FLOAT_EQ(Cell->Right(), Expected.Right);
    EXPECT_FLOAT_EQ(Cell->Bottom(), Expected.Bottom);
  }

  TMivora sheet{nullptr};
};

} // namespace

TEST_F(Cutting, SplitHMakesEqualRowsInFrontAndRemovesTheCutCell) {
  sheet.AddCell("Back", 0, 0, 1, 1);
  TCell* cut = sheet.Add("Cut", 1, 2, 4, 9);
  sheet.AddCell("Front", 0, 0, 1, 1);
  sheet.SplitH("T", 3);
  EXPECT_EQ(Order(), "Back Front TR1 TR2 TR3");
  EXPECT_EQ(Selected(), "TR1 TR2 TR3");
  ExpectBox(sheet.Find("TR1"), {1, 2, 5, 5});
  ExpectBox(sheet.Find("TR2"), {1, 5, 5, 8});
  ExpectBox(sheet.Find("TR3"), {1, 8, 5, 11});
  EXPECT_THROW_MSG(sheet.GetCellName(cut), ECellError, "Invalid cell");
}

TEST_F(Cutting, SplitNamesRowsAndColumns) {
  sheet.Add("X", 0, 0, 6, 4);
  sheet.Split("T", 2, 3);
  EXPECT_EQ(Selected(), "TR1C1 TR1C2 TR1C3 TR2C1 TR2C2 TR2C3");
  ExpectBox(sheet.Find("TR2C3"), {4, 2, 6, 4});

  sheet.Select("TR1C1");
  sheet.SplitV("V", 2);
  EXPECT_EQ(Selected(), "VC1 VC2");
  ExpectBox(sheet.Find("VC2"), {1, 0, 2, 2});
}

TEST_F(Cutting, SplitByNothingChangesNothing) {
  sheet.Add("X", 0, 0, 6, 4);
  sheet.AddToSelection(sheet.AddCell("Y", 0, 0, 1, 1), false);
  sheet.Split("T", 0, 2);
  sheet.Split("T", 2, -1);
  sheet.SplitH("T", 0);
  sheet.SplitV("T", -3);
  EXPECT_EQ(Order(), "X Y");
  EXPECT_EQ(Selected(), "X Y");
}

TEST_F(Cutting, OneByOneSplitReplacesTheCellByAPlainOne) {
  TCell* x = sheet.Add("X", 1, 1, 6, 4);
  x->Alignment = 0;
  x->SetText("content");
  sheet.CurrentAlignment = 1;
  sheet.Split("T", 1, 1);
  TCell* t = sheet.Find("T");
  ExpectBox(t, {1, 1, 7, 5});
  EXPECT_EQ(t->Alignment, 1);
  EXPECT_EQ(t->Text(), "");
  EXPECT_EQ(Order(), "T");
}

TEST_F(Cutting, SplittingUnderTheCellsOwnNameFailsAndKeepsIt) {
  sheet.Add("X", 1, 1, 6, 4);
  EXPECT_THROW_MSG(sheet.Split("x", 1, 1), ECellError, "Cell \"x\" already exists");
  EXPECT_EQ(Order(), "X");
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
}

TEST_F(Cutting, CutVTrimsTheColumnThatReachesTheEdge) {
  sheet.Add("X", 0, 0, 8, 2);
  sheet.CutV("T", {2, 3, 10});
  EXPECT_EQ(Selected(), "TC1 TC2 TC3");
  ExpectBox(sheet.Find("TC1"), {0, 0, 2, 2});
  ExpectBox(sheet.Find("TC2"), {2, 0, 5, 2});
  ExpectBox(sheet.Find("TC3"), {5, 0, 8, 2});
}

TEST_F(Cutting, WidthsThatFallShortLeaveAStripWithoutACell) {
  sheet.Add("X", 0, 0, 8, 2);
  sheet.CutV("T", {2, 3});
  EXPECT_EQ(Order(), "TC1 TC2");
  ExpectBox(sheet.Find("TC2"), {2, 0, 5, 2});
}


TEST_F(Cutting, CutReadsTheWidthsAgainForEachRow) {
  sheet.Add("X", 0, 0, 5, 5);
  sheet.Cut("G", {1, 4}, {2, 3});
  EXPECT_EQ(Selected(), "GR1C1 GR1C2 GR2C1 GR2C2");
  ExpectBox(sheet.Find("GR2C1"), {0, 2, 1, 5});
  ExpectBox(sheet.Find("GR2C2"), {1, 2, 5, 5});
}

TEST_F(Cutting, RowsStopAtTheBottomEdge) {
  sheet.Add("X", 0, 0, 2, 9);
  sheet.CutH("T", {3, 3, 5, 1});
  EXPECT_EQ(Selected(), "TR1 TR2 TR3");
  ExpectBox(sheet.Find("TR3"), {0, 6, 2, 9});
}

TEST_F(Cutting, RepeatMarkersGiveRunsOfEqualSizes) {
  sheet.Add("X", 0, 0, 8, 2);
  sheet.CutV("T", {-4, 2});
  EXPECT_EQ(Selected(), "TC1 TC2 TC3 TC4");
  ExpectBox(sheet.Find("TC4"), {6, 0, 8, 2});
}

TEST_F(Cutting, NewCellsHaveTheCurrentSettingsAndRaiseOnAddCell) {
  TCell* x = sheet.Add("X", 0, 0, 2, 2);
  x->Layout = 0;
  x->SetText("old");
  sheet.CurrentLayout = 2;
  std::vector<std::string> added;
  sheet.OnAddCell = [&](TObject*, TCell* Cell) { added.push_back(Cell->GetName()); };
  sheet.SplitV("T", 2);
  EXPECT_EQ(added, (std::vector<std::string>{"TC1", "TC2"}));
  EXPECT_EQ(sheet.Find("TC1")->Layout, 2);
  EXPECT_EQ(sheet.Find("TC1")->Text(), "");
}

TEST_F(Cutting, FailedCutRemovesTheNewCellsAndKeepsTheRest) {
  sheet.AddCell("A", 0, 0, 1, 1);
  sheet.Add("X", 0, 0, 8, 2);
  sheet.AddCell("tc2", 0, 0, 1, 1);
  sheet.AddToSelection(sheet.Find("A"), false);
  EXPECT_THROW_MSG(sheet.SplitV("T", 3), ECellError, "Cell \"TC2\" already exists");
  EXPECT_EQ(Order(), "A X tc2");
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  EXPECT_THROW_MSG(sheet.Find("TC1"), ECellError, "Cell \"TC1\" not found");
  // The sheet is fully usable afterwards.
  sheet.Select("X");
  sheet.SplitV("N", 2);
  EXPECT_EQ(Order(), "A tc2 NC1 NC2");
}

TEST_F(Cutting, CutWithoutSelectionIsRefused) {
  sheet.AddCell("A", 0, 0, 1, 1);
  EXPECT_THROW_MSG(sheet.Cut("T", {1}, {1}), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.CutH("T", {1}), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.CutV("T", {1}), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.Split("T", 0, 0), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.SplitH("T", 2), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.CutCell("T", {}, {}, 0, 0), ECellError, "Invalid cell");
  EXPECT_EQ(Order(), "A");
}

TEST_F(Cutting, CuttingACellNotInTheSheetIsRefusedBeforeAnythingIsMade) {
  TMivora other(nullptr);
  TCell* foreign = other.AddCell("F", 0, 0, 4, 4);
  sheet.AddCell("A", 0, 0, 1, 1);
  sheet.AddToSelection(foreign, true);
  EXPECT_THROW_MSG(sheet.SplitH("T", 2), ECellError, "Invalid cell");
  TCell* gone = sheet.Add("G", 0, 0, 4, 4);
  sheet.Remove(gone);
  sheet.AddToSelection(gone, true);
  EXPECT_THROW_MSG(sheet.CutV("T", {1}), ECellError, "Invalid cell");
  EXPECT_EQ(Order(), "A");
  EXPECT_EQ(other.Count(), 1);
}

TEST_F(Cutting, SizeListsThatYieldNothingChangeNothing) {
  sheet.Add("X", 0, 0, 8, 2);
  sheet.Cut("T", {}, {1});
  sheet.Cut("T", {1}, {-2, -3});
  sheet.CutH("T", {});
  sheet.CutV("T", {-1});
  // A count with no list entry to size it has nothing to cut either.
  sheet.CutCell("T", {}, {1}, 0, 2);
  sheet.CutCell("T", {1}, {}, 3, 0);
  EXPECT_EQ(Order(), "X");
  EXPECT_EQ(Selected(), "X");
}

TEST_F(Cutting, CountsTakeTheFirstEntryWithoutItsSign) {
  sheet.Add("X", 0, 0, 8, 6);
  sheet.CutCell("T", {-2, 7}, {3}, 2, 4);
  EXPECT_EQ(Selected(), "TR1C1 TR1C2 TR1C3 TR1C4 TR2C1 TR2C2 TR2C3 TR2C4");
  ExpectBox(sheet.Find("TR2C4"), {6, 3, 8, 6});
}

TEST_F(Cutting, PercentagesAreFractionsOfTheCutCell) {
  sheet.SetMeasurement(mtPercentage);
  sheet.Add("X", 0.1f, 0.2f, 0.4f, 0.4f);
  sheet.CutH("T", {0.25f, 0.75f});
  ExpectBox(sheet.Find("TR1"), {0.1f, 0.2f, 0.5f, 0.3f});
  ExpectBox(sheet.Find("TR2"), {0.1f, 0.3f, 0.5f, 0.6f});

  sheet.Select("TR2");
  sheet.Split("S", 2, 2);
  ExpectBox(sheet.Find("SR2C2"), {0.3f, 0.45f, 0.5f, 0.6f});
}

TEST_F(Cutting, PixelsTruncateEachEdgeAndLeaveTheRest) {
  sheet.SetMeasurement(mtPixels);
  sheet.Add("X", 0, 0, 100, 10);
  sheet.SplitV("T", 3);
  EXPECT_EQ(Selected(), "TC1 TC2 TC3");
  ExpectBox(sheet.Find("TC1"), {0, 0, 33, 10});
  ExpectBox(sheet.Find("TC3"), {66, 0, 99, 10});
}
