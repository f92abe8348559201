#include "Mivora.h"

#include "Application.h"
#include "CountedContent.h"
#include "Picture.h"
#include "RichEdit.h"
#include "TestSupport.h"

namespace mivora {
namespace {

using test::CountedGraphic;
using test::CountedRichEdit;

class CellTest : public test::CountedContentTest {};

TEST_F(CellTest, FreshCellHasTheDocumentedDefaults) {
  TCell cell(&sheet);
  EXPECT_EQ(cell.CellType(), ctText);
  EXPECT_EQ(cell.Text(), "");
  EXPECT_EQ(cell.GetGraphic(), nullptr);
  EXPECT_EQ(cell.GetRichEdit(), nullptr);
  EXPECT_EQ(cell.GetWidth(), 0.0f);
  EXPECT_EQ(cell.GetHeight(), 0.0f);
  for (TEdge e : {edLeft, edTop, edRight, edBottom}) {
    EXPECT_EQ(cell.GetPenStyle(e), psClear);
    EXPECT_EQ(cell.GetPenColor(e), clBlack);
    EXPECT_EQ(cell.GetPenWidth(e), 1);
  }
  EXPECT_EQ(cell.Alignment, 2);
  EXPECT_EQ(cell.Layout, 1);
  EXPECT_TRUE(cell.WordWrap);
  EXPECT_FALSE(cell.ShrinkToFit);
  EXPECT_TRUE(cell.Stretch);
  EXPECT_TRUE(cell.Visible);
  EXPECT_TRUE(cell.CheckBounds);
  EXPECT_EQ(cell.Font.Name.Str(), "Arial");
  EXPECT_EQ(cell.Brush.Style, bsClear);
  EXPECT_EQ(cell.Sheet(), &sheet);
}

TEST_F(CellTest, ContentSettersDisposeOfTheOldContent) {
  TCell cell(&sheet);
  cell.SetGraphic(new CountedGraphic);
  EXPECT_EQ(cell.CellType(), ctGraphic);
  EXPECT_EQ(CountedGraphic::Alive, 1);

  cell.SetText("hello");
  EXPECT_EQ(CountedGraphic::Alive, 0);
  EXPECT_EQ(cell.GetGraphic(), nullptr);
  EXPECT_EQ(cell.Text(), "hello");

  cell.SetCellType(ctText);
  EXPECT_EQ(cell.Text(), "") << "setting the type again empties the text";

  cell.SetGraphic(nullptr);
  EXPECT_EQ(cell.CellType(), ctGraphic);
  EXPECT_EQ(cell.GetGraphic(), nullptr);

  auto* edit = new CountedRichEdit;
  cell.SetRichEdit(edit);
  EXPECT_EQ(cell.GetRichEdit(), edit);
  EXPECT_EQ(cell.GetGraphic(), nullptr);
  cell.SetGraphic(new CountedGraphic);
  EXPECT_EQ(CountedRichEdit::Alive, 0);
  EXPECT_EQ(cell.GetRichEdit(), nullptr);

  cell.FreeObject();
  EXPECT_EQ(cell.CellType(), ctGraphic);
  EXPECT_EQ(CountedGraphic::Alive, 0);
}

TEST_F(CellTest, HandingOverTheHeldObjectAgainKeepsIt) {
  TCell cell(&sheet);
  auto* picture = new CountedGraphic;
  cell.SetGraphic(picture);
  cell.SetGraphic(picture);
  EXPECT_EQ(CountedGraphic::Alive, 1);
  EXPECT_EQ(cell.GetGraphic(), picture);
  EXPECT_EQ(cell.GetGraphic()->Width(), 10);

  auto* edit = new CountedRichEdit;
  cell.SetRichEdit(edit);
  cell.SetRichEdit(edit);
  EXPECT_EQ(CountedRichEdit::Alive, 1);
  EXPECT_EQ(cell.GetRichEdit(), edit);
}

TEST_F(CellTest, DestroyingTheCellFreesItsContent) {
  {
    TCell cell(&sheet);
    cell.SetGraphic(new CountedGraphic);
  }
  EXPECT_EQ(CountedGraphic::Alive, 0);
  {
    TCell cell(nullptr);
    cell.SetRichEdit(new CountedRichEdit);
  }
  EXPECT_EQ(CountedRichEdit::Alive, 0);
}

TEST_F(CellTest, RichEditWithoutParentIsHiddenOnTheMainForm) {
  TCell cell(&sheet);
  auto* edit = new CountedRichEdit;
  cell.SetRichEdit(edit);
  EXPECT_FALSE(edit->Visible());
  EXPECT_EQ(edit->Parent(), Application->MainForm());

  TForm form(nullptr);
  auto* parented = new CountedRichEdit;
  parented->SetParent(&form);
  cell.SetRichEdit(parented);
  EXPECT_EQ(CountedRichEdit::Alive, 1);
  EXPECT_TRUE(parented->Visible());
  EXPECT_EQ(parented->Parent(), &form);
}

TEST_F(CellTest, RichEditOwnedByAComponentIsDestroyedOnceByTheCell) {
  auto owner = std::make_unique<TComponent>(nullptr);
  {
    TCell cell(&sheet);
    cell.SetRichEdit(new CountedRichEdit(owner.get()));
    EXPECT_EQ(owner->ComponentCount(), 0);
  }
  EXPECT_EQ(CountedRichEdit::Alive, 0);
  owner.reset(); // must not destroy the control a second time
}

TEST_F(CellTest, PenAccessorsTreatBordersAsAllWhenWritingAndLeftWhenReading) {
  TCell cell(&sheet);
  cell.SetPenWidth(edBorders, 3);
  for (TEdge e : {edLeft, edTop, edRight, edBottom}) EXPECT_EQ(cell.GetPenWidth(e), 3);

  cell.SetPenColor(edTop, 0x0000FF);
  EXPECT_EQ(cell.GetPenColor(edTop), 0x0000FFu);
  EXPECT_EQ(cell.GetPenColor(edBorders), clBlack);

  cell.SetPenStyle(edLeft, psSolid);
  EXPECT_EQ(cell.GetPenStyle(edBorders), psSolid);
  EXPECT_EQ(cell.GetPenStyle(edRight), psClear);

  TPenData data{7, 0x00FF00, 5, psDash};
  cell.SetPenData(edBottom, data);
  EXPECT_EQ(cell.GetPenData(edBottom), data);
  EXPECT_EQ(cell.GetPenData(edBottom).Reserved, 7u) << "only SetPenData carries the reserved word";
  cell.SetPenData(edBorders, data);
  EXPECT_EQ(cell.GetPenData(edLeft), data);
}

TEST_F(CellTest, EdgeSettersKeepFractionsOutsidePixels) {
  TCell* cell = sheet.AddCell("A", 0, 0, 100, 100);
  cell->SetLeft(10.7f);
  EXPECT_EQ(cell->Left(), 10.7f);
  cell->CheckBounds = false;
  cell->SetLeft(-3.7f);
  EXPECT_EQ(cell->Left(), -3.7f);
}

TEST_F(CellTest, EdgeSettersRejectCrossingEdgesWithTheirSuffix) {
  TCell* cell = sheet.AddCell("Header", 1, 1, 2, 2); // 1..3 both ways
  cell->SetLeft(3.0f);
  EXPECT_EQ(cell->Left(), 3.0f) << "an edge equal to its opposite is accepted";
  EXPECT_THROW_MSG(cell->SetLeft(3.0001f), ECellError, "Invalid property error - Header.Left");
  EXPECT_EQ(cell->Left(), 3.0f);
  EXPECT_THROW_MSG(cell->SetTop(3.5f), ECellError, "Invalid property error - Header.Top");
  EXPECT_THROW_MSG(cell->SetRight(2.0f), ECellError, "Invalid property error - Header.Right");
  EXPECT_THROW_MSG(cell->SetBottom(0.5f), ECellError, "Invalid property error - Header.Bottom");
  EXPECT_THROW_MSG(cell->SetWidth(-0.5f), ECellError, "Invalid property error - Header.Width");
  EXPECT_THROW_MSG(cell->SetHeight(-1.0f), ECellError, "Invalid property error - Header.Height");
  EXPECT_EQ(cell->Right(), 3.0f);
  EXPECT_EQ(cell->Bottom(), 3.0f);

  cell->SetWidth(0.0f);
  EXPECT_EQ(cell->Right(), cell->Left());

  cell->CheckBounds = false;
  cell->SetLeft(50.0f);
  EXPECT_EQ(cell->Left(), 50.0f) << "no validation while CheckBounds is off";
}

TEST_F(CellTest, DetachedCellIgnoresEdgesAndCannotBeRenamed) {
  TCell cell(nullptr);
  cell.SetLeft(5.0f);
  EXPECT_EQ(cell.Left(), 0.0f);
  EXPECT_EQ(cell.GetName(), "");
  EXPECT_THROW_MSG(cell.SetName("X"), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(cell.SetHeight(-1.0f), ECellError, "Invalid property error - .Height");
  cell.SetText("still holds content");
  EXPECT_EQ(cell.Text(), "still holds content");
}

TEST_F(CellTest, RemovedCellReportsInvalidCellInsteadOfItsName) {
  TCell* cell = sheet.AddCell("Gone", 0, 0, 1, 1);
  sheet.Remove(cell);
  EXPECT_THROW_MSG(cell->GetName(), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(cell->SetName("Back"), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(cell->SetWidth(-1.0f), ECellError, "Invalid cell");
  cell->SetWidth(4.0f);
  EXPECT_EQ(cell->Right(), 4.0f) << "accepted values are still stored";
}

} // namespace
} // namespace mivora
