#include "Mivora.h"

#include "TestSupport.h"

#include <string>
#include <vector>

using namespace mivora;

namespace {

class Selecting : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* name : {"A", "B", "C", "D"}) sheet.AddCell(name, 0, 0, 1, 1);
  }

  TCell* Cell(const char* Name) { return sheet.Find(Name); }

  // Names in stacking order, back first.
  std::string Order() {
    std::string s;
    for (int32_t i = 0; i < sheet.Count(); ++i) s += sheet.GetCellName(sheet.GetCell(i));
    return s;
  }

  std::string Selected() {
    std::string s;
    for (int32_t i = 0; i < sheet.GetSelectionCount(); ++i)
      s += sheet.GetCellName(sheet.GetSelectedCell(i));
    return s;
  }

  // Every cell's position in the list must agree with a look-up through the list.
  void ExpectConsistent() {
    for (int32_t i = 0; i < sheet.Count(); ++i) {
      TCell* cell = sheet.GetCell(i);
      EXPECT_EQ(sheet.Find(sheet.GetCellName(cell)), cell);
    }
  }

  TMivora sheet{nullptr};
};

} // namespace

TEST_F(Selecting, SelectTakesPatternsInOrderAndCellsInStackingOrder) {
  sheet.AddCell("AB", 0, 0, 1, 1);
  EXPECT_EQ(sheet.Select("B;A*"), Cell("B"));
  EXPECT_EQ(Selected(), "BAAB");
}

TEST_F(Selecting, ACellMatchedTwiceKeepsItsFirstPlace) {
  sheet.Select("C;B;C;*");
  EXPECT_EQ(Selected(), "CBAD");
}

TEST_F(Selecting, SelectReplacesTheSelection) {
  sheet.AddToSelection(Cell("D"), false);
  EXPECT_EQ(sheet.Select("A"), Cell("A"));
  EXPECT_EQ(Selected(), "A");
  EXPECT_EQ(sheet.Select(""), nullptr);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  sheet.Select("A");
  EXPECT_EQ(sheet.Select("nothing;X*"), nullptr);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
}

TEST_F(Selecting, EmptyItemsBetweenSeparatorsMatchTheEmptyNameOnly) {
  sheet.AddCell("", 0, 0, 1, 1);
  sheet.Select("A;;B");
  EXPECT_EQ(sheet.GetSelectionCount(), 3);
  EXPECT_EQ(sheet.GetSelectedCell(1), sheet.Find(""));
  // A separator at the end yields no item.
  sheet.Select("A;");
  EXPECT_EQ(Selected(), "A");
  // Items are not trimmed.
  EXPECT_EQ(sheet.Select(" A"), nullptr);
}


TEST_F(Selecting, MovingOneCellKeepsTheOthersInOrder) {
  sheet.BringToFront(Cell("B"));
  EXPECT_EQ(Order(), "ACDB");
  sheet.SendToBack(Cell("D"));
  EXPECT_EQ(Order(), "DACB");
  sheet.BringToFront(Cell("B"));
  sheet.SendToBack(Cell("D"));
  EXPECT_EQ(Order(), "DACB");
  ExpectConsistent();
}

TEST_F(Selecting, MovingTheSelectionToTheFrontKeepsSelectionOrder) {
  sheet.Select("A;B");
  sheet.BringToFront(nullptr);
  EXPECT_EQ(Order(), "CDAB");
  sheet.SendToBack(nullptr);
  EXPECT_EQ(Order(), "BACD");
  ExpectConsistent();
}

TEST_F(Selecting, MovingTheSelectionMatchesMovingEachCellInTurn) {
  sheet.AddCell("E", 0, 0, 1, 1);
  sheet.Select("D;B;E");
  sheet.MoveCell(nullptr, true);
  EXPECT_EQ(Order(), "ACDBE");
  sheet.Select("C;E;A");
  sheet.MoveCell(nullptr, false);
  EXPECT_EQ(Order(), "AECDB");
  EXPECT_EQ(Selected(), "CEA");
  ExpectConsistent();
}


TEST_F(Selecting, MovingACellNotInTheSheetIsRefused) {
  TCell* gone = Cell("B");
  sheet.Remove(gone);
  EXPECT_THROW_MSG(sheet.BringToFront(gone), ECellError, "Invalid cell");
  TMivora other(nullptr);
  TCell* foreign = other.AddCell("X", 0, 0, 1, 1);
  EXPECT_THROW_MSG(sheet.SendToBack(foreign), ECellError, "Invalid cell");
  EXPECT_EQ(Order(), "ACD");
}

TEST_F(Selecting, MovingASelectionWithAStrangerChangesNothing) {
  TMivora other(nullptr);
  TCell* foreign = other.AddCell("X", 0, 0, 1, 1);
  sheet.AddToSelection(Cell("A"), true);
  sheet.AddToSelection(foreign, false);
  sheet.AddToSelection(Cell("B"), false);
  EXPECT_THROW_MSG(sheet.BringToFront(nullptr), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.SendToBack(nullptr), ECellError, "Invalid cell");
  EXPECT_EQ(Order(), "ABCD");
}

TEST_F(Selecting, RenamedSelectedCellStaysSelectedInPlace) {
  sheet.Select("B;C");
  Cell("B")->SetName("Q");
  EXPECT_EQ(Selected(), "QC");
}

TEST_F(Selecting, MovedCellsAreFoundAndRemovedCorrectly) {
  sheet.Select("A;C");
  sheet.BringToFront(nullptr);
  sheet.Remove(Cell("A"));
  EXPECT_EQ(Order(), "BDC");
  sheet.SendToBack(Cell("C"));
  sheet.Remove(Cell("D"));
  EXPECT_EQ(Order(), "CB");
  ExpectConsistent();
}
