// The rich-edit control: plain text, markup and RTF read into paragraphs, clear
// errors for malformed input, and formatting requests that draw whole lines only.
#include "RichEdit.h"

#include "Canvas.h"
#include "Gdi.h"
#include "ImageCompare.h"
#include "Mivora.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

constexpr TColor Red = 0x0000FF;
constexpr TColor Blue = 0xFF0000;

std::string DataFile(const std::string& Name) { return std::string(MIVORA_TEST_DATA_DIR) + "/" + Name; }

std::string WriteFile(const std::string& Name, const std::string& Bytes) {
  const std::string path = OutputDir() + "/RichEdit_test-" + Name;
  std::ofstream(path, std::ios::binary) << Bytes;
  return path;
}

std::string PdfText(const std::string& Pdf) { return RunCommand("pdftotext -q '" + Pdf + "' -"); }

// A word of a PDF page as pdftotext places it, in points from the page's top-left.
struct TWord {
  std::string Text;
  double Left, Top, Right, Bottom;
};

std::vector<TWord> PdfWords(const std::string& Pdf) {
  const std::string html = RunCommand("pdftotext -q -bbox '" + Pdf + "' -");
  static const std::regex word(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
  std::vector<TWord> words;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it) {
    words.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                     std::stod((*it)[4])});
  }
  return words;
}

const TWord* Find(const std::vector<TWord>& Words, const std::string& Text) {
  for (const TWord& word : Words) {
    if (word.Text == Text) return &word;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Reading

TEST(RichEditContent, PlainTextSplitsParagraphsAtEveryKindOfLineBreak) {
  TRichEdit edit(nullptr);
  edit.SetText("one\r\ntwo\rthree\nfour\n");
  EXPECT_EQ(edit.Text(), "one\ntwo\nthree\nfour"); // a break at the very end adds nothing
  EXPECT_EQ(edit.TextLength(), 18);
  edit.SetText("caf\xE9 \xE2\x82\xAC"); // a Windows-1252 byte and a UTF-8 euro sign
  EXPECT_EQ(edit.Text(), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(edit.TextLength(), 6);
  edit.SetText("");
  EXPECT_EQ(edit.TextLength(), 0);
}

TEST(RichEditContent, RtfEscapesBecomeTheirCharacters) {
  TRichEdit edit(nullptr);
  edit.SetRtf("{\\rtf1\\ansi na\\'efve \\u8364? \\u-10179?\\u-8704? \\{x\\}\\\\\\~y\\par "
              "a\\tab b\\line c\\emdash d}");
  EXPECT_EQ(edit.Text(), "na\xC3\xAFve \xE2\x82\xAC \xF0\x9F\x98\x80 {x}\\\xC2\xA0y\n"
                         "a\tb\xE2\x80\xA8" "c\xE2\x80\x94" "d");
  // \uc says how many characters stand in for each \u: they are skipped.
  edit.SetRtf("{\\rtf1 \\uc2\\u8364\\'80\\'80 end {\\uc0\\u8364 x}\\u8364?}");
  EXPECT_EQ(edit.Text(), "\xE2\x82\xAC end \xE2\x82\xAC" "x\xE2\x82\xAC");
}

TEST(RichEditContent, RtfTablesInfoAndUnknownDestinationsAreNotText) {
  TRichEdit edit(nullptr);
  edit.SetRtf("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1{\\*\\panose 02020603}Times;}}"
              "{\\colortbl;\\red255\\green0\\blue0;}{\\*\\shiny hidden}{\\info{\\title T}}"
              "{\\stylesheet{\\s0 Normal;}}\\unknownword12 Visible\\par{\\b nested} text\\par}");
  EXPECT_EQ(edit.Text(), "Visible\nnested text"); // the last \par starts no empty paragraph
  edit.SetRtf("{\\rtf1 a\\par\\par b\\bin2 {}\\par}");
  EXPECT_EQ(edit.Text(), "a\n\nb"); // binary data is skipped, braces in it included
  EXPECT_EQ(edit.TextLength(), 4);
}

TEST(RichEditContent, MalformedRtfNamesTheFaultAndItsByteAndKeepsTheContent) {
  TRichEdit edit(nullptr);
  edit.SetText("kept");
  EXPECT_THROW_MSG(edit.SetRtf("Hello"), ERichEditError,
                   "Malformed RTF: the text does not start with {\\rtf at byte 0");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 {\\b abc}"), ERichEditError,
                   "Malformed RTF: unbalanced braces, 1 group not closed at the end of the text at byte 15");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 {{a}"), ERichEditError,
                   "Malformed RTF: unbalanced braces, 2 groups not closed at the end of the text at byte 11");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 a}}"), ERichEditError,
                   "Malformed RTF: unbalanced braces, a '}' without a matching '{' at byte 9");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 a}x"), ERichEditError,
                   "Malformed RTF: unexpected data after the end of the document at byte 9");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 a\\'4"), ERichEditError,
                   "Malformed RTF: truncated \\' escape at byte 8");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 a\\'zz}"), ERichEditError,
                   "Malformed RTF: invalid \\' escape (two hexadecimal digits expected) at byte 8");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 a\\"), ERichEditError,
                   "Malformed RTF: truncated control word at byte 8");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 \\bin10 ab}"), ERichEditError,
                   "Malformed RTF: truncated \\bin data at byte 7");
  EXPECT_THROW_MSG(edit.SetRtf("{\\rtf1 " + std::string(100000, '{')), ERichEditError,
                   "Malformed RTF: groups nested deeper than 256 at byte 262");
  EXPECT_EQ(edit.Text(), "kept");
}

TEST(RichEditContent, MarkupIsParsedAndMalformedMarkupIsRefused) {
  TRichEdit edit(nullptr);
  edit.SetMarkup("<b>bold</b> and <i>italic</i>\n<span foreground='red'>second</span>");
  EXPECT_EQ(edit.Text(), "bold and italic\nsecond");
  try {
    edit.SetMarkup("<b>bold</i>");
    ADD_FAILURE() << "malformed markup was accepted";
  } catch (const ERichEditError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Malformed markup: ")) << e.what();
  }
  EXPECT_EQ(edit.Text(), "bold and italic\nsecond");
}

TEST(RichEditContent, LoadFromFileChoosesTheReaderAndNamesTheFileInErrors) {
  TRichEdit edit(nullptr);
  edit.LoadFromFile(DataFile("sample.rtf"));
  EXPECT_TRUE(edit.Text().starts_with("Quarterly report\nThis paragraph is bold, italic,"))
      << edit.Text();
  EXPECT_NE(edit.Text().find("Prices in \xE2\x82\xAC (euro), na\xC3\xAFve caf\xC3\xA9"),
            std::string::npos);

  edit.LoadFromFile(WriteFile("text.pango", "<b>marked</b> up"));
  EXPECT_EQ(edit.Text(), "marked up");
  edit.LoadFromFile(WriteFile("plain.txt", "<b>not markup</b>"));
  EXPECT_EQ(edit.Text(), "<b>not markup</b>");

  const std::string broken = WriteFile("broken.rtf", "{\\rtf1 abc");
  EXPECT_THROW_MSG(edit.LoadFromFile(broken), ERichEditError,
                   "Malformed RTF in \"" + broken +
                       "\": unbalanced braces, 1 group not closed at the end of the text at byte 10");
  const std::string missing = OutputDir() + "/no-such.rtf";
  EXPECT_THROW_MSG(edit.LoadFromFile(missing), ERichEditError,
                   "Cannot read rich text file \"" + missing + "\": No such file or directory");
  EXPECT_EQ(edit.Text(), "<b>not markup</b>");
}

// ---------------------------------------------------------------------------
// Formatting requests

class RichEditFormatting : public PrinterFixture {
protected:
  // Sends EM_FORMATRANGE for the twips rectangle Rc and the range [CpMin, CpMax).
  intptr_t Format(TRichEdit& Edit, TRect Rc, int32_t CpMin = 0, int32_t CpMax = -1,
                  bool Render = true) {
    FORMATRANGE range{};
    range.hdc = printer->GetHandle();
    range.hdcTarget = range.hdc;
    range.rc = Rc;
    range.rcPage = Rc;
    range.chrg = {CpMin, CpMax};
    return SendMessageA(&Edit, EM_FORMATRANGE, Render ? 1 : 0, reinterpret_cast<intptr_t>(&range));
  }

  static std::string TenLines() {
    std::string text;
    for (int i = 0; i < 10; ++i) text += "Line " + std::to_string(i) + "\n";
    return text;
  }
};

TEST_F(RichEditFormatting, OnlyWholeLinesAreDrawnAndTheRestFollowsOnTheNextRequest) {
  TRichEdit edit(nullptr);
  edit.SetText(TenLines()); // "Line 0" .. "Line 9", 7 characters each with the break
  const std::string pdf = UsePdf("whole-lines");
  printer->BeginDoc();
  // One inch holds six lines of 10 points (11.2 points each), not seven.
  const TRect inch{1440, 1440, 1440 * 5, 1440 * 2};
  EXPECT_EQ(Format(edit, inch), 42);
  printer->NewPage();
  EXPECT_EQ(Format(edit, inch, 42), 69);
  printer->EndDoc();

  const std::string text = PdfText(pdf);
  const size_t pageBreak = text.find('\f');
  ASSERT_NE(pageBreak, std::string::npos);
  const std::string first = text.substr(0, pageBreak);
  const std::string second = text.substr(pageBreak);
  EXPECT_NE(first.find("Line 5"), std::string::npos) << first;
  EXPECT_EQ(first.find("Line 6"), std::string::npos) << first;
  EXPECT_NE(second.find("Line 6"), std::string::npos) << second;
  EXPECT_NE(second.find("Line 9"), std::string::npos) << second;
  EXPECT_EQ(second.find("Line 5"), std::string::npos) << second;
}

TEST_F(RichEditFormatting, AWrappedParagraphStopsAtTheStartOfALine) {
  TRichEdit edit(nullptr);
  std::string words;
  for (int i = 0; i < 60; ++i) words += "word" + std::to_string(i) + " ";
  edit.SetText(words);
  printer->BeginDoc();
  const intptr_t next = Format(edit, {0, 0, 1440 * 2, 1440 / 2});
  ASSERT_GT(next, 0);
  ASSERT_LT(next, edit.TextLength());
  EXPECT_EQ(edit.Text()[static_cast<size_t>(next) - 1], ' ');
  EXPECT_EQ(edit.Text().substr(static_cast<size_t>(next), 4), "word");
  // Measuring answers the same without drawing or recording anything.
  const size_t recorded = printer->RecordedOps().size();
  EXPECT_EQ(Format(edit, {0, 0, 1440 * 2, 1440 / 2}, 0, -1, false), next);
  EXPECT_EQ(printer->RecordedOps().size(), recorded);
  // Nothing fits into a rectangle lower than one line.
  EXPECT_EQ(Format(edit, {0, 0, 1440 * 2, 20}), 0);
}

TEST_F(RichEditFormatting, TheRequestIsRecordedAndUnusableRequestsAreRefused) {
  TRichEdit edit(nullptr);
  edit.SetText("text");
  EXPECT_THROW_MSG(Format(edit, {0, 0, 1440, 1440}), ERichEditError,
                   "Cannot draw rich text: no print job is open");
  printer->BeginDoc();
  EXPECT_EQ(Format(edit, {10, 20, 3000, 4000}, 1, 3), 3);
  const TDrawOp& op = printer->RecordedOps().back();
  EXPECT_EQ(op.Name, "FormatRange");
  EXPECT_EQ(op.Args, (std::vector<int64_t>{10, 20, 3000, 4000, 1, 3}));

  FORMATRANGE noDevice{};
  EXPECT_THROW_MSG(edit.Perform(EM_FORMATRANGE, 1, reinterpret_cast<intptr_t>(&noDevice)),
                   ERichEditError, "Formatting request without a device context");
  EXPECT_EQ(edit.Perform(EM_FORMATRANGE, 0, 0), 0);
}

TEST_F(RichEditFormatting, RtfAlignmentSizeFaceAndStyleReachThePage) {
  TRichEdit edit(nullptr);
  edit.SetRtf("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}{\\f2 Courier New;}}"
              "\\qc Centre\\par\\qr Right\\par\\pard Left\\par"
              "\\fs24 Small\\par\\fs48 Large\\par\\fs24 "
              "plain {\\b bold} {\\i italic} {\\f1 serif} {\\f2 mono}\\par}");
  const std::string pdf = UsePdf("attributes");
  printer->BeginDoc();
  Format(edit, {1440, 1440, 1440 * 5, 1440 * 8}); // 72 to 360 points across
  printer->EndDoc();

  const std::vector<TWord> words = PdfWords(pdf);
  const TWord* centre = Find(words, "Centre");
  const TWord* right = Find(words, "Right");
  const TWord* left = Find(words, "Left");
  const TWord* small = Find(words, "Small");
  const TWord* large = Find(words, "Large");
  ASSERT_TRUE(centre && right && left && small && large) << RunCommand("pdftotext -bbox '" + pdf + "' -");
  // Side bearings of the glyphs leave the ink up to a point inside the margins.
  EXPECT_NEAR((centre->Left + centre->Right) / 2, 216.0, 1.0);
  EXPECT_NEAR(right->Right, 360.0, 1.0);
  EXPECT_NEAR(left->Left, 72.0, 1.0);
  EXPECT_LT(centre->Top, right->Top);
  EXPECT_LT(right->Top, left->Top);
  EXPECT_NEAR((large->Bottom - large->Top) / (small->Bottom - small->Top), 2.0, 0.05);

  const std::string fonts = RunCommand("pdffonts '" + pdf + "'");
  for (const char* face : {"LiberationSans ", "LiberationSans-Bold", "LiberationSans-Italic",
                           "LiberationSerif", "LiberationMono"}) {
    EXPECT_NE(fonts.find(face), std::string::npos) << face << "\n" << fonts;
  }
}

TEST_F(RichEditFormatting, RtfColoursUnderlineAndStrikeOutShowInThePixels) {
  const std::string path = UsePng("decoration", 72, 100, 60);
  TRichEdit coloured(nullptr);
  coloured.SetRtf("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                  "\\fs96\\b\\cf1 MM\\cf2 MM}");
  TRichEdit plain(nullptr);
  plain.SetRtf("{\\rtf1\\fs96 o}");
  TRichEdit underlined(nullptr);
  underlined.SetRtf("{\\rtf1\\fs96\\ul o}");
  TRichEdit struck(nullptr);
  struck.SetRtf("{\\rtf1\\fs96\\strike o}");
  printer->BeginDoc();
  // At 72 dpi a twip is a twentieth of a pixel.
  Format(coloured, {0, 0, 20 * 280, 20 * 60});
  Format(plain, {0, 20 * 80, 20 * 60, 20 * 140});
  Format(underlined, {20 * 80, 20 * 80, 20 * 140, 20 * 140});
  Format(struck, {20 * 160, 20 * 80, 20 * 220, 20 * 140});
  const TImage page = EndAndLoad(path);

  const TRect red = page.BoundsOf(Red);
  const TRect blue = page.BoundsOf(Blue);
  EXPECT_GT(page.CountOf(Red), 100);
  EXPECT_GT(page.CountOf(Blue), 100);
  EXPECT_LT(red.Right, blue.Left);

  auto inkIn = [&page](TRect Area) {
    int64_t count = 0;
    TRect bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
      for (int32_t x = Area.Left; x < Area.Right; ++x) {
        if (page.PixelAt(x, y) != clBlack) continue;
        ++count;
        bounds = {std::min(bounds.Left, x), std::min(bounds.Top, y), std::max(bounds.Right, x + 1),
                  std::max(bounds.Bottom, y + 1)};
      }
    }
    return std::make_pair(count, bounds);
  };
  const auto [plainInk, plainBounds] = inkIn({0, 80, 60, 140});
  const auto [underInk, underBounds] = inkIn({80, 80, 140, 140});
  const auto [strikeInk, strikeBounds] = inkIn({160, 80, 220, 140});
  ASSERT_GT(plainInk, 0);
  EXPECT_GT(underBounds.Bottom, plainBounds.Bottom); // a line below the letter
  EXPECT_GT(strikeInk, plainInk);                               // a line through it
  EXPECT_EQ(strikeBounds.Bottom, plainBounds.Bottom);
}

// ---------------------------------------------------------------------------
// Markup in a cell: the cell's alignment and font are the defaults

// A rich-text cell holding Markup, on Sheet (centimetres).
TCell* AddMarkup(TMivora& Sheet, const std::string& Name, const std::string& Markup, float Top,
                 uint8_t Alignment, float FontHeight = 0.6f) {
  auto edit = std::make_unique<TRichEdit>(nullptr);
  edit->SetMarkup(Markup);
  TCell* cell = Sheet.AddRichEdit(Name, edit.release(), 2, Top, 10, 2);
  cell->Alignment = Alignment;
  cell->Font.Height = FontHeight;
  return cell;
}

TEST_F(RichEditFormatting, MarkupInACellIsAlignedAndSizedAsTheCell) {
  const std::string pdf = UsePdf("markup-cells");
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  AddMarkup(sheet, "Left", "Alpha", 1, 0);
  AddMarkup(sheet, "Centre", "<b>Beta</b>", 4, 2);
  AddMarkup(sheet, "Right", "Gamma", 7, 1);
  AddMarkup(sheet, "Big", "Big", 10, 0, 1.2f);
  AddMarkup(sheet, "Small", "Small", 13, 0, 0.6f);
  // A paragraph's own size still wins over the cell's.
  AddMarkup(sheet, "Sized", "<span size='10pt'>Sized</span>", 16, 0, 1.2f);
  sheet.Print("markup cells");

  const std::vector<TWord> words = PdfWords(pdf);
  const TWord* alpha = Find(words, "Alpha");
  const TWord* beta = Find(words, "Beta");
  const TWord* gamma = Find(words, "Gamma");
  const TWord* big = Find(words, "Big");
  const TWord* small = Find(words, "Small");
  const TWord* sized = Find(words, "Sized");
  ASSERT_TRUE(alpha && beta && gamma && big && small && sized) << RunCommand("pdftotext -bbox '" + pdf + "' -");
  // The cells run from 2 cm to 12 cm (56.7 to 340.2 points) with a margin of a
  // twentieth of an inch (3.6 points) inside; glyph side bearings leave up to a
  // point between the margin and the ink.
  constexpr double cm = 72.0 / 2.54;
  EXPECT_NEAR(alpha->Left, 2 * cm + 3.6, 1.0);
  EXPECT_NEAR((beta->Left + beta->Right) / 2, 7 * cm, 1.0);
  EXPECT_NEAR(gamma->Right, 12 * cm - 3.6, 1.0);
  EXPECT_NEAR((big->Bottom - big->Top) / (small->Bottom - small->Top), 2.0, 0.05);
  // 10 points, not the cell's 1.2 cm: pdftotext's box is about 1.12 em in Liberation Sans.
  EXPECT_NEAR(sized->Bottom - sized->Top, 11.2, 0.3);
}

TEST_F(RichEditFormatting, MarkupTakesTheCellsFaceAndStylesUnlessItSaysOtherwise) {
  const std::string pdf = UsePdf("markup-faces");
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  TCell* cell = AddMarkup(sheet, "Serif",
                          "Serif <i>slanted</i> <span font_family='Liberation Mono' weight='normal'>mono</span>", 1, 0);
  cell->Font.Name = "Times New Roman";
  cell->Font.Style = fsBold;
  sheet.Print("markup faces");

  EXPECT_NE(PdfText(pdf).find("Serif slanted mono"), std::string::npos) << PdfText(pdf);
  const std::string fonts = RunCommand("pdffonts '" + pdf + "'");
  for (const char* face : {"LiberationSerif-Bold ", "LiberationSerif-BoldItalic", "LiberationMono "})
    EXPECT_NE(fonts.find(face), std::string::npos) << face << "\n" << fonts;
  // Neither the control's own default face nor a bold that the markup turned off.
  for (const char* face : {"LiberationSans", "LiberationMono-Bold"})
    EXPECT_EQ(fonts.find(face), std::string::npos) << face << "\n" << fonts;
}

TEST_F(RichEditFormatting, MarkupTakesTheCellsColourAndLinesUnlessItSaysOtherwise) {
  const std::string path = UsePng("markup-colour", 72, 110, 120); // 311 x 340 pixels
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtPixels);
  auto add = [&](const std::string& Name, const std::string& Markup, int32_t Top, TFontStyles Style) {
    auto edit = std::make_unique<TRichEdit>(nullptr);
    edit->SetMarkup(Markup);
    TCell* cell = sheet.AddRichEdit(Name, edit.release(), 0, static_cast<float>(Top), 300, 80);
    cell->Alignment = 0;
    cell->Font = TFontData{.Height = 60, .Style = Style, .Color = Red};
  };
  add("Red", "MM <span foreground='blue'>MM</span>", 0, fsBold);
  add("Plain", "o", 80, 0);
  add("Underlined", "o", 160, fsUnderline);
  add("Kept", "<span underline='none'>o</span>", 240, fsUnderline);
  sheet.Print("markup colour");
  const TImage page = TImage::Load(path);

  // The cell's red where the markup names no colour, the markup's blue where it does; nothing black.
  EXPECT_GT(page.CountOf(Red), 100);
  EXPECT_GT(page.CountOf(Blue), 100);
  EXPECT_LT(page.BoundsOf(Red).Right, page.BoundsOf(Blue).Left);
  EXPECT_EQ(page.CountOf(clBlack), 0);

  // The lowest red pixel of each cell, from the cell's top.
  auto lowestInk = [&page](int32_t Top) {
    int32_t lowest = -1;
    for (int32_t y = Top; y < Top + 80; ++y)
      for (int32_t x = 0; x < 300; ++x)
        if (page.PixelAt(x, y) == Red) lowest = y - Top;
    return lowest;
  };
  const int32_t plain = lowestInk(80);
  ASSERT_GT(plain, 0);
  EXPECT_GT(lowestInk(160), plain); // the cell's underline
  EXPECT_EQ(lowestInk(240), plain); // turned off by the markup
}

TEST_F(RichEditFormatting, OnlyMarkupTakesTheCellsFontRtfAndPlainTextKeepTheirOwn) {
  const std::string pdf = UsePdf("markup-only");
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  auto rtf = std::make_unique<TRichEdit>(nullptr);
  rtf->SetRtf("{\\rtf1 fromrtf}");
  auto plain = std::make_unique<TRichEdit>(nullptr);
  plain->SetText("fromtext");
  for (TCell* cell : {sheet.AddRichEdit("Rtf", rtf.release(), 2, 1, 10, 2),
                      sheet.AddRichEdit("Text", plain.release(), 2, 4, 10, 2)}) {
    cell->Font.Name = "Courier New";
    cell->Alignment = 1;
  }
  sheet.Print("markup only");

  const std::vector<TWord> words = PdfWords(pdf);
  const TWord* fromRtf = Find(words, "fromrtf");
  const TWord* fromText = Find(words, "fromtext");
  ASSERT_TRUE(fromRtf && fromText);
  EXPECT_NEAR(fromRtf->Left, 2 * 72.0 / 2.54 + 3.6, 1.0);
  EXPECT_NEAR(fromText->Left, 2 * 72.0 / 2.54 + 3.6, 1.0);
  EXPECT_EQ(RunCommand("pdffonts '" + pdf + "'").find("LiberationMono"), std::string::npos);
}

} // namespace
} // namespace mivora::test
