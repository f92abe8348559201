// The device context's clip: nothing lands outside the printable area, on pixel
// and on vector pages, whichever sides of it have margins.
#include "Gdi.h"

#include "Canvas.h"
#include "ImageCompare.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <string>

namespace mivora::test {
namespace {

class DeviceContextTest : public PrinterFixture {};

TEST_F(DeviceContextTest, MarginsAtTheRightAndBottomClipPixelPages) {
  const std::string path = UsePng("right-bottom", 100, 25.4, 25.4);
  printer->SetMargins({0, 0, 2.54, 5.08});  // 10 and 20 pixels
  printer->BeginDoc();
  canvas->Brush()->SetColor(clBlack);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(-5, -5, 95, 85);
  const TImage page = EndAndLoad(path);
  EXPECT_EQ(page.BoundsOf(clBlack), (TRect{0, 0, 90, 80}));
}

TEST_F(DeviceContextTest, ClipsOfTextAndPagesFollowEachOther) {
  // A clip for one text, taken off again: later figures reach the whole area.
  const std::string path = UsePng("text-clip", 100, 25.4, 25.4);
  printer->SetMargins({0, 0, 2.54, 2.54});
  printer->BeginDoc();
  HDC dc = canvas->GetHandle();
  IntersectClipRect(dc, 10, 10, 20, 20);
  canvas->Brush()->SetColor(0x0000FF);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(0, 0, 50, 50);
  SelectClipRgn(dc, nullptr);
  canvas->Brush()->SetColor(clBlack);
  canvas->Rectangle(60, 60, 200, 200);
  const TImage page = EndAndLoad(path);
  EXPECT_EQ(page.BoundsOf(0x0000FF), (TRect{10, 10, 20, 20}));
  EXPECT_EQ(page.BoundsOf(clBlack), (TRect{60, 60, 90, 90}));
}

// Renders page 1 of a PDF at 100 dpi without smoothing.
TImage Render(const std::string& Pdf, const std::string& Prefix) {
  const TCommandResult result =
      RunCommandWithStatus("pdftoppm -r 100 -aa no -aaVector no -singlefile -png '" + Pdf + "' '" + Prefix + "' 2>&1");
  if (result.ExitCode != 0) ADD_FAILURE() << result.Output;
  return TImage::Load(Prefix + ".png");
}

TEST_F(DeviceContextTest, VectorPagesClipTheirMarginsOnEverySide) {
  const std::string path = UsePdf("margins");
  printer->SetPaperSize(50.8, 50.8);  // 200 x 200 pixels at 100 dpi
  printer->SetResolution(100);
  printer->SetMargins({2.54, 5.08, 7.62, 10.16});  // 10, 20, 30 and 40 pixels
  printer->BeginDoc();
  canvas->Brush()->SetColor(clBlack);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(-50, -50, 250, 250);
  printer->EndDoc();
  const TImage page = Render(path, OutputFile("margins-render"));
  const TRect box = page.BoundsOf(clBlack);
  // Without smoothing the renderer also fills pixels an edge only touches.
  EXPECT_NEAR(box.Left, 10, 1);
  EXPECT_NEAR(box.Top, 20, 1);
  EXPECT_NEAR(box.Right, 170, 1);
  EXPECT_NEAR(box.Bottom, 160, 1);
}

TEST_F(DeviceContextTest, VectorPagesWithoutMarginsShowFiguresToThePaperEdge) {
  const std::string path = UsePdf("edge");
  printer->SetPaperSize(50.8, 50.8);
  printer->SetResolution(300);
  printer->BeginDoc();
  canvas->Brush()->SetColor(clBlack);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(-50, -50, 700, 700);
  printer->EndDoc();
  const TImage page = Render(path, OutputFile("edge-render"));
  EXPECT_EQ(page.CountOf(clBlack), int64_t{page.Width()} * page.Height());
}

} // namespace
} // namespace mivora::test
