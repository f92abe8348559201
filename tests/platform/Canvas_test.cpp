#include "Canvas.h"

#include "ImageCompare.h"
#include "Picture.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

constexpr TColor Red = 0x0000FF;
constexpr TColor Blue = 0xFF0000;
constexpr TColor Green = 0x00FF00;

class CanvasTest : public PrinterFixture {};

TEST_F(CanvasTest, RectangleWithThinPenCoversExactlyItsPixels) {
  const std::string path = UsePng("rectangle", 300, 20, 20);
  printer->BeginDoc();
  canvas->Pen()->SetColor(Red);
  canvas->Brush()->SetColor(Blue);
  canvas->Rectangle(10, 10, 20, 20);
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({10, 10, 20, 20}, Red);
  expected.FillRect({11, 11, 19, 19}, Blue);
  EXPECT_TRUE(ImagesMatch(page, expected, "rectangle"));
}

TEST_F(CanvasTest, WiderPensGrowAboutTheFrameAndClearPartsLeaveNoMark) {
  const std::string path = UsePng("wide", 300, 20, 20);
  printer->BeginDoc();
  canvas->Pen()->SetColor(Red);
  canvas->Pen()->SetWidth(3);
  canvas->Brush()->SetStyle(BRUSH_CLEAR);
  canvas->Rectangle(10, 10, 30, 30);
  canvas->Pen()->SetWidth(2);
  canvas->Pen()->SetColor(Green);
  canvas->Rectangle(50, 10, 70, 30);
  // Neither frame nor fill.
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(100, 100, 150, 150);
  // Fill alone covers the whole rectangle, right and bottom exclusive.
  canvas->Brush()->SetStyle(BRUSH_SOLID);
  canvas->Brush()->SetColor(Blue);
  canvas->Rectangle(200, 10, 190, 20);  // given the wrong way round
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  // Width 3: one pixel out, one pixel in.
  expected.FillRect({9, 9, 31, 31}, Red);
  expected.FillRect({12, 12, 28, 28}, clWhite);
  // Width 2: the extra pixel lies inside.
  expected.FillRect({50, 10, 70, 30}, Green);
  expected.FillRect({52, 12, 68, 28}, clWhite);
  expected.FillRect({190, 10, 200, 20}, Blue);
  EXPECT_TRUE(ImagesMatch(page, expected, "wide"));
}

TEST_F(CanvasTest, FillsFramedInTheirOwnColourCoverTheFrameReach) {
  // How solid edges are drawn: brush and pen of one colour.
  const std::string path = UsePng("same-colour", 300, 30, 20);
  printer->BeginDoc();
  canvas->Brush()->SetColor(Red);
  canvas->Pen()->SetColor(Red);
  canvas->Rectangle(10, 10, 20, 14);  // width 1: the rectangle itself
  canvas->Pen()->SetWidth(3);
  canvas->Rectangle(40, 10, 50, 14);  // one pixel out on every side
  canvas->Pen()->SetWidth(4);
  canvas->Rectangle(70, 10, 72, 12);  // one out, two in: still the grown rectangle
  canvas->Pen()->SetWidth(2);
  canvas->Rectangle(100, 100, 101, 101);  // one pixel: the bands stick out across it
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({10, 10, 20, 14}, Red);
  expected.FillRect({39, 9, 51, 15}, Red);
  expected.FillRect({69, 9, 73, 13}, Red);
  expected.FillRect({100, 99, 101, 102}, Red);
  expected.FillRect({99, 100, 102, 101}, Red);
  EXPECT_TRUE(ImagesMatch(page, expected, "same-colour"));
}

TEST_F(CanvasTest, FiguresDrawTheSamePixelsInTheSameOrder) {
  // Bars of one colour crossing, a bar of another colour over them, a dashed line
  // and a plain fill in between: collected into figures or not, every pixel
  // ends up as the last thing drawn over it made it.
  auto draw = [&](bool Figures) {
    const std::string path = UsePng(Figures ? "figures" : "one-by-one", 300, 20, 10);
    printer->BeginDoc();
    if (Figures) canvas->BeginFigures();
    auto bar = [&](TColor Color, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
      canvas->Brush()->SetStyle(BRUSH_SOLID);
      canvas->Brush()->SetColor(Color);
      canvas->Pen()->SetStyle(PEN_SOLID);
      canvas->Pen()->SetWidth(3);
      canvas->Pen()->SetColor(Color);
      canvas->Rectangle(Left, Top, Right, Bottom);
    };
    bar(Red, 10, 10, 100, 14);
    bar(Red, 50, 5, 54, 60);
    bar(Blue, 40, 8, 120, 12);
    bar(Red, 60, 0, 64, 30);
    canvas->Pen()->SetColor(Green);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetStyle(PEN_DASH);
    canvas->MoveTo(0, 11);
    canvas->LineTo(150, 11);
    bar(Red, 5, 20, 200, 24);
    canvas->Pen()->SetStyle(PEN_CLEAR);
    canvas->Brush()->SetColor(Blue);
    canvas->Rectangle(70, 5, 80, 40);
    bar(Blue, 75, 30, 90, 35);
    if (Figures) canvas->EndFigures();
    return EndAndLoad(path);
  };
  const TImage collected = draw(true);
  EXPECT_TRUE(ImagesMatch(collected, draw(false), "figures"));
  EXPECT_EQ(collected.PixelAt(52, 9), Blue) << "the blue bar lies over the first red ones";
  EXPECT_EQ(collected.PixelAt(62, 9), Red) << "and under the red bar drawn after it";
  EXPECT_EQ(collected.PixelAt(72, 22), Blue) << "the plain fill lies over the red bar before it";
}

// Draws, as a cell's solid edges are drawn, the four edges of Side x Side
// cells of Pitch pixels from (Left, Top) with pens of Width.
void DrawEdgeGrid(TCanvas* Canvas, int32_t Left, int32_t Top, int32_t Side, int32_t Pitch, int32_t Width) {
  Canvas->Brush()->SetStyle(BRUSH_SOLID);
  Canvas->Brush()->SetColor(Red);
  Canvas->Pen()->SetStyle(PEN_SOLID);
  Canvas->Pen()->SetColor(Red);
  Canvas->Pen()->SetWidth(Width);
  for (int32_t row = 0; row < Side; ++row) {
    for (int32_t col = 0; col < Side; ++col) {
      const int32_t left = Left + col * Pitch, top = Top + row * Pitch;
      const int32_t right = left + Pitch, bottom = top + Pitch;
      Canvas->Rectangle(left, top, left + 1, bottom);
      Canvas->Rectangle(left, top, right, top + 1);
      Canvas->Rectangle(right - 1, top, right, bottom);
      Canvas->Rectangle(left, bottom - 1, right, bottom);
    }
  }
}

TEST_F(CanvasTest, EdgesCollectedIntoFiguresKeepTheirPixelsAndShrinkVectorPages) {
  // A grid's edges become one bar per line and a lone cell's edges one frame:
  // the pixels stay those of drawing every edge on its own, for every pen width.
  const auto draw = [&](int32_t Side, int32_t Width, bool Figures) {
    if (Figures) canvas->BeginFigures();
    DrawEdgeGrid(canvas, 10, 10, Side, 12, Width);
    if (Figures) canvas->EndFigures();
    if (Figures) canvas->BeginFigures();
    DrawEdgeGrid(canvas, 10, 30 + Side * 12, 1, 25, Width);
    if (Figures) canvas->EndFigures();
  };
  for (const int32_t width : {1, 2, 3, 4}) {
    const std::string name = "edges-" + std::to_string(width);
    const std::string alone = UsePng(name + "-alone");
    printer->BeginDoc();
    draw(3, width, false);
    const TImage expected = EndAndLoad(alone);
    const std::string figures = UsePng(name + "-figures");
    printer->BeginDoc();
    draw(3, width, true);
    EXPECT_TRUE(ImagesMatch(EndAndLoad(figures), expected, name));
  }

  // On a PDF page the 40 x 40 grid's 6,400 edges are 82 bars filled one by
  // one (41 lines each way, the touching edges of neighbours joined), and the
  // lone cell's one stroked rectangle.
  const std::string pdf = UsePdf("edges");
  printer->BeginDoc();
  draw(40, 1, true);
  printer->EndDoc();
  const auto count = [&](const std::string& Operator) {
    return std::stoi(test::RunCommand("qpdf --qdf --object-streams=disable '" + pdf + "' - | grep -a -c ' " +
                                      Operator + "'"));
  };
  EXPECT_EQ(count("re f"), 82);
  EXPECT_EQ(count("re S"), 1);
}

TEST_F(CanvasTest, LinesLeaveOutTheirEndPixelInEitherDirection) {
  const std::string path = UsePng("lines", 300, 20, 20);
  printer->BeginDoc();
  canvas->Pen()->SetColor(Red);
  canvas->MoveTo(10, 10);
  canvas->LineTo(20, 10);   // x 10..19
  canvas->LineTo(20, 30);   // y 10..29 at x 20
  canvas->MoveTo(60, 40);
  canvas->LineTo(50, 40);   // x 51..60
  canvas->Pen()->SetWidth(3);
  canvas->MoveTo(100, 50);
  canvas->LineTo(100, 60);  // x 99..101, y 50..59
  EXPECT_EQ(canvas->PenPos(), (TPoint{100, 60}));
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({10, 10, 20, 11}, Red);
  expected.FillRect({20, 10, 21, 30}, Red);
  expected.FillRect({51, 40, 61, 41}, Red);
  expected.FillRect({99, 50, 102, 60}, Red);
  EXPECT_TRUE(ImagesMatch(page, expected, "lines"));
}

TEST_F(CanvasTest, DashedLinesAlternateRunsAndDotsAreShorterThanDashes) {
  // At 96 dpi a dash module is 3 pixels: dashes of 18 on and 6 off, dots 3 and 3.
  const std::string path = UsePng("dashes", 96, 50, 20);
  printer->BeginDoc();
  canvas->Pen()->SetColor(Red);
  canvas->Pen()->SetStyle(PEN_DASH);
  canvas->MoveTo(0, 5);
  canvas->LineTo(60, 5);
  canvas->Pen()->SetStyle(PEN_DOT);
  canvas->MoveTo(0, 10);
  canvas->LineTo(60, 10);
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  for (int32_t x = 0; x < 60; x += 24) expected.FillRect({x, 5, std::min(x + 18, 60), 6}, Red);
  for (int32_t x = 0; x < 60; x += 6) expected.FillRect({x, 10, x + 3, 11}, Red);
  EXPECT_TRUE(ImagesMatch(page, expected, "dashes"));
}

TEST_F(CanvasTest, PicturesDrawAtNaturalSizeOrStretched) {
  const std::string path = UsePng("pictures", 300, 20, 20);
  TBitmapGraphic picture(2, 3, std::vector<uint32_t>(6, 0xFF00FF00));
  printer->BeginDoc();
  canvas->Draw(10, 20, &picture);
  canvas->StretchDraw({40, 40, 50, 45}, &picture);
  canvas->Draw(0, 0, nullptr);
  const TImage page = EndAndLoad(path);

  EXPECT_EQ(page.BoundsOf(Green), (TRect{10, 20, 50, 45}));
  EXPECT_EQ(page.CountOf(Green), 2 * 3 + 10 * 5);
  EXPECT_TRUE(page.AllOf({40, 40, 50, 45}, Green));
}

TEST_F(CanvasTest, RecordsOperationsWithThePenAndBrushTheyUsed) {
  printer->BeginDoc();
  canvas->Pen()->SetColor(0x123456);
  canvas->Pen()->SetStyle(PEN_DASH);
  canvas->Brush()->SetStyle(BRUSH_CLEAR);
  canvas->Rectangle(1, 2, 3, 4);
  canvas->Pen()->SetStyle(PEN_SOLID);
  canvas->MoveTo(5, 6);
  canvas->LineTo(7, 8);
  printer->EndDoc();

  std::vector<std::string> ops;
  for (const TDrawOp& op : printer->RecordedOps()) ops.push_back(op.ToString());
  EXPECT_EQ(ops, (std::vector<std::string>{
                     "BeginDoc()",
                     "Rectangle(1, 2, 3, 4) \"pen dash 1 0x123456, brush clear 0xFFFFFF\"",
                     "MoveTo(5, 6)",
                     "LineTo(7, 8) \"pen solid 1 0x123456\"",
                     "EndDoc()",
                 }));
}

TEST_F(CanvasTest, DrawingWithoutAnOpenJobIsRefused) {
  EXPECT_THROW_MSG(canvas->Rectangle(0, 0, 10, 10), EPrinterError,
                   "Cannot draw Rectangle: no print job is open");
  canvas->MoveTo(0, 0);
  EXPECT_THROW_MSG(canvas->LineTo(10, 0), EPrinterError, "Cannot draw LineTo: no print job is open");
}

TEST_F(CanvasTest, HandleSelectsPenBrushFontAndTextColour) {
  canvas->Pen()->SetWidth(4);
  canvas->Brush()->SetColor(Blue);
  canvas->Font()->SetColor(Red);
  canvas->Font()->SetHeight(-40);
  HDC dc = canvas->GetHandle();
  ASSERT_NE(dc, nullptr);
  LOGFONTA selected;
  ASSERT_EQ(GetObjectA(SelectObject(dc, canvas->Font()->Handle()), sizeof selected, &selected),
            static_cast<int>(sizeof selected));
  EXPECT_EQ(selected.lfHeight, -40);
  EXPECT_EQ(SelectObject(dc, canvas->Font()->Handle()), canvas->Font()->Handle());
}

TEST(FontTest, HandleDescribesTheCurrentFontAndKeepsItsIdentity) {
  TFont font;
  const HFONT handle = font.Handle();
  LOGFONTA record;
  ASSERT_EQ(GetObjectA(handle, sizeof record, &record), static_cast<int>(sizeof record));
  EXPECT_EQ(record.lfHeight, 0);
  EXPECT_EQ(record.lfWeight, FW_NORMAL);
  EXPECT_STREQ(record.lfFaceName, "Arial");
  EXPECT_EQ(record.lfCharSet, 1);

  font.SetHeight(120);
  font.SetStyle(FONT_BOLD | FONT_ITALIC | FONT_UNDERLINE | FONT_STRIKEOUT);
  font.SetCharset(0);
  font.SetPitch(FIXED_PITCH);
  font.SetName(std::string(40, 'x'));
  EXPECT_EQ(font.Name(), std::string(31, 'x'));
  EXPECT_EQ(font.Handle(), handle);
  ASSERT_EQ(GetObjectA(font.Handle(), sizeof record, &record), static_cast<int>(sizeof record));
  EXPECT_EQ(record.lfHeight, 120);
  EXPECT_EQ(record.lfWeight, FW_BOLD);
  EXPECT_EQ(record.lfItalic, 1);
  EXPECT_EQ(record.lfUnderline, 1);
  EXPECT_EQ(record.lfStrikeOut, 1);
  EXPECT_EQ(record.lfCharSet, 0);
  EXPECT_EQ(record.lfPitchAndFamily, FIXED_PITCH);
  EXPECT_EQ(std::string(record.lfFaceName), std::string(31, 'x'));
}

TEST(FontTest, CreatedFontsAreDeletedOnlyWhenNotSelected) {
  TPrinterGuard guard;
  HDC dc = Printer()->GetCanvas()->GetHandle();
  LOGFONTA record;
  record.lfEscapement = 900;
  HFONT rotated = CreateFontIndirectA(&record);
  HGDIOBJ previous = SelectObject(dc, rotated);
  EXPECT_FALSE(DeleteObject(rotated));  // still selected
  EXPECT_EQ(SelectObject(dc, previous), rotated);
  EXPECT_TRUE(DeleteObject(rotated));
  // The canvas's own font is not ours to delete.
  EXPECT_FALSE(DeleteObject(Printer()->GetCanvas()->Font()->Handle()));
}

} // namespace
} // namespace mivora::test
