#include "MivoraUtils.h"

#include "Canvas.h"
#include "ImageCompare.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <string>
#include <vector>

namespace mivora::test {
namespace {

constexpr TColor Red = 0x0000FF;
constexpr TColor Blue = 0xFF0000;

TPenData Pen(TColor Color, int32_t Width, uint8_t Style = psSolid) {
  TPenData pen;
  pen.Color = Color;
  pen.Width = Width;
  pen.Style = Style;
  return pen;
}

class LinesTest : public PrinterFixture {};

TEST_F(LinesTest, SolidLinesAreBarsReachingBeyondBothEnds) {
  const std::string path = UsePng("bars");
  printer->BeginDoc();
  AssignPen(canvas, Pen(Red, 1));
  LineH(100, 50, 10);
  AssignPen(canvas, Pen(Red, 3));
  LineH(100, 150, 10);
  // The bar left the pen at width 1: the next line is thin again.
  LineH(100, 250, 10);
  AssignPen(canvas, Pen(Blue, 4));
  LineV(300, 100, 20);
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({99, 49, 111, 51}, Red);    // x 99..110, y 49..50
  expected.FillRect({98, 148, 112, 152}, Red);  // x 98..111, y 148..151
  expected.FillRect({99, 249, 111, 251}, Red);
  expected.FillRect({297, 97, 303, 123}, Blue); // width 4: h 2, m 3
  EXPECT_TRUE(ImagesMatch(page, expected, "bars"));
}

TEST_F(LinesTest, SolidBarLeavesASolidThinPenAndABrushOfThePenColour) {
  printer->BeginDoc();
  AssignPen(canvas, Pen(Red, 7));
  canvas->Brush()->SetStyle(bsClear);
  LineH(10, 20, 30);
  EXPECT_EQ(canvas->Pen()->Style(), psSolid);
  EXPECT_EQ(canvas->Pen()->Width(), 1);
  EXPECT_EQ(canvas->Pen()->Color(), Red);
  EXPECT_EQ(canvas->Brush()->Style(), bsSolid);
  EXPECT_EQ(canvas->Brush()->Color(), Red);
  ASSERT_EQ(printer->RecordedOps().size(), 2u);
  EXPECT_EQ(printer->RecordedOps()[1].ToString(),
            "Rectangle(6, 16, 44, 24) \"pen solid 1 0x0000FF, brush solid 0x0000FF\"");
}

TEST_F(LinesTest, DashedVerticalLineStopsBeforeItsLastPixelAndKeepsPenAndBrush) {
  // At 300 dpi dashes are 54 pixels on and 18 off.
  const std::string path = UsePng("dashed");
  printer->BeginDoc();
  AssignPen(canvas, Pen(Red, 1, psDash));
  canvas->Brush()->SetColor(Blue);
  canvas->Brush()->SetStyle(bsClear);
  LineV(20, 10, 40);
  LineV(40, 10, 100);
  EXPECT_EQ(canvas->Pen()->Style(), psDash);
  EXPECT_EQ(canvas->Pen()->Width(), 1);
  EXPECT_EQ(canvas->Pen()->Color(), Red);
  EXPECT_EQ(canvas->Brush()->Style(), bsClear);
  EXPECT_EQ(canvas->Brush()->Color(), Blue);
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({20, 10, 21, 50}, Red);   // y 10..49: the end pixel y 50 stays clear
  expected.FillRect({40, 10, 41, 64}, Red);
  expected.FillRect({40, 82, 41, 110}, Red);
  EXPECT_TRUE(ImagesMatch(page, expected, "dashed"));
}

TEST_F(LinesTest, LineMovesAndDrawsOnThePrinterCanvas) {
  printer->BeginDoc();
  AssignPen(canvas, Pen(Red, 2, psClear));
  Line(1, 2, 3, 4);
  LineH(5, 6, 7);  // a clear pen is not solid: a plain line
  std::vector<std::string> ops;
  for (const TDrawOp& op : printer->RecordedOps()) ops.push_back(op.ToString());
  EXPECT_EQ(ops, (std::vector<std::string>{"BeginDoc()", "MoveTo(1, 2)", "LineTo(3, 4) \"pen clear 2 0x0000FF\"",
                                           "MoveTo(5, 6)", "LineTo(12, 6) \"pen clear 2 0x0000FF\""}));
}

TEST(AdjustLineTest, WideEdgesAreTrimmedOnlyAtThinnerVisibleNeighbours) {
  int32_t start = 0, length = 0;
  AdjustLineX(Pen(0, 5), Pen(0, 1), Pen(0, 1, psClear), {100, 10, 200, 20}, start, length);
  EXPECT_EQ(start, 102);
  EXPECT_EQ(length, 98);

  AdjustLineY(Pen(0, 6), Pen(0, 3, psDot), Pen(0, 1), {0, 50, 0, 80}, start, length);
  EXPECT_EQ(start, 52);   // (6 - 3 + 1) / 2
  EXPECT_EQ(length, 25);  // 80 - 3

  // Neighbours as wide or wider leave both ends where they are.
  AdjustLineX(Pen(0, 4), Pen(0, 4), Pen(0, 9), {-10, 0, 10, 0}, start, length);
  EXPECT_EQ(start, -10);
  EXPECT_EQ(length, 20);
  AdjustLineY(Pen(0, 1), Pen(0, 1), Pen(0, 1), {0, 7, 0, 7}, start, length);
  EXPECT_EQ(start, 7);
  EXPECT_EQ(length, 0);
}

TEST_F(LinesTest, WideEdgeStopsAtAThinNeighbourAndRunsOnPastAClearOne) {
  const std::string path = UsePng("corner");
  const TRect rect{100, 100, 200, 160};
  const TPenData left = Pen(0x000000, 1), top = Pen(Red, 9), right = Pen(0, 1, psClear), bottom = Pen(Blue, 1);
  int32_t start = 0, length = 0;
  printer->BeginDoc();
  AssignPen(canvas, left);
  AdjustLineY(left, top, bottom, rect, start, length);
  LineV(rect.Left, start, length);
  AssignPen(canvas, top);
  AdjustLineX(top, left, right, rect, start, length);
  LineH(start, rect.Top, length);
  AssignPen(canvas, right);
  AdjustLineY(right, top, bottom, rect, start, length);
  LineV(rect.Right, start, length);
  AssignPen(canvas, bottom);
  AdjustLineX(bottom, left, right, rect, start, length);
  LineH(start, rect.Bottom, length);
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({99, 99, 101, 161}, 0x000000);
  // Trimmed by 4 at the thin left edge, so it ends flush with that edge's outer
  // side; untrimmed at the clear right edge, reaching 5 beyond it.
  expected.FillRect({99, 95, 205, 105}, Red);
  expected.FillRect({99, 159, 201, 161}, Blue);
  EXPECT_TRUE(ImagesMatch(page, expected, "corner"));
}

} // namespace
} // namespace mivora::test
