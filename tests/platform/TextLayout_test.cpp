// The text engine as the device operations show it: line heights, line breaking,
// tabs, 8-bit strings, rotated text, and the same layout on every target.
#include "Gdi.h"

#include "Canvas.h"
#include "PrinterFixture.h"
#include "Printer.h"
#include "TestSupport.h"
#include "TextEncoding.h"
#include "TextLayout_p.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mivora {
namespace {

const uint32_t kFormat = DT_EXPANDTABS | DT_NOPREFIX;

using test::InkBounds;

class TextLayoutTest : public test::PrinterFixture {
protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    printer->SetResolution(600);
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetStyle(0);
    canvas->Font()->SetHeight(50);
    canvas->Font()->SetColor(clBlack);
  }

  TSize Extent(const std::string& Text) {
    TSize size;
    EXPECT_TRUE(GetTextExtentPoint32A(canvas->GetHandle(), Text.data(),
                                      static_cast<int>(Text.size()), &size));
    return size;
  }
  int Width(const std::string& Text) { return Extent(Text).cx; }
  // The rectangle DT_CALCRECT makes of Text in a rectangle of the given width at (10, 20).
  TRect Measure(const std::string& Text, int32_t RectWidth, uint32_t Format = kFormat) {
    TRect rect{10, 20, 10 + RectWidth, 20};
    const int height = DrawTextA(canvas->GetHandle(), Text.data(), static_cast<int>(Text.size()),
                                 &rect, Format | DT_CALCRECT);
    EXPECT_EQ(height, rect.Bottom - rect.Top);
    EXPECT_EQ(rect.Left, 10);
    EXPECT_EQ(rect.Top, 20);
    return rect;
  }
  int Lines(const std::string& Text, int32_t RectWidth, uint32_t Format = kFormat) {
    const TRect rect = Measure(Text, RectWidth, Format);
    return (rect.Bottom - rect.Top) / Extent(" ").cy;
  }
  int MeasuredWidth(const std::string& Text, int32_t RectWidth, uint32_t Format = kFormat) {
    const TRect rect = Measure(Text, RectWidth, Format);
    return rect.Right - rect.Left;
  }
  // Starts a job on a small PNG page at 600 dots per inch.
  void BeginPng(const std::string& Name) {
    png_ = UsePng(Name, 600, 60, 40);
    printer->BeginDoc();
  }
  test::TImage EndPng() { return EndAndLoad(png_); }

  std::string png_;
};

TEST_F(TextLayoutTest, LineHeightFollowsTheDeviceHeightRules) {
  // A positive height is the whole cell: ascent plus descent, no extra leading.
  EXPECT_EQ(Extent(" ").cy, 50);
  EXPECT_EQ(Extent("Mivora").cy, 50);

  // A negative height is the character height, so the cell is taller than it...
  canvas->Font()->SetHeight(-40);
  const TSize character = Extent("Mivora layout");
  EXPECT_GT(character.cy, 40);
  // ...and the same face with that cell height is the same font, but for the
  // cell's rounding to whole pixels (at most half a pixel in cy).
  canvas->Font()->SetHeight(character.cy);
  EXPECT_NEAR(Extent("Mivora layout").cx, character.cx, character.cx / (2.0 * character.cy) + 1);

  // Height 0 is 10 points at the vertical resolution: 100 pixels at 720 dots per inch.
  printer->SetResolution(720);
  canvas->Font()->SetHeight(0);
  const TSize byDefault = Extent("Mivora layout");
  canvas->Font()->SetHeight(-100);
  EXPECT_EQ(Extent("Mivora layout"), byDefault);
}

TEST_F(TextLayoutTest, CarriageReturnLineFeedAndThePairEachStartALine) {
  for (uint32_t wrap : {0u, DT_WORDBREAK}) {
    SCOPED_TRACE(wrap);
    EXPECT_EQ(Lines("a\rb\nc\r\nd", 1000, kFormat | wrap), 4);
    EXPECT_EQ(Lines("a\n\rb", 1000, kFormat | wrap), 3) << "LF then CR are two breaks";
    EXPECT_EQ(Lines("\r\n\r\nx", 1000, kFormat | wrap), 3) << "empty lines count";
    EXPECT_EQ(Lines("a\r\n", 1000, kFormat | wrap), 1) << "a closing break adds no line";
    EXPECT_EQ(Lines("", 1000, kFormat | wrap), 0);
    EXPECT_EQ(MeasuredWidth("ab\r\nabcd\nabc", 1000, kFormat | wrap), Width("abcd"));
  }
}

TEST_F(TextLayoutTest, WordBreakBreaksAtSpacesOnly) {
  const uint32_t wrap = kFormat | DT_WORDBREAK;
  const int oneTwo = Width("one two");
  EXPECT_EQ(Lines("one two three", oneTwo, wrap), 2);
  EXPECT_EQ(MeasuredWidth("one two three", oneTwo, wrap), oneTwo);
  EXPECT_EQ(Lines("one two three", oneTwo - 1, wrap), 3);
  EXPECT_EQ(MeasuredWidth("one two three", oneTwo - 1, wrap),
            std::max({Width("one"), Width("two"), Width("three")}));

  // The spaces at a break belong to neither line.
  EXPECT_EQ(Lines("aaa       bbb", Width("aaa"), wrap), 2);
  EXPECT_EQ(MeasuredWidth("aaa       bbb", Width("aaa"), wrap), std::max(Width("aaa"), Width("bbb")));

  // Hyphens and other punctuation are no break points.
  EXPECT_EQ(Lines("well-known,fine", Width("well-"), wrap), 1);

  // Without the flag nothing wraps.
  EXPECT_EQ(Lines("one two three", oneTwo - 1), 1);
  EXPECT_EQ(MeasuredWidth("one two three", oneTwo - 1), Width("one two three"));
}

TEST_F(TextLayoutTest, AWordLongerThanTheLineOverflowsWhole) {
  const uint32_t wrap = kFormat | DT_WORDBREAK;
  const std::string word = "Supercalifragilistic";
  EXPECT_EQ(Lines(word + " is long", 100, wrap), 3);
  EXPECT_EQ(MeasuredWidth(word + " is long", 100, wrap), Width(word));
  EXPECT_GT(Width(word), 100);
  // Even a rectangle of no width keeps every word whole on a line of its own.
  EXPECT_EQ(Lines("a b c", 0, wrap), 3);
}

TEST_F(TextLayoutTest, AmpersandsPrintAsThemselvesWithNoPrefix) {
  EXPECT_EQ(MeasuredWidth("Fish & Chips && more", 1000), Width("Fish & Chips && more"));
  // Without DT_NOPREFIX "&&" is one ampersand and a lone one vanishes.
  EXPECT_EQ(MeasuredWidth("Fish && Chips", 1000, DT_LEFT), Width("Fish & Chips"));
  EXPECT_EQ(MeasuredWidth("&File", 1000, DT_LEFT), Width("File"));
}

TEST_F(TextLayoutTest, TabsAdvanceToStopsEveryEightAverageCharacters) {
  const int stop = MeasuredWidth("\tx", 1000) - Width("x");
  EXPECT_GT(stop, 6 * Width("e") / 2) << "about 8 average characters";
  EXPECT_LT(stop, 10 * Width("e"));
  EXPECT_NEAR(MeasuredWidth("\t\tx", 1000), 2 * stop + Width("x"), 1);
  // Stops are measured from the start of the line, not from the previous tab.
  EXPECT_EQ(MeasuredWidth("ab\tx", 1000), MeasuredWidth("\tx", 1000));
  EXPECT_EQ(MeasuredWidth("a\r\nab\tx", 1000), MeasuredWidth("\tx", 1000));
  // Without DT_EXPANDTABS a tab reads as a space.
  EXPECT_EQ(MeasuredWidth("a\tb", 1000, DT_NOPREFIX), Width("a b"));
}

TEST_F(TextLayoutTest, BytesThatAreNotUtf8ReadAsWindows1252) {
  EXPECT_EQ(Width("\xE9t\xE9"), Width("été"));
  EXPECT_EQ(Width("\x80 5"), Width("€ 5"));
  EXPECT_EQ(MeasuredWidth("caf\xE9", 1000), Width("café"));
  EXPECT_GT(Width(std::string("a\0b", 3)), 0) << "a NUL byte does not end the text";
  EXPECT_EQ(Width(std::string("a\0b", 3)), Width("ab"));
}

TEST_F(TextLayoutTest, OneLineExtentReadsLineBreaksAndTabsAsSpaces) {
  const TSize spaced = Extent("first second");
  EXPECT_EQ(Extent("first\r\nsecond"), spaced);
  EXPECT_EQ(Extent("first\rsecond"), spaced);
  EXPECT_EQ(Extent("first\nsecond"), spaced);
  EXPECT_EQ(Extent("first\tsecond"), spaced);
  EXPECT_EQ(Extent("").cx, 0);
  EXPECT_EQ(Extent("").cy, 50);
}

TEST_F(TextLayoutTest, BreaksAndExtentsAreTheSameOnEveryTarget) {
  const std::string text = "Quarterly figures\tfor the\r\nnorthern region, with a rather long "
                           "closing sentence that wraps";
  auto measureAll = [&] {
    std::vector<int32_t> values;
    for (int32_t width : {80, 333, 500, 1200}) {
      const TRect rect = Measure(text, width, kFormat | DT_WORDBREAK | DT_CENTER);
      values.push_back(rect.Right);
      values.push_back(rect.Bottom);
    }
    values.push_back(Width(text));
    return values;
  };
  std::vector<std::vector<int32_t>> results;
  const std::vector<std::string> targets{"png:" + OutputFile("page.png"),
                                         "pdf:" + OutputFile("page.pdf"),
                                         "svg:" + OutputFile("page.svg"),
                                         "ps:" + OutputFile("page.ps"), "record:"};
  for (const std::string& target : targets) {
    printer->SetTarget(target);
    printer->BeginDoc();
    results.push_back(measureAll());
    printer->Abort();
  }
  results.push_back(measureAll());  // and without a job
  for (size_t i = 1; i < results.size(); ++i) EXPECT_EQ(results[i], results[0]) << "target " << i;
}

TEST_F(TextLayoutTest, DrawingIsRecordedButMeasuringIsNot) {
  printer->BeginDoc();
  HDC dc = canvas->GetHandle();
  TRect rect{10, 20, 300, 400};
  DrawTextA(dc, "measured", -1, &rect, kFormat | DT_CALCRECT);
  TSize size;
  GetTextExtentPoint32A(dc, "measured", 8, &size);
  canvas->TextWidth("measured");
  rect = TRect{10, 20, 300, 400};
  DrawTextA(dc, "drawn", -1, &rect, kFormat | DT_CENTER);
  const TRect clip{5, 6, 70, 80};
  ExtTextOutA(dc, 7, 8, ETO_CLIPPED, &clip, "line", 4, nullptr);
  printer->EndDoc();

  std::vector<std::string> text;
  for (const TDrawOp& op : printer->RecordedOps()) {
    if (op.Name == "DrawText" || op.Name == "ExtTextOut") text.push_back(op.ToString());
  }
  ASSERT_EQ(text.size(), 2u);
  const std::vector<TDrawOp> expected{
      {"DrawText", {10, 20, 300, 400, static_cast<int64_t>(kFormat | DT_CENTER)}, "drawn"},
      {"ExtTextOut", {7, 8, ETO_CLIPPED, 5, 6, 70, 80}, "line"}};
  EXPECT_EQ(text[0], expected[0].ToString());
  EXPECT_EQ(text[1], expected[1].ToString());
}

TEST_F(TextLayoutTest, DrawingNeedsAJobButMeasuringDoesNot) {
  HDC dc = canvas->GetHandle();
  TRect rect{0, 0, 100, 100};
  EXPECT_THROW_MSG(DrawTextA(dc, "x", 1, &rect, kFormat), EPrinterError,
                   "Cannot draw DrawText: no print job is open");
  EXPECT_THROW_MSG(ExtTextOutA(dc, 0, 0, 0, nullptr, "x", 1, nullptr), EPrinterError,
                   "Cannot draw ExtTextOut: no print job is open");
  EXPECT_EQ(DrawTextA(dc, "x", 1, &rect, kFormat | DT_CALCRECT), 50);
}

TEST_F(TextLayoutTest, TurnedTextRunsUpwardFromItsReferencePoint) {
  BeginPng("turned-text");
  HDC dc = canvas->GetHandle();
  LOGFONTA record;
  GetObjectA(canvas->Font()->Handle(), sizeof(record), &record);
  record.lfEscapement = 900;
  HFONT turned = CreateFontIndirectA(&record);
  HGDIOBJ previous = SelectObject(dc, turned);
  TSize size;
  GetTextExtentPoint32A(dc, "Upward", 6, &size);
  ExtTextOutA(dc, 300, 600, 0, nullptr, "Upward", 6, nullptr);
  SelectObject(dc, previous);
  DeleteObject(turned);

  // The ink lies in the band from X to X + line height and Y - length to Y;
  // glyphs do not fill their cells to the edge, hence the tolerance.
  const TRect ink = InkBounds(EndPng());
  EXPECT_GE(ink.Left, 300);
  EXPECT_LE(ink.Right, 300 + size.cy);
  EXPECT_GE(ink.Top, 600 - size.cx);
  EXPECT_LE(ink.Bottom, 600);
  EXPECT_NEAR(ink.Top, 600 - size.cx, 8);
  EXPECT_NEAR(ink.Bottom, 600, 8);
  EXPECT_GT(ink.Bottom - ink.Top, ink.Right - ink.Left) << "taller than wide: it runs upward";
}

TEST_F(TextLayoutTest, OpaqueFillsAndClippedCutsOff) {
  BeginPng("opaque-clipped");
  canvas->Brush()->SetColor(0x000000);
  HDC dc = canvas->GetHandle();
  const TRect filled{20, 30, 60, 70};
  ExtTextOutA(dc, 20, 30, ETO_OPAQUE, &filled, "", 0, nullptr);
  canvas->Font()->SetHeight(200);
  dc = canvas->GetHandle();
  const TRect clip{400, 100, 460, 400};
  ExtTextOutA(dc, 400, 100, ETO_CLIPPED, &clip, "MMMMMM", 6, nullptr);

  const test::TImage page = EndPng();
  EXPECT_EQ(InkBounds(page, {0, 0, 200, 200}), filled);
  const TRect text = InkBounds(page, {200, 0, 2000, 1000});
  EXPECT_GE(text.Left, 400);
  EXPECT_EQ(text.Right, 460) << "cut off at the clip's right edge";
}

TEST_F(TextLayoutTest, UnderlineAndStrikeOutDrawLinesButKeepTheLayout) {
  const int plain = Width("ace");
  canvas->Font()->SetStyle(FONT_UNDERLINE | FONT_STRIKEOUT);
  EXPECT_EQ(Width("ace"), plain);

  BeginPng("underline");
  canvas->Font()->SetStyle(0);
  TRect left{100, 100, 400, 200};
  DrawTextA(canvas->GetHandle(), "ace", 3, &left, kFormat);
  canvas->Font()->SetStyle(FONT_UNDERLINE);
  TRect right{500, 100, 800, 200};
  DrawTextA(canvas->GetHandle(), "ace", 3, &right, kFormat);

  // "ace" has no descenders: only the underline reaches below its baseline.
  const test::TImage page = EndPng();
  const TRect bare = InkBounds(page, {0, 0, 450, 300});
  const TRect underlined = InkBounds(page, {450, 0, 1000, 300});
  EXPECT_EQ(underlined.Top, bare.Top);
  EXPECT_GT(underlined.Bottom, bare.Bottom);
}


TEST_F(TextLayoutTest, LinesOfThousandsOfEmsKeepGrowingWithTheirText) {
  // Beyond some ten thousand characters a line no longer fits the text engine's
  // coordinates in one piece; its extent must still be that of its characters.
  auto words = [](size_t Count) {
    std::string text;
    for (size_t i = 0; i < Count; ++i) text += "mmmmm ";
    return text;
  };
  const double short_ = Width(words(1000));
  for (size_t count : {3000, 10000, 40000}) {
    const double expected = short_ * static_cast<double>(count) / 1000.0;
    EXPECT_NEAR(Width(words(count)), expected, expected * 0.001) << count << " words";
    EXPECT_NEAR(MeasuredWidth(words(count), 100), expected, expected * 0.001) << count << " words, unbroken";
  }
  // Drawn turned upward, such a line still starts at its reference point.
  BeginPng("long-line-upward");
  canvas->Font()->SetHeight(40);
  HDC dc = canvas->GetHandle();
  LOGFONTA record;
  GetObjectA(canvas->Font()->Handle(), sizeof(record), &record);
  record.lfEscapement = 900;
  HFONT turned = CreateFontIndirectA(&record);
  HGDIOBJ previous = SelectObject(dc, turned);
  const std::string text = words(20000);
  ExtTextOutA(dc, 300, 900, 0, nullptr, text.data(), static_cast<uint32_t>(text.size()), nullptr);
  SelectObject(dc, previous);
  DeleteObject(turned);
  const TRect ink = InkBounds(EndPng());
  EXPECT_NEAR(ink.Bottom, 900, 8);
  EXPECT_LE(ink.Top, 10) << "it runs to the top of the page";
}

// Line breaking checked against the plainest rule there is: each line takes its
// first word, then one word after another while the line laid out alone still
// fits. The engine finds the same lines by estimating where they end.
class LineBreakingTest : public ::testing::Test {
protected:
  static LOGFONTA Record(int32_t Height) {
    LOGFONTA record;
    std::memcpy(record.lfFaceName, "Arial", 6);
    record.lfHeight = Height;
    return record;
  }

  // The lines by the plain rule, for UTF-8 text with no NUL and tabs kept.
  static std::vector<TTextLine> PlainLines(const TTextFont& Font, std::string_view Text,
                                           double MaxWidth) {
    std::vector<TTextLine> lines;
    size_t begin = 0;
    while (begin < Text.size()) {
      size_t end = Text.find_first_of("\r\n", begin);
      if (end == std::string_view::npos) end = Text.size();
      const std::string_view paragraph = Text.substr(begin, end - begin);
      size_t i = paragraph.find_first_not_of(' ');
      if (i == std::string_view::npos) lines.push_back({});
      size_t start = 0;
      while (i != std::string_view::npos) {
        size_t wordEnd = std::min(paragraph.find(' ', i), paragraph.size());
        for (;;) {
          const size_t next = paragraph.find_first_not_of(' ', wordEnd);
          if (next == std::string_view::npos) break;
          const size_t nextEnd = std::min(paragraph.find(' ', next), paragraph.size());
          if (Font.LineWidth(paragraph.substr(start, nextEnd - start), true) > MaxWidth + 1e-3) break;
          wordEnd = nextEnd;
        }
        const std::string line(paragraph.substr(start, wordEnd - start));
        lines.push_back({line, Font.LineWidth(line, true)});
        i = paragraph.find_first_not_of(' ', wordEnd);
        start = i;
      }
      if (end + 1 < Text.size() && Text[end] == '\r' && Text[end + 1] == '\n') ++end;
      begin = end + 1;
    }
    return lines;
  }

  static void ExpectPlainLines(const TTextFont& Font, const std::string& Text, double MaxWidth) {
    TFormatOptions options;
    options.MaxWidth = MaxWidth;
    options.WordBreak = true;
    options.ExpandTabs = true;
    options.NoPrefix = true;
    const std::vector<TTextLine> actual = FormatLines(Font, Text, options);
    const std::vector<TTextLine> expected = PlainLines(Font, ToUtf8(Text), MaxWidth);
    ASSERT_EQ(actual.size(), expected.size()) << "width " << MaxWidth << ", text " << Text.substr(0, 80);
    double widest = 0;
    for (const TTextLine& line : expected) widest = std::max(widest, line.Width);
    for (size_t i = 0; i < actual.size(); ++i) {
      ASSERT_EQ(actual[i].Text, expected[i].Text) << "line " << i << ", width " << MaxWidth;
      if (actual[i].Estimated) {
        // Not laid out: its width is drawn as laid out, and it is not the widest.
        ASSERT_EQ(Font.LineWidth(actual[i].Text, true), expected[i].Width) << "line " << i;
        ASSERT_LT(actual[i].Width, widest) << "line " << i << ", width " << MaxWidth;
        ++estimated_;
      } else {
        ASSERT_EQ(actual[i].Width, expected[i].Width) << "line " << i << ", width " << MaxWidth;
      }
    }
  }

  // Lines found without being laid out, over all texts checked.
  static inline size_t estimated_ = 0;

  // Bytes of plain ASCII prose with words that kern against their neighbours
  // and against spaces ("AVAYA", "To.", "LT"), a line break now and then.
  static std::string AsciiText(uint32_t Seed, size_t Bytes) {
    static const char* const kWords[] = {"terms", "and", "AVAYA", "apply", "To.", "every", "LT", "order,",
                                         "placed", "Yes,", "the", "A", "T.", "y", "f", "Wave", "otherwise",
                                         "(agreed)", "1,234.56", "by", "fi", "VA"};
    std::string text;
    uint32_t state = Seed;
    while (text.size() < Bytes) {
      state = state * 1103515245u + 12345u;
      if (!text.empty()) text += (state >> 3) % 97 == 0 ? "\r\n" : ((state >> 5) % 13 == 0 ? "  " : " ");
      text += kWords[(state >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
    }
    return text;
  }

  // A text of Count pieces drawn from a mix of scripts, breaks and oddities.
  static std::string MixedText(uint32_t Seed, size_t Count) {
    static const char* const kPieces[] = {
        "word", "a", "typography", "Schweißnaht", "caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x96\x87",
        "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7", "\xf0\x9f\x93\xa6", "AV", "To.", "fi", "\t", "\r\n",
        "\n", "\r", "\xff\xfe", "\x93quoted\x94", "   ", "x\ty", "WWWWWWWWWWWWWWWWWWWWWWWW",
        "ZalgoZ\xcc\x81\xcc\x82\xcc\x83", "supercalifragilisticexpialidocious", "1,234.56"};
    std::string text;
    uint32_t state = Seed;
    for (size_t i = 0; i < Count; ++i) {
      state = state * 1664525u + 1013904223u;
      text += kPieces[(state >> 8) % (sizeof(kPieces) / sizeof(kPieces[0]))];
      if ((state >> 4) % 4 != 0) text.push_back(' ');
    }
    return text;
  }
};

TEST_F(LineBreakingTest, MixedTextsBreakAsTheyWouldWordByWord) {
  const TTextFont font(Record(60), 600);
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const std::string text = MixedText(seed, 120);
    for (double width : {1.0, 90.0, 250.0, 700.0, 2500.0}) ExpectPlainLines(font, text, width);
  }
}

TEST_F(LineBreakingTest, LongParagraphsAndWordsLongerThanAnEstimatePiece) {
  const TTextFont font(Record(40), 600);
  // One paragraph of some 6 KB, one word of 3000 letters in it, and text with no
  // space at all: the engine estimates in pieces of about a kilobyte.
  std::string text = MixedText(99, 400);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  text.insert(text.size() / 2, " " + std::string(3000, 'm') + " ");
  ExpectPlainLines(font, text, 400.0);
  ExpectPlainLines(font, std::string(2500, 'i') + " end", 400.0);
  // Tabs make the estimate wrong where the stops fall: the lines must not be.
  std::string tabs;
  for (int i = 0; i < 300; ++i) tabs += (i % 3 == 0 ? "\t\tcol " : "x\tv ");
  ExpectPlainLines(font, tabs, 600.0);
}

TEST_F(LineBreakingTest, LongPlainTextsBreakTheSameWithMostLinesNeverLaidOut) {
  // Past a few kilobytes lines are measured without keeping their layouts, and
  // lines the estimate puts well within the room are not measured at all.
  estimated_ = 0;
  for (int32_t height : {60, 23, -35}) {
    const TTextFont font(Record(height), 600);
    const std::string text = AsciiText(static_cast<uint32_t>(height + 100), 8000);
    for (double width : {1.0, 150.0, 333.0, 1110.0, 4000.0}) ExpectPlainLines(font, text, width);
  }
  EXPECT_GT(estimated_, 500u) << "most lines are taken on the estimate";
  // Widths wide enough for the longest line: every line fits, and the widest,
  // which decides the text's measured width, is laid out.
  const TTextFont font(Record(40), 600);
  const std::string text = AsciiText(3, 6000);
  for (double width : {2000.0, 2100.0, 2200.0}) ExpectPlainLines(font, text, width);
}

TEST_F(LineBreakingTest, TheSameTextBreaksTheSameAtEverySize) {
  // Shrinking asks for one text at size after size; estimates are kept between.
  const std::string text = MixedText(7, 300);
  for (int32_t height : {90, 81, 73, 66, 59, 7, 4}) {
    const TTextFont font(Record(height), 600);
    ExpectPlainLines(font, text, 500.0);
  }
}

TEST_F(LineBreakingTest, LinesMeasureTheSameWhileThousandsOfOthersComeAndGo) {
  // Labels repeat some lines on every one (a sender, a city) among lines seen
  // once: whatever the engine keeps or lets go of, a line measures as it did the
  // first time, and the same text with and without tab stops stays apart.
  const TTextFont font(Record(60), 600);
  const std::vector<std::string> repeated = {"Mivora GmbH", "Frankfurt am Main", "caf\xc3\xa9 AV To.",
                                             "a\tb"};
  std::vector<double> repeatedWidths;
  for (const std::string& line : repeated) repeatedWidths.push_back(font.LineWidth(line, false));
  const double tabbed = font.LineWidth("a\tb", true);
  EXPECT_NE(tabbed, repeatedWidths[3]) << "a tab stop is not a space";

  std::vector<std::pair<std::string, double>> seenOnce;
  for (int i = 0; i < 6000; ++i) {
    const std::string once = "Label " + std::to_string(i * 7919) + std::string(static_cast<size_t>(i % 13), 'i');
    const double width = font.LineWidth(once, false);
    if (i % 97 == 0) seenOnce.emplace_back(once, width);
    if (i % 50 == 0) {
      for (size_t k = 0; k < repeated.size(); ++k)
        ASSERT_EQ(font.LineWidth(repeated[k], false), repeatedWidths[k]) << repeated[k] << " after " << i;
      ASSERT_EQ(font.LineWidth("a\tb", true), tabbed) << "after " << i;
    }
  }
  for (const auto& [line, width] : seenOnce) EXPECT_EQ(font.LineWidth(line, false), width) << line;
}

TEST_F(TextLayoutTest, CentredAndRightAlignedLinesOfALongTextSitWhereTheirOwnWidthsPutThem) {
  // Most lines of a long text are found without being laid out; those drawn are
  // placed by their laid-out widths, exactly as each line drawn alone.
  std::string text;
  static const char* const kWords[] = {"AVAYA", "To.", "terms", "LT", "Wave", "y", "apply,", "VA", "fi"};
  for (uint32_t i = 0, state = 7; text.size() < 6000; ++i) {
    state = state * 1103515245u + 12345u;
    text += std::string(kWords[(state >> 16) % 9]) + " ";
  }
  const int32_t lineHeight = Extent(" ").cy;
  for (uint32_t align : {uint32_t{DT_CENTER}, uint32_t{DT_RIGHT}}) {
    BeginPng("long-aligned");
    TRect rect{100, 100, 800, 100};
    DrawTextA(canvas->GetHandle(), text.data(), static_cast<int>(text.size()), &rect,
              kFormat | DT_WORDBREAK | align);
    const test::TImage whole = EndPng();

    TFormatOptions options;
    options.MaxWidth = 700;
    options.WordBreak = options.ExpandTabs = options.NoPrefix = true;
    BeginPng("long-aligned-lines");
    const std::vector<TTextLine> lines = FormatLines(TextFontOf(*canvas->GetHandle()), text, options);
    ASSERT_GT(lines.size(), 30u);
    int estimated = 0;
    for (size_t i = 0; i < 30; ++i) {
      estimated += lines[i].Estimated ? 1 : 0;
      TRect one{100, 100 + static_cast<int32_t>(i) * lineHeight, 800, 0};
      DrawTextA(canvas->GetHandle(), lines[i].Text.data(), static_cast<int>(lines[i].Text.size()), &one,
                kFormat | align);
    }
    const test::TImage alone = EndPng();
    EXPECT_GT(estimated, 5) << "the test needs lines found on the estimate";
    EXPECT_TRUE(test::ImagesMatch(whole, alone, align == DT_CENTER ? "long-centred" : "long-right"));
  }
}

TEST_F(TextLayoutTest, PiecesOfALongLineFarOutsideTheClipAreNotDrawn) {
  // A line of thousands of ems is drawn in pieces; only those near the clip are.
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "n" + std::to_string(i) + " ";
  const TRect clip{100, 200, 700, 400};
  auto draw = [&](bool Clipped) {
    ExtTextOutA(canvas->GetHandle(), 100, 250, Clipped ? ETO_CLIPPED : 0, &clip, text.data(),
                static_cast<uint32_t>(text.size()), nullptr);
  };
  BeginPng("long-line-clipped");
  draw(true);
  const test::TImage clipped = EndPng();
  BeginPng("long-line-whole");
  draw(false);
  const test::TImage whole = EndPng();
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      ASSERT_EQ(clipped.PixelAt(x, y), whole.PixelAt(x, y)) << "at " << x << "," << y;
    }
  }
  EXPECT_GT(InkBounds(clipped).Right, clip.Right - 60) << "the visible pieces are drawn to the clip's edge";

  const std::string pdf = UsePdf("long-line-clipped");
  printer->BeginDoc();
  draw(true);
  printer->EndDoc();
  const std::string extracted = test::RunCommand("pdftotext -raw '" + pdf + "' -");
  EXPECT_NE(extracted.find("n0 n1 n2"), std::string::npos) << extracted.substr(0, 200);
  EXPECT_EQ(extracted.find("n3000"), std::string::npos);
}

TEST_F(TextLayoutTest, LinesFarOutsideTheClipAreNotDrawnYetTheVisibleOnesAre) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line" + std::to_string(i) + " of the long notes field\n";
  const TRect clip{100, 300, 900, 500};
  auto draw = [&](bool Clipped) {
    HDC dc = canvas->GetHandle();
    if (Clipped) IntersectClipRect(dc, clip.Left, clip.Top, clip.Right, clip.Bottom);
    TRect rect{100, 120, 900, 0};
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &rect, kFormat);
    SelectClipRgn(dc, nullptr);
  };
  BeginPng("clipped-long");
  draw(true);
  const test::TImage clipped = EndPng();
  BeginPng("unclipped-long");
  draw(false);
  const test::TImage whole = EndPng();
  // Inside the clip both pages show the same lines, to the pixel.
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      ASSERT_EQ(clipped.PixelAt(x, y), whole.PixelAt(x, y)) << "at " << x << "," << y;
    }
  }
  const TRect ink = InkBounds(clipped, {0, 0, clipped.Width(), clipped.Height()});
  EXPECT_GE(ink.Top, clip.Top);
  EXPECT_LE(ink.Bottom, clip.Bottom);
  EXPECT_GT(ink.Bottom - ink.Top, 150) << "the clip is full of lines";

  // A PDF holds the visible lines' text and not that of lines far below.
  const std::string pdf = UsePdf("clipped-long");
  printer->BeginDoc();
  draw(true);
  printer->EndDoc();
  const std::string extracted = test::RunCommand("pdftotext -layout '" + pdf + "' -");
  EXPECT_NE(extracted.find("line5 of"), std::string::npos);
  EXPECT_EQ(extracted.find("line300 of"), std::string::npos);
}

} // namespace
} // namespace mivora
