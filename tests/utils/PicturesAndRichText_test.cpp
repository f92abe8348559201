// ShowGraphic places a picture in a rectangle at natural size or stretched;
// ShowRichEdit has a rich-edit control draw the lines that fit into a rectangle.
#include "MivoraUtils.h"

#include "Canvas.h"
#include "Gdi.h"
#include "ImageCompare.h"
#include "Picture.h"
#include "PrinterFixture.h"
#include "RichEdit.h"
#include "TestSupport.h"

#include <string>
#include <vector>

namespace mivora::test {
namespace {

constexpr TColor Red = 0x0000FF;

// A red picture of Width x Height pixels.
TBitmapGraphic RedPicture(int32_t Width, int32_t Height) {
  return TBitmapGraphic(Width, Height,
                        std::vector<uint32_t>(static_cast<size_t>(Width * Height), 0xFFFF0000u));
}

class ShowGraphicTest : public PrinterFixture {
protected:
  // Shows Picture in Rect on a small PNG page; the red pixels' bounds.
  TRect RedBounds(TGraphic* Picture, TRect Rect, bool Stretch, uint8_t Alignment, uint8_t Layout) {
    const std::string path = UsePng("graphic", 72, 20, 20);
    printer->BeginDoc();
    ShowGraphic(canvas, Picture, Rect, Stretch, Alignment, Layout);
    return EndAndLoad(path).BoundsOf(Red);
  }
};

TEST_F(ShowGraphicTest, ASmallerPictureIsCentredWithTheOddPixelAtRightAndBottom) {
  TBitmapGraphic picture = RedPicture(4, 4);
  // 11 x 9 leaves 7 and 5: 3 left, 4 right; 2 above, 3 below.
  EXPECT_EQ(RedBounds(&picture, {10, 10, 21, 19}, false, 2, 1), (TRect{13, 12, 17, 16}));
}

TEST_F(ShowGraphicTest, AlignmentAndLayoutPlaceThePictureAtTheRectanglesSides) {
  TBitmapGraphic picture = RedPicture(4, 3);
  UseRecording();
  printer->BeginDoc();
  ShowGraphic(canvas, &picture, {10, 10, 30, 40}, false, 0, 0);
  ShowGraphic(canvas, &picture, {10, 10, 30, 40}, false, 1, 2);
  ShowGraphic(canvas, &picture, {10, 10, 30, 40}, false, 2, 1);
  std::vector<std::vector<int64_t>> draws;
  for (const TDrawOp& op : printer->RecordedOps()) {
    if (op.Name == "Draw") draws.push_back(op.Args);
  }
  const std::vector<std::vector<int64_t>> expected{
      {10, 10, 4, 3}, {26, 37, 4, 3}, {18, 23, 4, 3}};
  EXPECT_EQ(draws, expected);
}

TEST_F(ShowGraphicTest, APictureOnePixelTooWideIsStretchedToTheWholeRectangle) {
  TBitmapGraphic picture = RedPicture(12, 4);
  EXPECT_EQ(RedBounds(&picture, {10, 10, 21, 19}, false, 2, 1), (TRect{10, 10, 21, 19}));
  TBitmapGraphic tall = RedPicture(2, 10);
  EXPECT_EQ(RedBounds(&tall, {10, 10, 21, 19}, false, 0, 0), (TRect{10, 10, 21, 19}));
  TBitmapGraphic small = RedPicture(2, 2);
  EXPECT_EQ(RedBounds(&small, {10, 10, 21, 19}, true, 0, 0), (TRect{10, 10, 21, 19}));
}

TEST_F(ShowGraphicTest, NoPictureDrawsNothing) {
  printer->BeginDoc();
  const size_t before = printer->RecordedOps().size();
  ShowGraphic(canvas, nullptr, {0, 0, 100, 100}, true, 0, 0);
  EXPECT_EQ(printer->RecordedOps().size(), before);
}

class ShowRichEditTest : public PrinterFixture {
protected:
  // The recorded operations from the first SetMapMode on.
  std::vector<TDrawOp> OpsFromMapMode() const {
    const std::vector<TDrawOp>& ops = printer->RecordedOps();
    for (size_t i = 0; i < ops.size(); ++i) {
      if (ops[i].Name == "SetMapMode") return {ops.begin() + static_cast<ptrdiff_t>(i), ops.end()};
    }
    return {};
  }
};

TEST_F(ShowRichEditTest, TheRectangleLosesATwentiethOfAnInchAndTurnsIntoTwips) {
  TRichEdit edit(nullptr);
  edit.SetText("Some text");
  printer->BeginDoc(); // 600 dpi
  ShowRichEdit(canvas, &edit, {0, 0, 6000, 3000});
  // Inner (30, 30, 5970, 2970) at 600 dpi: 2.4 twips per pixel.
  EXPECT_EQ(edit.PageRect, (TRect{72, 72, 14328, 7128}));
  const std::vector<TDrawOp> ops = OpsFromMapMode();
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].Name, "SetMapMode");
  EXPECT_EQ(ops[0].Args, (std::vector<int64_t>{MM_TEXT}));
  EXPECT_EQ(ops[1].Name, "FormatRange");
  EXPECT_EQ(ops[1].Args, (std::vector<int64_t>{72, 72, 14328, 7128, 0, -1}));
  EXPECT_EQ(ops[2].Name, "SetMapMode");
}

TEST_F(ShowRichEditTest, TwipsRoundHalvesToTheEvenNeighbour) {
  TRichEdit edit(nullptr);
  printer->SetResolution(960); // 1.5 twips per pixel; the margin is 48 pixels
  printer->BeginDoc();
  ShowRichEdit(canvas, &edit, {51, 49, 153, 151});
  // Inner (99, 97, 105, 103): 148.5, 145.5, 157.5, 154.5.
  EXPECT_EQ(edit.PageRect, (TRect{148, 146, 158, 154}));
}

TEST_F(ShowRichEditTest, AFailingControlStillReleasesItsFormattingAndTheMappingMode) {
  class TFailing : public TRichEdit {
  public:
    using TRichEdit::TRichEdit;
    intptr_t Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override {
      Calls.push_back({WParam, LParam != 0});
      if (Msg == EM_FORMATRANGE && WParam == 1) throw ERichEditError("render failed");
      return 0;
    }
    std::vector<std::pair<uintptr_t, bool>> Calls;
  } edit(nullptr);
  printer->BeginDoc();
  HDC dc = canvas->GetHandle();
  SetMapMode(dc, 8);
  EXPECT_THROW_MSG(ShowRichEdit(canvas, &edit, {0, 0, 6000, 3000}), ERichEditError, "render failed");
  const std::vector<std::pair<uintptr_t, bool>> expected{{0, false}, {1, true}, {0, false}};
  EXPECT_EQ(edit.Calls, expected);
  EXPECT_EQ(SetMapMode(dc, MM_TEXT), 8);
}

TEST_F(ShowRichEditTest, RichTextLongerThanTheRectanglePrintsOnlyItsBeginning) {
  TRichEdit edit(nullptr);
  std::string text;
  for (int i = 0; i < 30; ++i) text += "Paragraph " + std::to_string(i) + "\n";
  edit.SetText(text);
  const std::string pdf = UsePdf("beginning");
  printer->BeginDoc();
  ShowRichEdit(canvas, &edit, {600, 600, 3600, 1800}); // two inches of room, less the margins
  printer->EndDoc();
  const std::string printed = RunCommand("pdftotext -q '" + pdf + "' -");
  EXPECT_NE(printed.find("Paragraph 0"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Paragraph 5"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Paragraph 29"), std::string::npos) << printed;
}

TEST_F(ShowRichEditTest, NoControlDoesNothing) {
  printer->BeginDoc();
  const size_t before = printer->RecordedOps().size();
  ShowRichEdit(canvas, nullptr, {0, 0, 6000, 3000});
  EXPECT_EQ(printer->RecordedOps().size(), before);
}

} // namespace
} // namespace mivora::test
