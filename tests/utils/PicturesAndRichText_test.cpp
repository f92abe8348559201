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
#include <utility>
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
  // The same with a fit mode.
  TRect RedBoundsFitted(TGraphic* Picture, TRect Rect, TGraphicFit Fit, uint8_t Alignment, uint8_t Layout) {
    const std::string path = UsePng("fitted", 72, 20, 20);
    printer->BeginDoc();
    ShowGraphic(canvas, Picture, Rect, true, Alignment, Layout, Fit);
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

// Three stripes across, each Stripe pixels wide and Height high: red, green, blue.
TBitmapGraphic Stripes(int32_t Stripe, int32_t Height) {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < 3 * Stripe; ++x)
      pixels.push_back(x < Stripe ? 0xFFFF0000u : x < 2 * Stripe ? 0xFF00FF00u : 0xFF0000FFu);
  return TBitmapGraphic(3 * Stripe, Height, pixels);
}

constexpr TColor Green = 0x00FF00;
constexpr TColor Blue = 0xFF0000;

TEST_F(ShowGraphicTest, ContainKeepsProportionsAndPlacesThePictureByAlignmentAndLayout) {
  TBitmapGraphic wide = RedPicture(8, 4);
  // 20 x 20: as large as fits is 20 x 10; centred down, at the top, at the bottom.
  EXPECT_EQ(RedBoundsFitted(&wide, {10, 10, 30, 30}, gfContain, 2, 1), (TRect{10, 15, 30, 25}));
  EXPECT_EQ(RedBoundsFitted(&wide, {10, 10, 30, 30}, gfContain, 2, 0), (TRect{10, 10, 30, 20}));
  EXPECT_EQ(RedBoundsFitted(&wide, {10, 10, 30, 30}, gfContain, 2, 2), (TRect{10, 20, 30, 30}));
  // A tall picture in a wide cell: 7 x 14 of 21 x 14 (7 left over: 3 and 4), or right.
  TBitmapGraphic tall = RedPicture(2, 4);
  EXPECT_EQ(RedBoundsFitted(&tall, {5, 5, 26, 19}, gfContain, 2, 1), (TRect{12, 5, 19, 19}));
  EXPECT_EQ(RedBoundsFitted(&tall, {5, 5, 26, 19}, gfContain, 1, 1), (TRect{19, 5, 26, 19}));
  // A small picture grows: contain ignores Stretch and natural size.
  TBitmapGraphic dot = RedPicture(1, 1);
  EXPECT_EQ(RedBoundsFitted(&dot, {0, 0, 12, 30}, gfContain, 0, 0), (TRect{0, 0, 12, 12}));
}

TEST_F(ShowGraphicTest, CoverFillsTheCellKeepingProportionsAndCutsOffTheRest) {
  // Stripes 4 wide, 12 x 4 in all, into 20 x 20: scaled 5 times to 60 x 20, so a
  // cell shows one stripe: the middle one centred, the first one aligned left.
  TBitmapGraphic stripes = Stripes(4, 4);
  for (const auto& [alignment, colour] : {std::pair<uint8_t, TColor>{2, Green}, {0, Red}, {1, Blue}}) {
    SCOPED_TRACE(static_cast<int>(alignment));
    const std::string path = UsePng("cover" + std::to_string(alignment), 72, 20, 20);
    printer->BeginDoc();
    ShowGraphic(canvas, &stripes, {10, 10, 30, 30}, true, alignment, 1, gfCover);
    const TImage page = EndAndLoad(path);
    // The stripe's borders fall on the cell's sides, where smoothing the scaled
    // picture blends in its neighbour: three pixels each side are left out.
    EXPECT_TRUE(page.AllOf({13, 10, 27, 30}, colour));
    // Nothing spills out of the cell, and the clip is gone afterwards.
    EXPECT_EQ(page.CountOf(clWhite), int64_t{page.Width()} * page.Height() - 400);
  }
  UseRecording();
  printer->BeginDoc();
  ShowGraphic(canvas, &stripes, {10, 10, 30, 30}, true, 2, 1, gfCover);
  std::vector<std::string> ops;
  for (const TDrawOp& op : printer->RecordedOps()) ops.push_back(op.ToString());
  const std::vector<std::string> expected{"BeginDoc()", "IntersectClipRect(10, 10, 30, 30)", "StretchDraw(-10, 10, 50, 30)",
                                          "SelectClipRgn(0)"};
  EXPECT_EQ(ops, expected);
}

TEST_F(ShowGraphicTest, NaturalFitFollowsThePicturesOwnResolutionAndTheDefaultDoesNot) {
  // 6 x 4 pixels at 300 dpi on a 600 dpi page: 12 x 8 device pixels when asked for.
  const auto picture = LoadGraphicFromFile(std::string(MIVORA_TEST_DATA_DIR) + "/picture-300dpi.png");
  UseRecording();
  printer->BeginDoc();
  ShowGraphic(canvas, picture.get(), {100, 100, 200, 200}, false, 0, 0, gfNatural);
  ShowGraphic(canvas, picture.get(), {100, 100, 110, 200}, false, 0, 0, gfNatural); // too wide: stretched
  ShowGraphic(canvas, picture.get(), {100, 100, 200, 200}, false, 0, 0);            // one pixel per pixel
  std::vector<std::string> ops;
  for (const TDrawOp& op : printer->RecordedOps()) ops.push_back(op.ToString());
  const std::vector<std::string> expected{"BeginDoc()", "StretchDraw(100, 100, 112, 108)",
                                          "StretchDraw(100, 100, 110, 200)", "Draw(100, 100, 6, 4)"};
  EXPECT_EQ(ops, expected);
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
