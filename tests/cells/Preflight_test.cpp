#include "Preflight.h"

#include "Picture.h"
#include "RichEdit.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <algorithm>

namespace mivora {
namespace {

using test::PrinterFixture;

class PreflightTest : public PrinterFixture {
protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    printer->SetPaper(paA4);
    printer->SetResolution(600);
  }

  std::vector<TFinding> Findings(TFindingKind Kind, const TPreflightOptions& Options = {}) {
    std::vector<TFinding> found = CheckSheet(sheet, Options);
    std::erase_if(found, [Kind](const TFinding& f) { return f.Kind != Kind; });
    return found;
  }

  // Text the height of the clip it was drawn in and of the text rectangle drawn,
  // from the recording of one printed page.
  struct TDrawn {
    int64_t ClipWidth = 0, ClipHeight = 0, TextWidth = 0, TextHeight = 0;
  };
  TDrawn PrintAndRead() {
    sheet.Print("page");
    TDrawn drawn;
    for (const TDrawOp& op : printer->RecordedOps()) {
      if (op.Name == "IntersectClipRect") {
        drawn.ClipWidth = op.Args[2] - op.Args[0];
        drawn.ClipHeight = op.Args[3] - op.Args[1];
      } else if (op.Name == "DrawText") {
        drawn.TextWidth = op.Args[2] - op.Args[0];
        drawn.TextHeight = op.Args[3] - op.Args[1];
      }
    }
    return drawn;
  }

  TMivora sheet{nullptr};
};

TEST_F(PreflightTest, APageThatPrintsWellHasNoFindings) {
  sheet.AddText("Title", "Certificate of Completion", 2, 2, 17, 2);
  sheet.SetFont("Arial", clBlack, 0.8f, fsBold); // Arial is drawn as its metric twin
  sheet.AddText("Body", "awarded to\nAda Lovelace", 2, 5, 17, 3);
  sheet.SetFont("sans-serif", clBlack, 0.5f, 0);
  sheet.AddText("Mono", "12345", 2, 9, 5, 1);
  sheet.SetFont("Courier New", clBlack, 0.5f, 0);
  sheet.Add("Empty", 0, 0, 21, 29.7f); // exactly the page
  sheet.AddGraphic("Photo", new TBitmapGraphic(600, 600, std::vector<uint32_t>(600 * 600, 0xFF000000u)), 2, 12,
                   5, 5);
  sheet.AddGraphic("Logo", LoadGraphicFromFile(std::string(MIVORA_TEST_DATA_DIR) + "/picture.svg").release(), 8, 12, 10,
                   10);
  EXPECT_TRUE(CheckSheet(sheet).empty()) << DescribeFinding(CheckSheet(sheet).front());
}

TEST_F(PreflightTest, WrappedTextTooTallForItsCellIsReportedWithItsLinesAndRoom) {
  sheet.SetFont("Arial", clBlack, 0.5f, 0);
  sheet.AddText("Note", "one two three four five six seven eight nine ten eleven twelve", 2, 2, 3, 1);
  const std::vector<TFinding> found = Findings(fkTextOverflow);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "Note");
  EXPECT_EQ(found[0].Message, "text \"one two three four five six se...\" does not fit: its 5 lines need 25 mm "
                               "of height, the cell has room for 1 (9.27 mm); the rest is cut off");
}

TEST_F(PreflightTest, TextRunningPastTheSideIsReportedWithAndWithoutWrapping) {
  sheet.SetFont("Arial", clBlack, 0.5f, 0);
  sheet.AddText("Line", "A line of text that is far too long", 2, 2, 3, 5);
  sheet.SetTextProperties(false, false);
  sheet.AddText("Word", "Donaudampfschifffahrtsgesellschaft", 2, 8, 3, 5);
  std::vector<TFinding> found = Findings(fkTextOverflow);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].Cell, "Line");
  EXPECT_NE(found[0].Message.find(" runs "), std::string::npos) << found[0].Message;
  EXPECT_NE(found[0].Message.find(" mm wider than the cell and is cut off at its side"), std::string::npos);
  EXPECT_EQ(found[1].Cell, "Word");
  EXPECT_NE(found[1].Message.find(" holds a word "), std::string::npos) << found[1].Message;
}

// The check measures as printing does: for cells of many heights and widths, it
// reports text exactly when the text drawn is larger than the clip it is drawn in.
TEST_F(PreflightTest, ReportsOverflowExactlyWhenPrintingCutsTextOff) {
  sheet.SetMeasurement(mtPixels);
  sheet.SetFont("Arial", clBlack, 0, 0);
  for (int32_t height = 100; height <= 700; height += 23) {
    sheet.Reset();
    sheet.SetFont("Liberation Serif", clBlack, 110, 0);
    sheet.AddText("Cell", "Three short\nlines of\ntext", 100, 100, 1200, height);
    const TDrawn drawn = PrintAndRead();
    EXPECT_EQ(!Findings(fkTextOverflow).empty(), drawn.TextHeight > drawn.ClipHeight) << "height " << height;
  }
  for (int32_t width = 300; width <= 1500; width += 37) {
    sheet.Reset();
    sheet.SetFont("Liberation Serif", clBlack, 110, 0);
    sheet.SetTextProperties(false, false);
    sheet.AddText("Cell", "One line, unwrapped", 100, 100, width, 400);
    const TDrawn drawn = PrintAndRead();
    EXPECT_EQ(!Findings(fkTextOverflow).empty(), drawn.TextWidth > drawn.ClipWidth) << "width " << width;
  }
}

// Lines measured one by one tell a text that fits; the rest is formatted in
// full. Both agree with printing across the width where a paragraph starts to
// wrap: spaces at a paragraph's end (dropped when wrapping, kept when not), CR
// LF, a blank line and a byte read as Windows-1252.
TEST_F(PreflightTest, ParagraphsNearTheWidthWhereTheyWrapAreReportedExactlyWhenPrintingCutsThemOff) {
  sheet.SetMeasurement(mtPixels);
  const std::string text = "Ada Becker   \r\nMain Street 1\n\n10000 M\xFCnchen  ";
  for (const bool wrap : {true, false}) {
    for (int32_t width = 500; width <= 1100; width += 13) {
      sheet.Reset();
      sheet.SetFont("Liberation Serif", clBlack, 110, 0);
      sheet.SetTextProperties(false, wrap);
      sheet.AddText("Cell", text, 100, 100, width, 500); // room for four lines, not five
      const TDrawn drawn = PrintAndRead();
      EXPECT_EQ(!Findings(fkTextOverflow).empty(),
                drawn.TextHeight > drawn.ClipHeight || drawn.TextWidth > drawn.ClipWidth)
          << "width " << width << (wrap ? ", wrapped" : ", not wrapped");
    }
  }
}

TEST_F(PreflightTest, ShrinkToFitTextIsReportedOnlyWhenTheSmallestFontStillDoesNotFit) {
  sheet.SetFont("Arial", clBlack, 1, 0);
  sheet.SetTextProperties(true, true);
  sheet.AddText("Shrinks", "Certificate of Completion", 2, 2, 4, 1);
  sheet.AddText("Hopeless", std::string(400, 'x'), 2, 5, 0.5f, 0.2f);
  const std::vector<TFinding> found = Findings(fkTextOverflow);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "Hopeless");
  EXPECT_EQ(found[0].Message.rfind("even at the smallest font size, text \"xxx", 0), 0u) << found[0].Message;
}

TEST_F(PreflightTest, TurnedTextLongerThanItsCellIsHighIsReported) {
  sheet.SetFont("Arial", clBlack, 0.6f, 0);
  sheet.SetOrientation(toVertical);
  sheet.AddText("Side", "MIVORA ACADEMY OF PRINT", 1, 2, 1, 3);
  sheet.AddText("Fits", "SHORT", 3, 2, 1, 5);
  const std::vector<TFinding> found = Findings(fkTextOverflow);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "Side");
  EXPECT_NE(found[0].Message.find(" mm longer than the cell is high and is cut off"), std::string::npos)
      << found[0].Message;
}

TEST_F(PreflightTest, CellsOutsideThePrintableAreaAreReportedWithTheDistancePastEachEdge) {
  printer->SetMargins({5, 5, 5, 5}); // printable: 200 x 287 mm
  sheet.Add("Beyond", 25, 2, 3, 3);
  sheet.Add("Overhang", 19, 28, 3, 2);
  sheet.Add("Inside", 0, 0, 20, 28.7f);
  const std::vector<TFinding> found = Findings(fkOutsidePrintable);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(DescribeFinding(found[0]),
            "cell \"Beyond\": lies wholly outside the printable area (200 mm x 287 mm) and does not print");
  EXPECT_EQ(DescribeFinding(found[1]),
            "cell \"Overhang\": reaches past the printable area (200 mm x 287 mm) (right by 20 mm, bottom by 13 mm); "
            "that part does not print");
}

TEST_F(PreflightTest, AReplacedFontIsReportedOnceAtItsFirstCellAndAliasesAreNot) {
  sheet.SetFont("Ariall", clBlack, 0.5f, 0);
  sheet.AddText("First", "a", 1, 1, 3, 1);
  sheet.AddText("Second", "b", 1, 3, 3, 1);
  sheet.SetFont("Helvetica", clBlack, 0.5f, 0);
  sheet.AddText("Alias", "c", 1, 5, 3, 1);
  sheet.SetFont("DejaVu Serif", clBlack, 0.5f, 0);
  sheet.AddText("Installed", "d", 1, 7, 3, 1);
  sheet.SetFont("serif", clBlack, 0.5f, 0);
  sheet.AddText("Generic", "e", 1, 9, 3, 1);
  const std::vector<TFinding> found = Findings(fkFontReplaced);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "First");
  EXPECT_EQ(found[0].Message.rfind("font \"Ariall\" is not installed; \"", 0), 0u) << found[0].Message;
  EXPECT_NE(found[0].Message.find("\" is used instead"), std::string::npos);
}

TEST_F(PreflightTest, OptionsKeptAcrossChecksReportAReplacedFontOnEveryCheckOfTheSheet) {
  // A merge checks the sheet once a record with the same options: the family is
  // looked up once, and every check still reports it at its first cell.
  const TPreflightOptions options;
  sheet.SetFont("Ariall", clBlack, 0.5f, 0);
  sheet.AddText("First", "a", 1, 1, 3, 1);
  sheet.SetFont("DejaVu Serif", clBlack, 0.5f, 0);
  sheet.AddText("Installed", "d", 1, 7, 3, 1);
  const std::vector<TFinding> first = Findings(fkFontReplaced, options);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(options.FontsLookedUp->size(), 2u);
  sheet.Find("First")->SetText("changed for the next record");
  const std::vector<TFinding> second = Findings(fkFontReplaced, options);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(DescribeFinding(second[0]), DescribeFinding(first[0]));
  EXPECT_EQ(options.FontsLookedUp->size(), 2u);
}

TEST_F(PreflightTest, PicturesEnlargedBeyondTheSetFactorAreReported) {
  auto* small = new TBitmapGraphic(40, 20, std::vector<uint32_t>(40 * 20, 0xFF000000u));
  sheet.AddGraphic("Coarse", small, 2, 2, 5.08f, 2.54f); // 2 x 1 inch: 20 pixels per inch
  sheet.AddGraphic("Fine", new TBitmapGraphic(400, 200, std::vector<uint32_t>(400 * 200, 0xFF000000u)), 2, 6,
                   5.08f, 2.54f);
  std::vector<TFinding> found = Findings(fkPictureEnlarged);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(DescribeFinding(found[0]), "cell \"Coarse\": picture of 40 x 20 pixels at 96 per inch is enlarged "
                                       "4.8 times, to 20 per inch over 50.8 mm x 25.4 mm, and will print coarsely");
  EXPECT_TRUE(Findings(fkPictureEnlarged, TPreflightOptions{5.0}).empty());
  // Unstretched, a picture smaller than its cell prints at its own size.
  sheet.Find("Coarse")->Stretch = false;
  EXPECT_TRUE(Findings(fkPictureEnlarged).empty());
  // Fitted without distortion, it is enlarged as far as the cell's shorter side allows.
  sheet.Find("Coarse")->Fit = gfContain;
  sheet.Find("Coarse")->SetWidth(10.16f);
  found = Findings(fkPictureEnlarged);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NE(found[0].Message.find("enlarged 4.8 times, to 20 per inch over 50.8 mm x 25.4 mm"), std::string::npos)
      << found[0].Message;
}

TEST_F(PreflightTest, APictureIsMeasuredAgainstTheResolutionItsFileTells) {
  // 6 x 4 pixels at 300 per inch: 0.508 x 0.339 mm of its own.
  const std::string file = std::string(MIVORA_TEST_DATA_DIR) + "/picture-300dpi.png";
  sheet.AddGraphic("Twice", LoadGraphicFromFile(file).release(), 2, 2, 0.0508f * 1.5f, 0.03387f * 1.5f);
  sheet.AddGraphic("Thrice", LoadGraphicFromFile(file).release(), 2, 4, 0.0508f * 3, 0.03387f * 3);
  const std::vector<TFinding> found = Findings(fkPictureEnlarged);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "Thrice");
  EXPECT_NE(found[0].Message.find("at 300 per inch is enlarged 3 times"), std::string::npos) << found[0].Message;
}

TEST_F(PreflightTest, RichTextWhoseLastLinesDoNotFitIsReportedWithWhatIsLeftOut) {
  auto* rich = new TRichEdit(nullptr);
  rich->SetText("First paragraph.\nSecond paragraph.\nThird paragraph.");
  sheet.AddRichEdit("Letter", rich, 2, 2, 10, 1.2f);
  auto* roomy = new TRichEdit(nullptr);
  roomy->SetText("First paragraph.\nSecond paragraph.\nThird paragraph.");
  sheet.AddRichEdit("Roomy", roomy, 2, 5, 10, 5);
  const std::vector<TFinding> found = Findings(fkTextOverflow);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Cell, "Letter");
  EXPECT_EQ(found[0].Message, "rich text does not fit: 16 of its 51 characters, from \"Third paragraph.\", are left out");
}

TEST_F(PreflightTest, HiddenCellsAreNotChecked) {
  sheet.AddText("Hidden", std::string(500, 'x'), 30, 40, 1, 1);
  sheet.Find("Hidden")->Visible = false;
  EXPECT_TRUE(CheckSheet(sheet).empty());
}

} // namespace
} // namespace mivora
