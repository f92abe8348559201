#include "Mivora.h"

#include "Application.h"
#include "CountedContent.h"
#include "Picture.h"
#include "RichEdit.h"
#include "TestSupport.h"

#include <vector>

namespace mivora {
namespace {

using test::CountedGraphic;
using test::CountedRichEdit;

// Captures what the application's exception handler receives.
class ApplicationHandlerSpy {
public:
  ApplicationHandlerSpy() {
    Application->OnException = [this](TObject* Sender, const std::exception& E) {
      senders.push_back(Sender);
      messages.emplace_back(E.what());
    };
  }
  ~ApplicationHandlerSpy() { Application->OnException = nullptr; }
  std::vector<TObject*> senders;
  std::vector<std::string> messages;
};

std::vector<std::string> Names(const TMivora& sheet) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < sheet.Count(); ++i) names.push_back(sheet.GetCellName(sheet.GetCell(i)));
  return names;
}

std::vector<TCell*> Selection(const TMivora& sheet) {
  std::vector<TCell*> cells;
  for (int32_t i = 0; i < sheet.GetSelectionCount(); ++i) cells.push_back(sheet.GetSelectedCell(i));
  return cells;
}

class SheetTest : public test::CountedContentTest {};

TEST_F(SheetTest, NewSheetHasItsDefaults) {
  EXPECT_EQ(sheet.Measurement(), mtCentimeters);
  EXPECT_TRUE(sheet.PrintEdgesLast);
  EXPECT_EQ(sheet.Count(), 0);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  EXPECT_EQ(sheet.CurrentAlignment, 2);
  EXPECT_EQ(sheet.CurrentLayout, 1);
  EXPECT_TRUE(sheet.CurrentWordWrap);
  EXPECT_FALSE(sheet.CurrentShrinkToFit);
  EXPECT_EQ(sheet.CurrentFont, DefaultFontData);
}

TEST_F(SheetTest, SheetIsDestroyedWithItsOwner) {
  auto* owner = new TComponent(nullptr);
  auto* owned = new TMivora(owner);
  owned->AddText("A", "x", 0, 0, 1, 1);
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner; // ASan reports a leak or double free if ownership is wrong
}

TEST_F(SheetTest, NamesAreUniqueIgnoringLetterCaseAndKeepTheirSpelling) {
  TCell* a = sheet.AddCell("Total", 0, 0, 1, 1);
  EXPECT_THROW_MSG(sheet.AddCell("TOTAL", 0, 0, 1, 1), ECellError, "Cell \"TOTAL\" already exists");
  EXPECT_EQ(sheet.Find("total"), a);
  EXPECT_EQ(sheet.GetCellName(a), "Total");
  EXPECT_EQ(a->GetName(), "Total");
  EXPECT_THROW_MSG(sheet.Find("Sum"), ECellError, "Cell \"Sum\" not found");
}

TEST_F(SheetTest, LetterCaseIsIgnoredBeyondAscii) {
  TCell* cell = sheet.AddCell("Größe", 0, 0, 1, 1);
  EXPECT_THROW(sheet.Find("GRÖSSE"), ECellError) << "no expansion of ß";
  EXPECT_EQ(sheet.Find("GRößE"), cell);
  EXPECT_THROW_MSG(sheet.AddCell("ГОРОД", 0, 0, 1, 1); sheet.AddCell("город", 0, 0, 1, 1),
                   ECellError, "Cell \"город\" already exists");
  // A byte that is not UTF-8 is read as Windows-1252: 0xC9 is É, the same name as é.
  sheet.AddCell(std::string("caf\xC9"), 0, 0, 1, 1);
  EXPECT_EQ(sheet.GetCellName(sheet.Find("café")), std::string("caf\xC9"));
}

TEST_F(SheetTest, EmptyNameIsAcceptedOnce) {
  TCell* cell = sheet.AddCell("", 0, 0, 1, 1);
  EXPECT_EQ(sheet.Find(""), cell);
  EXPECT_THROW_MSG(sheet.AddCell("", 0, 0, 1, 1), ECellError, "Cell \"\" already exists");
}

TEST_F(SheetTest, AddCellSetsGeometryAndAppendsInFront) {
  sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 1.5f, 2.5f, 3, 4);
  EXPECT_EQ(sheet.GetCell(sheet.Count() - 1), b);
  EXPECT_EQ(sheet.GetCell(sheet.Count()), nullptr);
  EXPECT_EQ(sheet.GetCell(99), nullptr);
  EXPECT_EQ(b->Left(), 1.5f);
  EXPECT_EQ(b->Top(), 2.5f);
  EXPECT_EQ(b->Right(), 4.5f);
  EXPECT_EQ(b->Bottom(), 6.5f);
  EXPECT_THROW_MSG(sheet.GetCell(-1), ECellError, "Cell index out of bounds (-1)");
}

TEST_F(SheetTest, RejectedSizeLeavesTheSheetAsItWas) {
  TCell* other = sheet.Add("Other", 0, 0, 1, 1);
  int added = 0;
  sheet.OnAddCell = [&](TObject*, TCell*) { ++added; };
  EXPECT_THROW_MSG(sheet.Add("Header", 0, 0, -2, 1), ECellError,
                   "Invalid property error - Header.Width");
  EXPECT_THROW_MSG(sheet.Add("Header", 0, 0, 2, -1), ECellError,
                   "Invalid property error - Header.Height");
  EXPECT_EQ(sheet.Count(), 1);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(Selection(sheet), std::vector<TCell*>{other});
  EXPECT_THROW_MSG(sheet.Find("Header"), ECellError, "Cell \"Header\" not found");
  EXPECT_NE(sheet.Add("Header", 0, 0, 2, 1), nullptr) << "retrying with a valid size works";

  EXPECT_THROW(sheet.AddGraphic("Pic", new CountedGraphic, 0, 0, -1, 1), ECellError);
  EXPECT_THROW(sheet.AddRichEdit("Rich", new CountedRichEdit, 0, 0, 1, -1), ECellError);
  EXPECT_EQ(CountedGraphic::Alive, 0);
  EXPECT_EQ(CountedRichEdit::Alive, 0);
}

TEST_F(SheetTest, AddFamilySelectsTheNewCellAndGivesItsContent) {
  TCell* text = sheet.AddText("T", "Hello", 0, 0, 1, 1);
  EXPECT_EQ(Selection(sheet), std::vector<TCell*>{text});
  EXPECT_EQ(text->Text(), "Hello");

  auto* picture = new CountedGraphic;
  TCell* pic = sheet.AddGraphic("P", picture, 0, 0, 1, 1);
  EXPECT_EQ(pic->GetGraphic(), picture);
  EXPECT_EQ(Selection(sheet), std::vector<TCell*>{pic});

  auto* edit = new CountedRichEdit;
  TCell* rich = sheet.AddRichEdit("R", edit, 0, 0, 1, 1);
  EXPECT_EQ(rich->GetRichEdit(), edit);
  EXPECT_EQ(rich->CellType(), ctRichEdit);

  EXPECT_THROW_MSG(sheet.AddGraphic("p", new CountedGraphic, 0, 0, 1, 1), ECellError,
                   "Cell \"p\" already exists");
  EXPECT_EQ(CountedGraphic::Alive, 1) << "the refused picture is destroyed";
  TCell* before = sheet.AddCell("Plain", 0, 0, 1, 1);
  EXPECT_EQ(Selection(sheet), std::vector<TCell*>{rich}) << "AddCell leaves the selection";
  (void)before;
}

TEST_F(SheetTest, NewCellsReceiveTheCurrentSettings) {
  sheet.CurrentAlignment = 0;
  sheet.CurrentLayout = 2;
  sheet.CurrentBrush.Style = bsSolid;
  sheet.CurrentBrush.Color = 0x123456;
  sheet.CurrentFont.Name = "Courier New";
  sheet.CurrentFont.Height = 0.5f;
  sheet.CurrentOrientation = toVertical;
  sheet.CurrentPens[edTop] = TPenData{0, 0xFF, 3, psSolid};
  sheet.CurrentShrinkToFit = true;
  sheet.CurrentWordWrap = false;
  TCell* cell = sheet.AddCell("A", 0, 0, 1, 1);
  EXPECT_EQ(cell->Alignment, 0);
  EXPECT_EQ(cell->Layout, 2);
  EXPECT_EQ(cell->Brush, sheet.CurrentBrush);
  EXPECT_EQ(cell->Font, sheet.CurrentFont);
  EXPECT_EQ(cell->Orientation, toVertical);
  EXPECT_EQ(cell->GetPenData(edTop), sheet.CurrentPens[edTop]);
  EXPECT_EQ(cell->GetPenStyle(edLeft), psClear);
  EXPECT_TRUE(cell->ShrinkToFit);
  EXPECT_FALSE(cell->WordWrap);

  sheet.RestoreDefaultSettings();
  EXPECT_EQ(cell->Alignment, 0) << "existing cells keep their format";
  EXPECT_EQ(sheet.CurrentAlignment, 2);
  EXPECT_EQ(sheet.CurrentPens[edTop], DefaultPenData);
}

TEST_F(SheetTest, RenamingFollowsTheNameRules) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 0, 0, 1, 1);
  sheet.AddToSelection(a, true);
  sheet.ChangeCellName(a, "");
  EXPECT_EQ(a->GetName(), "A");
  sheet.ChangeCellName(a, "A");
  EXPECT_THROW_MSG(sheet.ChangeCellName(a, "a"), ECellError, "Cell \"a\" already exists");
  EXPECT_THROW_MSG(a->SetName("b"), ECellError, "Cell \"b\" already exists");
  a->SetName("Alpha");
  EXPECT_EQ(sheet.Find("ALPHA"), a);
  EXPECT_THROW(sheet.Find("A"), ECellError);
  EXPECT_NE(sheet.AddCell("A", 0, 0, 1, 1), nullptr) << "the old name is free again";
  EXPECT_EQ(Names(sheet), (std::vector<std::string>{"Alpha", "B", "A"}));
  EXPECT_EQ(Selection(sheet), std::vector<TCell*>{a}) << "a renamed cell stays selected";
  EXPECT_THROW_MSG(sheet.ChangeCellName(nullptr, "X"), ECellError, "Invalid cell");
  (void)b;
}

TEST_F(SheetTest, RemoveTakesOneCellOrTheSelection) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 0, 0, 1, 1);
  TCell* c = sheet.AddCell("C", 0, 0, 1, 1);
  TCell* d = sheet.AddCell("D", 0, 0, 1, 1);

  sheet.Remove(nullptr); // empty selection: nothing
  EXPECT_EQ(sheet.Count(), 4);

  sheet.AddToSelection(b, false);
  sheet.Remove(b);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  EXPECT_EQ(Names(sheet), (std::vector<std::string>{"A", "C", "D"}));
  EXPECT_THROW_MSG(sheet.Remove(b), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.GetCellName(b), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.GetCellName(nullptr), ECellError, "Invalid cell");

  sheet.AddToSelection(d, false);
  sheet.AddToSelection(a, false);
  sheet.Remove(nullptr);
  EXPECT_EQ(Names(sheet), (std::vector<std::string>{"C"}));
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  EXPECT_EQ(sheet.Find("c"), c);
  EXPECT_NE(sheet.AddCell("a", 0, 0, 1, 1), nullptr) << "names of removed cells are free";
}

TEST_F(SheetTest, RemovingASelectionStopsAtACellNotInTheSheet) {
  TMivora other(nullptr);
  TCell* stranger = other.AddCell("S", 0, 0, 1, 1);
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 0, 0, 1, 1);
  sheet.AddToSelection(a, false);
  sheet.AddToSelection(stranger, false);
  sheet.AddToSelection(b, false);
  EXPECT_THROW_MSG(sheet.Remove(nullptr), ECellError, "Invalid cell");
  EXPECT_EQ(Names(sheet), (std::vector<std::string>{"B"}));
  EXPECT_EQ(Selection(sheet), (std::vector<TCell*>{stranger, b}));
}

TEST_F(SheetTest, SelectionKeepsOrderWithoutDuplicates) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 0, 0, 1, 1);
  TCell* c = sheet.AddCell("C", 0, 0, 1, 1);
  sheet.AddToSelection(b, false);
  sheet.AddToSelection(a, false);
  sheet.AddToSelection(b, false);
  EXPECT_EQ(Selection(sheet), (std::vector<TCell*>{b, a}));
  sheet.AddToSelection(a, true);
  EXPECT_EQ(Selection(sheet), (std::vector<TCell*>{a}));
  sheet.AddToSelection(c, false);
  sheet.RemoveFromSelection(b); // not selected: ignored
  sheet.RemoveFromSelection(a);
  EXPECT_EQ(Selection(sheet), (std::vector<TCell*>{c}));
  EXPECT_EQ(sheet.GetSelectedCell(-1), nullptr);
  EXPECT_EQ(sheet.GetSelectedCell(1), nullptr);
  sheet.AddToSelection(nullptr, false);
  EXPECT_EQ(sheet.GetSelectionCount(), 1) << "null is never selected";
  sheet.RemoveFromSelection(nullptr);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
}

TEST_F(SheetTest, ResetEmptiesTheSheetButKeepsMeasurementAndHandlers) {
  int calls = 0;
  sheet.OnAddCell = [&](TObject*, TCell*) { ++calls; };
  TCell* a = sheet.Add("A", 0, 0, 1, 1);
  sheet.CurrentAlignment = 0;
  sheet.Reset();
  EXPECT_EQ(sheet.Count(), 0);
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
  EXPECT_EQ(sheet.CurrentAlignment, 2);
  EXPECT_EQ(sheet.Measurement(), mtCentimeters);
  EXPECT_THROW_MSG(a->GetName(), ECellError, "Invalid cell"); // a stale pointer stays safe
  sheet.Add("A", 0, 0, 1, 1);
  EXPECT_EQ(calls, 2);
  sheet.PurgeRemovedCells();
}

TEST_F(SheetTest, PurgingDropsDepartedCellsFromTheSelection) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  sheet.Remove(a);
  sheet.AddToSelection(a, false); // the application selects a departed cell
  sheet.PurgeRemovedCells();
  EXPECT_EQ(sheet.GetSelectionCount(), 0);
}

TEST_F(SheetTest, OnAddCellSeesTheBareCellBeforeSelectionAndText) {
  TCell* previous = sheet.Add("Prev", 0, 0, 1, 1);
  std::vector<TCell*> seenSelection;
  std::string seenText = "unset";
  TCellType seenType = ctGraphic;
  TObject* seenSender = nullptr;
  sheet.OnAddCell = [&](TObject* Sender, TCell* NewCell) {
    seenSender = Sender;
    seenText = NewCell->Text();
    seenType = NewCell->CellType();
    seenSelection = Selection(sheet);
  };
  TCell* cell = sheet.AddText("New", "text", 0, 0, 1, 1);
  EXPECT_EQ(seenSender, &sheet);
  EXPECT_EQ(seenText, "");
  EXPECT_EQ(seenType, ctText);
  EXPECT_EQ(seenSelection, std::vector<TCell*>{previous});
  EXPECT_EQ(cell->Text(), "text");
}

TEST_F(SheetTest, RaisingOnAddCellReachesTheApplicationAndTheCellIsReturned) {
  ApplicationHandlerSpy spy;
  sheet.OnAddCell = [](TObject*, TCell*) { throw std::runtime_error("handler failed"); };
  TCell* cell = sheet.Add("A", 0, 0, 1, 1);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(sheet.Find("A"), cell);
  EXPECT_EQ(sheet.GetSelectedCell(0), cell);
  EXPECT_EQ(spy.messages, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(spy.senders, std::vector<TObject*>{&sheet});
}

TEST_F(SheetTest, AssignCurrentSettingsCopiesTheFormatIntoACell) {
  TCell* cell = sheet.AddCell("A", 0, 0, 1, 1);
  sheet.CurrentPens[edRight] = TPenData{1, 2, 3, psSolid};
  sheet.CurrentWordWrap = false;
  sheet.AssignCurrentSettings(cell);
  EXPECT_EQ(cell->GetPenData(edRight), sheet.CurrentPens[edRight]);
  EXPECT_FALSE(cell->WordWrap);
  EXPECT_THROW_MSG(sheet.AssignCurrentSettings(nullptr), ECellError, "Invalid cell");
}

TEST_F(SheetTest, ManyCellsKeepIndexAndLookupsConsistent) {
  constexpr int N = 2000;
  for (int i = 0; i < N; ++i) sheet.AddCell("C" + std::to_string(i), 0, 0, 1, 1);
  for (int i = 0; i < N; i += 3) sheet.Remove(sheet.Find("c" + std::to_string(i)));
  int32_t index = 0;
  for (int i = 0; i < N; ++i) {
    if (i % 3 == 0) continue;
    TCell* cell = sheet.Find("C" + std::to_string(i));
    EXPECT_EQ(sheet.GetCell(index), cell);
    ++index;
  }
  EXPECT_EQ(sheet.Count(), index);
}

} // namespace
} // namespace mivora
