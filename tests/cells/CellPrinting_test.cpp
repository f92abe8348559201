#include "Mivora.h"

#include "Printer.h"
#include "TestSupport.h"


namespace mivora {
namespace {

// Prints on the recording target in pixels, so rectangles read as given.
class CellPrintingTest : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetResolution(600);
    Printer()->SetPaper(paA4);
    sheet.SetMeasurement(mtPixels);
  }

  // The names of the recorded operations between BeginDoc and EndDoc.
  std::vector<std::string> Ops() const {
    std::vector<std::string> names;
    for (const TDrawOp& op : Printer()->RecordedOps())
      if (op.Name != "BeginDoc" && op.Name != "EndDoc") names.push_back(op.Name);
    return names;
  }
  std::vector<TDrawOp> OpsNamed(const std::string& name) const {
    std::vector<TDrawOp> ops;
    for (const TDrawOp& op : Printer()->RecordedOps())
      if (op.Name == name) ops.push_back(op);
    return ops;
  }

  TMivora sheet{nullptr};
};

TEST_F(CellPrintingTest, SolidBrushPaintsWhiteThenFillsWithoutOutline) {
  sheet.SetBrush(0x0000FF, bsSolid);
  sheet.AddText("A", "", 10, 20, 100, 50);
  sheet.Print("job");
  // Clear edges still go through the line code, which draws them invisibly.
  ASSERT_EQ(Ops(), (std::vector<std::string>{"ExtTextOut", "Rectangle", "MoveTo", "LineTo", "MoveTo",
                                             "LineTo", "MoveTo", "LineTo", "MoveTo", "LineTo"}));
  const TDrawOp background = OpsNamed("ExtTextOut").at(0);
  EXPECT_EQ(background.Args, (std::vector<int64_t>{10, 20, 2, 10, 20, 110, 70}));
  const TDrawOp fill = OpsNamed("Rectangle").at(0);
  EXPECT_EQ(fill.Args, (std::vector<int64_t>{10, 20, 110, 70}));
  EXPECT_EQ(fill.Text, "pen clear 1 0x000000, brush solid 0x0000FF");
}

TEST_F(CellPrintingTest, ClearBrushPaintsNothingAndContentGoesOnTop) {
  sheet.AddText("A", "Hello", 10, 20, 400, 200);
  sheet.Print("job");
  EXPECT_TRUE(OpsNamed("ExtTextOut").empty());
  const auto rects = OpsNamed("Rectangle");
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].Text, "pen clear 1 0x000000, brush clear 0xFFFFFF")
      << "the rectangle call leaves no mark";
  const auto texts = OpsNamed("DrawText");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].Text, "Hello");
}

TEST_F(CellPrintingTest, EdgesFollowAllContentsByDefault) {
  sheet.SetEdges(edAll, 0xFF0000, psSolid, 1);
  sheet.AddText("A", "a", 10, 10, 100, 100);
  sheet.AddText("B", "b", 50, 50, 100, 100);
  sheet.Print("job");
  EXPECT_EQ(Ops(), (std::vector<std::string>{
                       "Rectangle", "IntersectClipRect", "DrawText", "SelectClipRgn", // A
                       "Rectangle", "IntersectClipRect", "DrawText", "SelectClipRgn", // B
                       "Rectangle", "Rectangle", "Rectangle", "Rectangle",           // A's edges
                       "Rectangle", "Rectangle", "Rectangle", "Rectangle"}));        // B's edges
}

TEST_F(CellPrintingTest, EdgesFollowEachCellWhenNotDeferred) {
  sheet.PrintEdgesLast = false;
  sheet.SetEdges(edTop, 0xFF0000, psSolid, 1);
  sheet.AddText("A", "a", 10, 10, 100, 100);
  sheet.AddText("B", "b", 50, 50, 100, 100);
  sheet.Print("job");
  const std::vector<std::string> oneCell = {
      "Rectangle", "IntersectClipRect", "DrawText", "SelectClipRgn", // content
      "MoveTo", "LineTo", "Rectangle", "MoveTo", "LineTo", "MoveTo", "LineTo"}; // its edges
  std::vector<std::string> both = oneCell;
  both.insert(both.end(), oneCell.begin(), oneCell.end());
  EXPECT_EQ(Ops(), both);
}

TEST_F(CellPrintingTest, EdgeBarsMeetAtCornersTrimmedToThinnerNeighbours) {
  TCell* cell = sheet.AddCell("A", 100, 100, 100, 100);
  cell->SetPenData(edLeft, TPenData{0, 0x0000FF, 5, psSolid});
  cell->SetPenData(edTop, TPenData{0, 0x00FF00, 1, psSolid});
  sheet.Print("job");
  const auto bars = OpsNamed("Rectangle");
  ASSERT_EQ(bars.size(), 3u) << "fill, left bar, top bar; clear edges draw no bar";
  // Left edge: width 5 against a top of width 1 starts (5 - 1 + 1) / 2 = 2 lower.
  EXPECT_EQ(bars[1].Args, (std::vector<int64_t>{100 - 3, 102 - 3, 100 + 3, 200 + 3}));
  EXPECT_EQ(bars[2].Args, (std::vector<int64_t>{100 - 1, 100 - 1, 200 + 1, 100 + 1}));
}

TEST_F(CellPrintingTest, InvisibleAndDetachedCellsPrintNothing) {
  sheet.SetBrush(0x0000FF, bsSolid);
  sheet.SetEdges(edAll, 0, psSolid, 1);
  TCell* hidden = sheet.AddText("A", "hidden", 10, 10, 100, 100);
  hidden->Visible = false;
  sheet.Print("job");
  EXPECT_TRUE(Ops().empty());

  TCell detached(nullptr);
  detached.SetText("x");
  Printer()->BeginDoc();
  detached.Print();
  detached.PrintEdges();
  hidden->Print();
  hidden->PrintEdges();
  Printer()->EndDoc();
  EXPECT_TRUE(Ops().empty());
}

TEST_F(CellPrintingTest, VerticalTextIgnoresWordWrapAndPicturelessCellsDrawOnlyFrame) {
  TCell* vertical = sheet.AddText("V", "up", 10, 10, 200, 400);
  vertical->Orientation = toVertical;
  vertical->WordWrap = true;
  TCell* pic = sheet.AddGraphic("P", nullptr, 300, 10, 100, 100);
  EXPECT_EQ(pic->CellType(), ctGraphic);
  sheet.Print("job");
  EXPECT_EQ(OpsNamed("ExtTextOut").size(), 1u) << "vertical text is drawn by ExtTextOut";
  EXPECT_TRUE(OpsNamed("DrawText").empty());
  EXPECT_TRUE(OpsNamed("StretchDraw").empty());
  EXPECT_TRUE(OpsNamed("Draw").empty());
}

} // namespace
} // namespace mivora
