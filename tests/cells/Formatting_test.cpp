#include "Mivora.h"

#include "TestSupport.h"

#include <string>

using namespace mivora;

namespace {

TPenData Pen(TColor Color, uint8_t Style, int32_t Width) {
  TPenData pen;
  pen.Color = Color;
  pen.Style = Style;
  pen.Width = Width;
  return pen;
}

class Formatting : public ::testing::Test {
protected:
  TMivora sheet{nullptr};
};

} // namespace

TEST_F(Formatting, WithoutSelectionCommandsChangeOnlyTheCurrentSettings) {
  TCell* old = sheet.AddCell("Old", 0, 0, 1, 1);
  sheet.SetAlignment(0);
  sheet.SetLayout(2);
  sheet.SetOrientation(toVertical);
  sheet.SetTextProperties(true, false);
  sheet.SetBrush(0x123456, bsSolid);
  EXPECT_EQ(old->Alignment, 2);
  EXPECT_EQ(old->Layout, 1);
  EXPECT_EQ(old->Orientation, toHorizontal);
  EXPECT_EQ(old->Brush, DefaultBrushData);

  TCell* fresh = sheet.AddCell("New", 0, 0, 1, 1);
  EXPECT_EQ(fresh->Alignment, 0);
  EXPECT_EQ(fresh->Layout, 2);
  EXPECT_EQ(fresh->Orientation, toVertical);
  EXPECT_TRUE(fresh->ShrinkToFit);
  EXPECT_FALSE(fresh->WordWrap);
  EXPECT_EQ(fresh->Brush.Color, 0x123456u);
  EXPECT_EQ(fresh->Brush.Style, bsSolid);
}

TEST_F(Formatting, WithSelectionCommandsChangeTheSelectedCellsOnly) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 0, 0, 1, 1);
  TCell* c = sheet.AddCell("C", 0, 0, 1, 1);
  sheet.Select("A;C");
  sheet.SetFont("Courier New", 0x0000FF, 0.5f, fsBold | fsItalic);
  sheet.SetAlignment(7); // stored unchecked
  for (TCell* cell : {a, c}) {
    EXPECT_EQ(cell->Font.Name, TFontName("Courier New"));
    EXPECT_EQ(cell->Font.Color, 0x0000FFu);
    EXPECT_EQ(cell->Font.Height, 0.5f);
    EXPECT_EQ(cell->Font.Style, fsBold | fsItalic);
    EXPECT_EQ(cell->Alignment, 7);
  }
  EXPECT_EQ(b->Font, DefaultFontData);
  EXPECT_EQ(sheet.CurrentFont, DefaultFontData);
  EXPECT_EQ(sheet.CurrentAlignment, 2);
}

TEST_F(Formatting, SetFontCutsLongNamesAndKeepsPitchAndCharset) {
  sheet.CurrentFont.Pitch = 2;
  sheet.CurrentFont.Charset = 77;
  const std::string name(40, 'x');
  sheet.SetFont(name, clBlack, 3, 0);
  EXPECT_EQ(sheet.CurrentFont.Name.Str(), std::string(31, 'x'));
  EXPECT_EQ(sheet.CurrentFont.Pitch, 2);
  EXPECT_EQ(sheet.CurrentFont.Charset, 77);
}

TEST_F(Formatting, CurrentPensAreSetAndClearedKeepingColourAndWidth) {
  sheet.SetEdges(edAll, 0x0000FF, psDash, 4);
  sheet.SetEdges(edTop, 0x00FF00, psSolid, 2);
  EXPECT_EQ(sheet.CurrentPens[edTop], Pen(0x00FF00, psSolid, 2));
  EXPECT_EQ(sheet.CurrentPens[edLeft], Pen(0x0000FF, psDash, 4));

  sheet.SetEdgesWR(edTop, 0xFF0000, psDot, 3);
  EXPECT_EQ(sheet.CurrentPens[edTop], Pen(0xFF0000, psDot, 3));
  for (TEdge e : {edLeft, edRight, edBottom}) EXPECT_EQ(sheet.CurrentPens[e], Pen(0x0000FF, psClear, 4));

  sheet.SetEdgesWR({}, 0, psSolid, 9);
  for (TEdge e : {edLeft, edTop, edRight, edBottom}) EXPECT_EQ(sheet.CurrentPens[e].Style, psClear);
  EXPECT_EQ(sheet.CurrentPens[edTop].Width, 3);

  sheet.SetEdges(edBorders, 0x00FFFF, psSolid, 5);
  for (TEdge e : {edLeft, edTop, edRight, edBottom})
    EXPECT_EQ(sheet.CurrentPens[e], Pen(0x00FFFF, psSolid, 5));
}

TEST_F(Formatting, SelectedCellsGetPensAndClearedEdgesTheDefaultPen) {
  TCell* a = sheet.AddCell("A", 0, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 5, 5, 1, 1);
  sheet.Select("*");
  sheet.SetEdges({edLeft, edBottom}, 0x0000FF, psSolid, 3);
  for (TCell* cell : {a, b}) {
    EXPECT_EQ(cell->GetPenData(edLeft), Pen(0x0000FF, psSolid, 3));
    EXPECT_EQ(cell->GetPenData(edBottom), Pen(0x0000FF, psSolid, 3));
    EXPECT_EQ(cell->GetPenData(edTop), DefaultPenData);
  }
  sheet.SetEdgesWR({}, 0x0000FF, psSolid, 3);
  for (TCell* cell : {a, b})
    for (TEdge e : {edLeft, edTop, edRight, edBottom}) EXPECT_EQ(cell->GetPenData(e), DefaultPenData);
  EXPECT_EQ(sheet.CurrentPens[edLeft], DefaultPenData);
}

TEST_F(Formatting, BordersOutlineABlockOfSelectedCells) {
  // A 2 x 2 block: every cell has two outer and two inner edges.
  TCell* tl = sheet.AddCell("TL", 0, 0, 1, 1);
  TCell* tr = sheet.AddCell("TR", 1, 0, 1, 1);
  TCell* bl = sheet.AddCell("BL", 0, 1, 1, 1);
  TCell* br = sheet.AddCell("BR", 1, 1, 1, 1);
  const TPenData inner = Pen(0x808080, psDot, 1);
  for (TCell* cell : {tl, tr, bl, br})
    for (TEdge e : {edLeft, edTop, edRight, edBottom}) cell->SetPenData(e, inner);
  sheet.Select("*");

  const TPenData outline = Pen(0x0000FF, psSolid, 4);
  sheet.SetEdges(edBorders, 0x0000FF, psSolid, 4);
  EXPECT_EQ(tl->GetPenData(edLeft), outline);
  EXPECT_EQ(tl->GetPenData(edTop), outline);
  EXPECT_EQ(tl->GetPenData(edRight), inner);
  EXPECT_EQ(tl->GetPenData(edBottom), inner);
  EXPECT_EQ(br->GetPenData(edRight), outline);
  EXPECT_EQ(br->GetPenData(edBottom), outline);
  EXPECT_EQ(br->GetPenData(edLeft), inner);

  sheet.SetEdgesWR(TEdges{edBorders, edLeft}, 0x0000FF, psSolid, 4);
  EXPECT_EQ(tr->GetPenData(edTop), outline);
  EXPECT_EQ(tr->GetPenData(edRight), outline);
  EXPECT_EQ(tr->GetPenData(edLeft), DefaultPenData);
  EXPECT_EQ(tr->GetPenData(edBottom), DefaultPenData);
}

TEST_F(Formatting, OutlineComparesEdgesExactly) {
  TCell* a = sheet.AddCell("A", 1.0f, 0, 1, 1);
  TCell* b = sheet.AddCell("B", 1.0000001f, 1, 1, 1);
  sheet.Select("*");
  sheet.SetEdges(edBorders, 0x0000FF, psSolid, 2);
  EXPECT_EQ(a->GetPenStyle(edLeft), psSolid);
  EXPECT_EQ(b->GetPenStyle(edLeft), psClear);

  sheet.Select("A");
  sheet.SetEdgesWR(edBorders, 0x00FF00, psSolid, 2);
  for (TEdge e : {edLeft, edTop, edRight, edBottom}) EXPECT_EQ(a->GetPenColor(e), 0x00FF00u);
}

TEST_F(Formatting, CopyFormatCopiesTheFormatToTheOtherSelectedCells) {
  TCell* source = sheet.AddText("S", "keep", 0, 0, 1, 1);
  TCell* target = sheet.AddText("T", "mine", 2, 2, 1, 1);
  source->Alignment = 0;
  source->Layout = 2;
  source->Orientation = toVertical;
  source->ShrinkToFit = true;
  source->WordWrap = false;
  source->Brush.Color = 0x010203;
  source->Font.Name = "Courier New";
  source->SetPenData(edBorders, Pen(0x0000FF, psSolid, 6));
  source->Visible = false;
  TPenData targetPen = Pen(0x00FF00, psDash, 2);
  target->SetPenData(edBorders, targetPen);
  sheet.Select("*");

  sheet.CopyFormat(source, true);
  EXPECT_EQ(target->Alignment, 0);
  EXPECT_EQ(target->Layout, 2);
  EXPECT_EQ(target->Orientation, toVertical);
  EXPECT_TRUE(target->ShrinkToFit);
  EXPECT_FALSE(target->WordWrap);
  EXPECT_EQ(target->Brush, source->Brush);
  EXPECT_EQ(target->Font, source->Font);
  EXPECT_EQ(target->GetPenData(edTop), targetPen);
  // Not part of the format.
  EXPECT_EQ(target->Text(), "mine");
  EXPECT_TRUE(target->Visible);
  EXPECT_EQ(target->Left(), 2.0f);

  sheet.CopyFormat(source, false);
  EXPECT_EQ(target->GetPenData(edTop), Pen(0x0000FF, psSolid, 6));
  EXPECT_EQ(source->Text(), "keep");
}

TEST_F(Formatting, CopyFormatNeedsASource) {
  sheet.AddCell("A", 0, 0, 1, 1);
  sheet.Select("A");
  EXPECT_THROW_MSG(sheet.CopyFormat(nullptr, false), ECellError, "Invalid cell");
  // A source from outside the sheet is fine.
  TCell loose(nullptr);
  loose.Alignment = 1;
  sheet.CopyFormat(&loose, false);
  EXPECT_EQ(sheet.Find("A")->Alignment, 1);
}

TEST_F(Formatting, FillTextGivesTextsInSelectionOrder) {
  sheet.AddCell("A", 0, 0, 1, 1);
  sheet.AddCell("B", 0, 0, 1, 1);
  TCell* c = sheet.AddGraphic("C", nullptr, 0, 0, 1, 1);
  sheet.Select("B;C;A");
  sheet.FillText({"one", "two"});
  EXPECT_EQ(sheet.Find("B")->Text(), "one");
  EXPECT_EQ(c->Text(), "two");
  EXPECT_EQ(c->CellType(), ctText);
  EXPECT_EQ(sheet.Find("A")->Text(), "");

  sheet.FillText({"1", "2", "3", "4"});
  EXPECT_EQ(sheet.Find("A")->Text(), "3");
}
