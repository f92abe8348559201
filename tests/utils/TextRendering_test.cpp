// Horizontal and vertical text in a rectangle: margins, placement, shrinking,
// and what reaches the page.
#include "MivoraUtils.h"

#include "Canvas.h"
#include "Gdi.h"
#include "PrinterFixture.h"
#include "Printer.h"
#include "TestSupport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace mivora {
namespace {

using test::InkBounds;

class TextRenderingTest : public test::PrinterFixture {
protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    printer->SetResolution(600);
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetStyle(0);
    canvas->Font()->SetColor(clBlack);
    canvas->Font()->SetHeight(100);
    canvas->Brush()->SetStyle(BRUSH_CLEAR);
  }

  // Starts a job on a PNG page of 100 x 60 mm at 600 dots per inch.
  void BeginPng(const std::string& Name) {
    png_ = UsePng(Name, 600, 100, 60);
    printer->BeginDoc();
  }
  // Ends it and returns the ink of the page.
  TRect EndPng() { return InkBounds(EndAndLoad(png_)); }
  // Starts a job on the recording target.
  void BeginRecording() {
    UseRecording();
    printer->BeginDoc();
  }
  std::vector<TDrawOp> TextOps() const {
    std::vector<TDrawOp> ops;
    for (const TDrawOp& op : printer->RecordedOps()) {
      if (op.Name == "DrawText" || op.Name == "ExtTextOut") ops.push_back(op);
    }
    return ops;
  }

  std::string png_;
};

TEST_F(TextRenderingTest, RightAlignedTextEndsHalfASpaceBeforeTheRightEdge) {
  const int32_t space = canvas->TextWidth(" ");
  BeginPng("right-aligned");
  ShowText(canvas, "Hello", TRect{200, 100, 1400, 400}, 1, 0, false, false);
  const TRect ink = EndPng();
  const int32_t innerRight = 1400 - space / 2;
  // The ink of the last glyph stops short of its advance by its side bearing,
  // a few pixels at this size; antialiasing may reach one pixel further.
  EXPECT_LE(ink.Right, innerRight + 1);
  EXPECT_GE(ink.Right, innerRight - 8);
}

TEST_F(TextRenderingTest, CentredTextWithLayoutCentreSitsInTheMiddle) {
  BeginPng("centred");
  ShowText(canvas, "MMMM", TRect{200, 100, 1400, 700}, 2, 1, false, false);
  const TRect ink = EndPng();
  EXPECT_NEAR((ink.Left + ink.Right) / 2, 800, 3);
  // Capitals sit above the cell's middle: their ink spans ascent - cap height to the baseline.
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2, 400, 20);
}

TEST_F(TextRenderingTest, VerticalTextAtTheBottomLeftBeginsAtTheInnerCornerAndRunsUpward) {
  const int32_t space = canvas->TextWidth(" ");
  const int32_t v = canvas->TextHeight(" ") / 6;
  BeginPng("vertical-bottom-left");
  ShowTextVertically(canvas, "Upward", TRect{300, 200, 700, 1200}, 0, 2, false);
  const TRect ink = EndPng();
  const int32_t innerLeft = 300 + v / 2;
  const int32_t innerBottom = 1200 - space / 2;
  // The tops of the characters face left: the cell's top edge is the inner left
  // edge; capitals start an ascent less a cap height (a fifth of a line) inside it.
  EXPECT_GE(ink.Left, innerLeft);
  EXPECT_LE(ink.Left, innerLeft + canvas->TextHeight(" ") / 4);
  // The line starts at the inner bottom; the first glyph's side bearing is small.
  EXPECT_LE(ink.Bottom, innerBottom + 1);
  EXPECT_GE(ink.Bottom, innerBottom - 12);
  EXPECT_GT(ink.Bottom - ink.Top, 2 * (ink.Right - ink.Left));
}

TEST_F(TextRenderingTest, LineBreaksMakeLinesHorizontallyButOneLineVertically) {
  const int32_t line = canvas->TextHeight(" ");
  BeginPng("breaks-horizontal");
  ShowText(canvas, "AB\r\nCD\r\nEF", TRect{100, 100, 1500, 900}, 0, 0, false, false);
  const TRect horizontal = EndPng();
  EXPECT_GT(horizontal.Bottom - horizontal.Top, 2 * line);

  BeginPng("breaks-vertical");
  ShowTextVertically(canvas, "AB\r\nCD\r\nEF", TRect{100, 100, 900, 1300}, 0, 0, false);
  const TRect vertical = EndPng();
  EXPECT_LT(vertical.Right - vertical.Left, line);
}

TEST_F(TextRenderingTest, ALongWordWithWordWrapAndShrinkToFitShrinksUntilItFits) {
  const std::string word = "Supercalifragilisticexpialidocious";
  const TRect rect{100, 100, 900, 600};
  const int32_t inner = 800 - 2 * (canvas->TextWidth(" ") / 2);
  BeginPng("shrunk-word");
  ShowText(canvas, word, rect, 0, 0, true, true);
  const int32_t height = canvas->Font()->Height();
  const TRect ink = EndPng();

  // The height is a step of 90 % from 100, the first at which the word fits.
  int32_t previous = 100;
  int32_t step = 100;
  while (step > height) {
    previous = step;
    step = static_cast<int32_t>(std::nearbyint(step * 0.9));
  }
  EXPECT_EQ(step, height) << "100, 90, 81, 73, 66, ...";
  EXPECT_LE(canvas->TextWidth(word), inner);
  canvas->Font()->SetHeight(previous);
  EXPECT_GT(canvas->TextWidth(word), inner);
  EXPECT_GE(ink.Left, rect.Left);
  EXPECT_LE(ink.Right, rect.Right);
}

TEST_F(TextRenderingTest, VerticalTextShrinksUntilItsLineFits) {
  BeginRecording();
  ShowTextVertically(canvas, "A rather long vertical caption", TRect{0, 0, 400, 900}, 0, 0, true);
  const int32_t height = canvas->Font()->Height();
  EXPECT_LT(height, 100);
  EXPECT_LE(canvas->TextWidth("A rather long vertical caption"),
            900 - 2 * (canvas->TextWidth(" ") / 2));
  // The canvas font is selected again afterwards: it is no longer turned.
  LOGFONTA record;
  GetObjectA(canvas->Font()->Handle(), sizeof(record), &record);
  EXPECT_EQ(record.lfEscapement, 0);
}

TEST_F(TextRenderingTest, DefaultAndCharacterHeightsShrinkFromTheSizeTheyStandFor) {
  BeginRecording();
  const std::string word = "Supercalifragilisticexpialidocious";
  canvas->Font()->SetHeight(0);
  const int32_t defaultCell = canvas->TextHeight(" ");
  ShowText(canvas, word, TRect{0, 0, 900, 600}, 0, 0, true, true);
  EXPECT_GT(canvas->Font()->Height(), 0);
  EXPECT_LT(canvas->Font()->Height(), defaultCell);

  canvas->Font()->SetHeight(-100);
  ShowText(canvas, word, TRect{0, 0, 900, 600}, 0, 0, true, true);
  EXPECT_LT(canvas->Font()->Height(), 0);
  EXPECT_GT(canvas->Font()->Height(), -100);
}

TEST_F(TextRenderingTest, OverflowingLinesAreDrawnAsTheyWereMeasured) {
  // "aa" and "bb" do not fit on one line, the long word overflows. Drawing must
  // keep the three measured lines even though the widest line is wider than the
  // room the first two had.
  const int32_t room = canvas->TextWidth("aa bb") - 1 + 2 * (canvas->TextWidth(" ") / 2);
  const int32_t line = canvas->TextHeight(" ");
  for (uint8_t alignment : {0, 1, 2}) {
    SCOPED_TRACE(static_cast<int>(alignment));
    BeginPng("overflow");
    ShowText(canvas, "aa bb cccccccccccccccccc", TRect{500, 100, 500 + room, 1000}, alignment, 0,
             true, false);
    const TRect ink = EndPng();
    EXPECT_GT(ink.Bottom - ink.Top, 2 * line) << "three lines";
  }
}

TEST_F(TextRenderingTest, TextTallerThanTheRectangleIsCutEquallyAtTopAndBottom) {
  BeginRecording();
  const std::string text = "one\r\ntwo\r\nthree\r\nfour\r\nfive";
  ShowText(canvas, text, TRect{100, 100, 1100, 300}, 0, 1, false, false);
  const std::vector<TDrawOp> ops = TextOps();
  ASSERT_EQ(ops.size(), 1u);
  const int64_t top = ops[0].Args[1];
  const int64_t bottom = ops[0].Args[3];
  EXPECT_EQ(bottom - top, 5 * canvas->TextHeight(" "));
  EXPECT_NEAR(static_cast<double>(top + bottom) / 2, 200.0, 1.0);
}

TEST_F(TextRenderingTest, AnEmptyStringDrawsNothingAndKeepsTheFont) {
  BeginRecording();
  const size_t before = printer->RecordedOps().size();
  ShowText(canvas, "", TRect{0, 0, 10, 10}, 0, 0, true, true);
  ShowTextVertically(canvas, "", TRect{0, 0, 10, 10}, 0, 0, true);
  EXPECT_EQ(printer->RecordedOps().size(), before);
  EXPECT_EQ(canvas->Font()->Height(), 100);
}

TEST_F(TextRenderingTest, ShrinkingEndsForEveryInput) {
  BeginRecording();
  std::mt19937 random(20240613);
  auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const std::vector<std::string> faces{"Arial", "Times New Roman", "Courier New", "No Such Face"};
  const std::string letters = "abcdefghijklmnopqrstuvwxyzMW  \t\r\n&\xE9\x80";
  for (int i = 0; i < 300; ++i) {
    std::string text;
    const int length = uniform(1, 80);
    for (int k = 0; k < length; ++k) text.push_back(letters[static_cast<size_t>(uniform(0, static_cast<int>(letters.size()) - 1))]);
    const int32_t height = uniform(0, 4) == 0 ? 0 : uniform(-300, 300);
    canvas->Font()->SetName(faces[static_cast<size_t>(uniform(0, 3))]);
    canvas->Font()->SetStyle(static_cast<uint8_t>(uniform(0, 15)));
    canvas->Font()->SetHeight(height);
    const int32_t left = uniform(-100, 1000);
    const int32_t top = uniform(-100, 1000);
    const TRect rect{left, top, left + uniform(-20, 900), top + uniform(-20, 400)};
    const auto alignment = static_cast<uint8_t>(uniform(0, 3));
    const auto layout = static_cast<uint8_t>(uniform(0, 3));
    const size_t opsBefore = TextOps().size();
    if (uniform(0, 1) == 0) {
      ShowText(canvas, text, rect, alignment, layout, uniform(0, 1) == 1, true);
    } else {
      ShowTextVertically(canvas, text, rect, alignment, layout, true);
    }
    // Each call ends, draws once, and never makes the font larger.
    EXPECT_EQ(TextOps().size(), opsBefore + 1) << "case " << i;
    if (height != 0) {
      EXPECT_LE(std::abs(canvas->Font()->Height()), std::abs(height)) << "case " << i;
    }
  }
}

TEST_F(TextRenderingTest, LongTextsShrinkToTheHeightThatMeasuringTheWholeTextGives) {
  // Texts of 5 to 60 KB, some that fit at a small size and some that never do,
  // with and without wrapping: the chosen height is the first step of 90 % at
  // which the whole text, measured at once, fits the inner rectangle.
  BeginRecording();
  const TRect rect{100, 100, 2100, 1300};
  const int32_t space = canvas->TextWidth(" ");
  const int32_t v = canvas->TextHeight(" ") / 6;
  const TRect inner{rect.Left + space / 2, rect.Top + v / 2, rect.Right - space / 2, rect.Bottom - v / 2};
  std::string words;
  for (int i = 0; words.size() < 60000; ++i) words += (i % 7 == 0 ? "conditions\r\n" : "and terms ");
  for (size_t length : {5000, 9000, 20000, 60000}) {
    for (bool wrap : {true, false}) {
      const std::string text = words.substr(0, length);
      const uint32_t flags = DT_LEFT | DT_EXPANDTABS | DT_NOPREFIX | (wrap ? DT_WORDBREAK : 0);
      int32_t expected = 100;
      for (;;) {
        canvas->Font()->SetHeight(expected);
        TRect measured = inner;
        DrawTextA(canvas->GetHandle(), text.data(), static_cast<int>(text.size()), &measured, flags | DT_CALCRECT);
        if (measured.Right <= inner.Right && measured.Bottom <= inner.Bottom) break;
        const auto next = static_cast<int32_t>(std::nearbyint(expected * 0.9));
        if (next >= expected) break;
        expected = next;
      }
      canvas->Font()->SetHeight(100);
      ShowText(canvas, text, rect, 0, 0, wrap, true);
      EXPECT_EQ(canvas->Font()->Height(), expected) << length << " bytes, wrap " << wrap;
      // The text is drawn whole, measured as the final size lays it out.
      ASSERT_FALSE(TextOps().empty());
      EXPECT_EQ(TextOps().back().Text, text);
    }
  }
}

TEST_F(TextRenderingTest, RectanglesAtTheEndsOfTheCoordinateRangeAreSafe) {
  BeginRecording();
  const TRect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  const TRect inverted{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (uint8_t placement : {0, 1, 2}) {
    ShowText(canvas, "edge", huge, placement, placement, true, true);
    ShowText(canvas, "edge", inverted, placement, placement, true, true);
    ShowTextVertically(canvas, "edge", huge, placement, placement, true);
    ShowTextVertically(canvas, "edge", inverted, placement, placement, true);
  }
  EXPECT_EQ(TextOps().size(), 12u);
}

TEST_F(TextRenderingTest, TextDrawnToAPdfReadsBack) {
  const std::string pdf = UsePdf("page");
  printer->BeginDoc();
  ShowText(canvas, "Invoice total \x80 42", TRect{100, 100, 2000, 300}, 0, 0, false, false);
  ShowText(canvas, "First line\r\nSecond line", TRect{100, 400, 2000, 800}, 2, 1, true, false);
  ShowTextVertically(canvas, "Caf\xE9 upward", TRect{2100, 100, 2300, 1300}, 0, 2, true);
  printer->EndDoc();
  const std::string text = test::RunCommandWithStatus("pdftotext -q '" + pdf + "' -").Output;
  EXPECT_NE(text.find("Invoice total € 42"), std::string::npos) << text;
  EXPECT_NE(text.find("First line"), std::string::npos) << text;
  EXPECT_NE(text.find("Second line"), std::string::npos) << text;
  EXPECT_NE(text.find("Café upward"), std::string::npos) << text;
}

} // namespace
} // namespace mivora
