#include "Mivora.h"

#include "Canvas.h"
#include "Gdi.h"
#include "Picture.h"
#include "Printer.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

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

TEST_F(CellPrintingTest, SolidBrushFillsOnceWithoutOutline) {
  sheet.SetBrush(0x0000FF, bsSolid);
  sheet.AddText("A", "", 10, 20, 100, 50);
  sheet.Print("job");
  // The opaque fill hides what lies beneath by itself: nothing is painted before
  // it. Clear edges still go through the line code, which draws them invisibly.
  ASSERT_EQ(Ops(), (std::vector<std::string>{"Rectangle", "MoveTo", "LineTo", "MoveTo", "LineTo",
                                             "MoveTo", "LineTo", "MoveTo", "LineTo"}));
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

// Cells on a PNG page, where every pixel can be checked.
class CellPixelsTest : public test::PrinterFixture {
protected:
  // A picture of Width x Height pixels whose left half is opaque blue and right
  // half half-transparent green, so that a fill beneath shows through it.
  static TBitmapGraphic* HalfTransparentPicture(int32_t Width, int32_t Height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(Width) * static_cast<size_t>(Height));
    for (int32_t y = 0; y < Height; ++y)
      for (int32_t x = 0; x < Width; ++x)
        pixels[static_cast<size_t>(y * Width + x)] = x < Width / 2 ? 0xFF0000FFu : 0x8000C000u;
    return new TBitmapGraphic(Width, Height, pixels);
  }

  // Overlapping cells of every kind of fill: solid over solid, clear over solid,
  // solid over clear, pictures with transparent pixels over fills and over
  // nothing, solid and dashed edges of several widths.
  void BuildScene(TMivora& Sheet) {
    Sheet.SetMeasurement(mtPixels);
    Sheet.SetFont("Arial", clBlack, 24, 0);
    // Each cell gets its fill and edges of its own.
    auto style = [](TCell* Cell, TColor Fill, uint8_t FillStyle, TPenData Edge) {
      Cell->Brush = TBrushData{0, Fill, 0, FillStyle};
      Cell->SetPenData(edBorders, Edge);
      return Cell;
    };
    style(Sheet.AddText("Under", "Under", 10, 10, 200, 120), 0x3030E0, bsSolid, TPenData{0, 0, 3, psSolid});
    style(Sheet.AddText("Clear", "Clear over", 60, 40, 200, 120), clWhite, bsClear,
          TPenData{0, 0x008000, 1, psDash});
    style(Sheet.AddText("Over", "Over both", 120, 90, 180, 100), 0xF0E0C0, bsSolid,
          TPenData{0, 0xC00000, 2, psSolid});
    style(Sheet.AddGraphic("Picture", HalfTransparentPicture(80, 60), 40, 150, 120, 90), 0x00FFFF, bsSolid,
          TPenData{});
    style(Sheet.AddGraphic("Floating", HalfTransparentPicture(60, 40), 150, 60, 60, 40), clWhite, bsClear,
          TPenData{});
    style(Sheet.AddText("White", "White", 230, 170, 80, 60), clWhite, bsSolid, TPenData{0, 0, 1, psSolid});
  }

  test::TImage Render(const std::string& Name, bool PrintEdgesLast, bool WhiteBeneathFills) {
    const std::string png = UsePng(Name, 300, 30, 25);
    TMivora sheet(nullptr);
    BuildScene(sheet);
    sheet.PrintEdgesLast = PrintEdgesLast;
    printer->BeginDoc();
    if (!WhiteBeneathFills) {
      sheet.PrintPage();
    } else {
      // The same page with white painted under every filled cell just before it prints.
      std::vector<TCell*> cells;
      for (const std::string name : {"Under", "Clear", "Over", "Picture", "Floating", "White"})
        cells.push_back(sheet.Find(name));
      for (TCell* cell : cells) {
        if (cell->Brush.Style != bsClear) {
          TRect r;
          int32_t fontHeight = 0;
          sheet.TransformCellBounds(cell, r.Left, r.Top, r.Right, r.Bottom, fontHeight);
          canvas->Brush()->SetColor(clWhite);
          canvas->Brush()->SetStyle(bsSolid);
          ExtTextOutA(canvas->GetHandle(), r.Left, r.Top, ETO_OPAQUE, &r, "", 0, nullptr);
        }
        cell->Print();
      }
      if (PrintEdgesLast)
        for (TCell* cell : cells) cell->PrintEdges();
    }
    return EndAndLoad(png);
  }
};

TEST_F(CellPixelsTest, FilledCellsHideWhatLiesBeneathAsIfWhiteWerePaintedFirst) {
  for (const bool edgesLast : {true, false}) {
    SCOPED_TRACE(edgesLast ? "edges last" : "edges with each cell");
    const test::TImage page = Render("page", edgesLast, false);
    const test::TImage whiteFirst = Render("white-first", edgesLast, true);
    EXPECT_TRUE(test::ImagesMatch(page, whiteFirst, edgesLast ? "fills-edges-last" : "fills-edges-each"));
    // The scene shows what it should: the lower cell's fill is hidden where the
    // upper one lies, and shows through the picture's transparent half.
    EXPECT_EQ(page.PixelAt(250, 150), 0xF0E0C0u) << "Over's fill on top of Under";
    EXPECT_NE(page.PixelAt(150, 200), 0x00C000u) << "the picture's green half is blended with its fill";
    EXPECT_NE(page.PixelAt(150, 200), 0x00FFFFu);
  }
}

} // namespace
} // namespace mivora
