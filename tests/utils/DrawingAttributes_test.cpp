#include "MivoraUtils.h"

#include "Canvas.h"
#include "Printer.h"
#include "TestSupport.h"

#include <string>

namespace mivora {
namespace {

TEST(DrawingAttributesTest, AssignPenCopiesColourWidthAndStyle) {
  TCanvas canvas(Printer()->GetHandle());
  AssignPen(&canvas, DefaultPenData);
  EXPECT_EQ(canvas.Pen()->Color(), clBlack);
  EXPECT_EQ(canvas.Pen()->Width(), 1);
  EXPECT_EQ(canvas.Pen()->Style(), psClear);

  TPenData pen;
  pen.Color = 0x123456;
  pen.Width = 7;
  pen.Style = psDashDot;
  AssignPen(&canvas, pen);
  EXPECT_EQ(canvas.Pen()->Color(), 0x123456u);
  EXPECT_EQ(canvas.Pen()->Width(), 7);
  EXPECT_EQ(canvas.Pen()->Style(), psDashDot);
}

TEST(DrawingAttributesTest, AssignBrushFirstResetsThePenToThinSolidBlack) {
  TCanvas canvas(Printer()->GetHandle());
  canvas.Pen()->SetColor(0x00FF00);
  canvas.Pen()->SetWidth(9);
  canvas.Pen()->SetStyle(psClear);
  AssignBrush(&canvas, DefaultBrushData);
  EXPECT_EQ(canvas.Pen()->Style(), psSolid);
  EXPECT_EQ(canvas.Pen()->Width(), 1);
  EXPECT_EQ(canvas.Pen()->Color(), clBlack);
  EXPECT_EQ(canvas.Brush()->Style(), bsClear);
  EXPECT_EQ(canvas.Brush()->Color(), clWhite);

  TBrushData brush;
  brush.Color = 0x0000FF;
  brush.Style = bsSolid;
  AssignBrush(&canvas, brush);
  EXPECT_EQ(canvas.Brush()->Style(), bsSolid);
  EXPECT_EQ(canvas.Brush()->Color(), 0x0000FFu);
}

TEST(DrawingAttributesTest, AssignFontTakesThePixelHeightAndTheRecordsOtherFields) {
  TCanvas canvas(Printer()->GetHandle());
  TFontData font;
  font.Height = 12.5f;  // not read: the caller converts it
  font.Pitch = 1;
  font.Style = fsBold | fsUnderline;
  font.Charset = 0;
  font.Name = std::string(31, 'N');
  font.Color = 0x00FF00;
  AssignFont(&canvas, font, 0);
  EXPECT_EQ(canvas.Font()->Height(), 0);
  EXPECT_EQ(canvas.Font()->Pitch(), 1);
  EXPECT_EQ(canvas.Font()->Style(), fsBold | fsUnderline);
  EXPECT_EQ(canvas.Font()->Charset(), 0);
  EXPECT_EQ(canvas.Font()->Name(), std::string(31, 'N'));
  EXPECT_EQ(canvas.Font()->Color(), 0x00FF00u);

  AssignFont(&canvas, DefaultFontData, -42);
  LOGFONTA record;
  ASSERT_EQ(GetObjectA(canvas.Font()->Handle(), sizeof record, &record), static_cast<int>(sizeof record));
  EXPECT_EQ(record.lfHeight, -42);
  EXPECT_EQ(record.lfWeight, FW_NORMAL);
  EXPECT_EQ(record.lfUnderline, 0);
  EXPECT_STREQ(record.lfFaceName, "Arial");
}

} // namespace
} // namespace mivora
