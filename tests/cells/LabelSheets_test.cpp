#include "LabelSheets.h"

#include "ImageCompare.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

namespace mivora {
namespace {

bool Overlap(const TLabelRect& A, const TLabelRect& B) {
  constexpr double slack = 1e-6;  // labels that only touch do not overlap
  return A.Left + A.Width > B.Left + slack && B.Left + B.Width > A.Left + slack &&
         A.Top + A.Height > B.Top + slack && B.Top + B.Height > A.Top + slack;
}

TEST(LabelSheets, EveryPresetLiesInsideItsPaperWithoutOverlappingLabels) {
  for (const TLabelSheet& sheet : LabelSheets()) {
    SCOPED_TRACE(sheet.Code);
    const TLabelGrid& g = sheet.Grid;
    EXPECT_NO_THROW(CheckLabelGrid(g, sheet.Code));
    std::vector<TLabelRect> rects;
    for (int32_t i = 0; i < g.Count(); ++i) rects.push_back(LabelRect(g, i));
    for (size_t i = 0; i < rects.size(); ++i) {
      const TLabelRect& r = rects[i];
      EXPECT_GE(r.Left, 0);
      EXPECT_GE(r.Top, 0);
      EXPECT_LE(r.Left + r.Width, g.PaperWidth + 1e-9);
      EXPECT_LE(r.Top + r.Height, g.PaperHeight + 1e-9);
      for (size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(Overlap(r, rects[j])) << i << " and " << j;
    }
  }
}

TEST(LabelSheets, PresetsHaveTheirSheetsPublishedFigures) {
  const TLabelGrid& letter = LabelSheet("5160").Grid;
  EXPECT_EQ(letter.Count(), 30);
  // The last label: third column, tenth row; 3/16 in from the right, 1/2 in from the bottom.
  const TLabelRect last = LabelRect(letter, 29);
  EXPECT_NEAR(last.Left, (0.1875 + 2 * 2.75) * 25.4, 1e-9);
  EXPECT_NEAR(letter.PaperWidth - (last.Left + last.Width), 0.1875 * 25.4, 1e-9);
  EXPECT_NEAR(letter.PaperHeight - (last.Top + last.Height), 0.5 * 25.4, 1e-9);
  // L7160 is centred: equal margins left and right, top and bottom.
  const TLabelGrid& a4 = LabelSheet("l7160").Grid;
  const TLabelRect end = LabelRect(a4, a4.Count() - 1);
  EXPECT_NEAR(a4.Left, a4.PaperWidth - (end.Left + end.Width), 1e-9);
  EXPECT_NEAR(a4.Top, 15.15, 1e-9);
  EXPECT_NEAR(end.Left - LabelRect(a4, a4.Count() - 2).Left, 66.04, 1e-9);
}

TEST(LabelSheets, ReadsAcrossThenDownOrDownThenAcross) {
  TLabelGrid g = LabelSheet("L7163").Grid;  // 2 across, 7 down
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Top, LabelRect(g, 0).Top);
  EXPECT_DOUBLE_EQ(LabelRect(g, 2).Left, LabelRect(g, 0).Left);
  g.Order = TReadingOrder::DownThenAcross;
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Left, LabelRect(g, 0).Left);
  EXPECT_DOUBLE_EQ(LabelRect(g, 1).Top - LabelRect(g, 0).Top, 38.1);
  EXPECT_DOUBLE_EQ(LabelRect(g, 7).Top, LabelRect(g, 0).Top);
  EXPECT_DOUBLE_EQ(LabelRect(g, 7).Left - LabelRect(g, 0).Left, 101.6);
}

TEST(LabelSheets, RefusesGridsThatDoNotFitOrOverlapNamingTheFigures) {
  TLabelGrid g{210, 297, 2, 4, 90, 54, 10, 18, 100, 69, TReadingOrder::AcrossThenDown};
  g.Left = 25;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "b.json: labels"), ECellError,
                   "b.json: labels: the grid does not fit its paper: 2 labels across end 215 mm from the left edge, "
                   "beyond the paper's width of 210 mm");
  g.Left = 10;
  g.PitchY = 50;
  EXPECT_THROW_MSG(CheckLabelGrid(g), ECellError,
                   "Label grid: labels overlap: the vertical pitch (50 mm) is less than the label height (54 mm)");
  g.PitchY = 69;
  g.Down = 0;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "w"), ECellError, "w: labels down is 0; it must be 1 to 1000");
  EXPECT_THROW_MSG(LabelRect(g, 0), ECellError, "A label grid of 2 x 0 labels has no label 1");
  g.Down = 4;
  g.LabelWidth = -1;
  EXPECT_THROW_MSG(CheckLabelGrid(g, "w"), ECellError, "w: the label width is -1 mm; it must be more than 0");
}

TEST(LabelSheets, AnUnknownCodeListsThePresets) {
  EXPECT_EQ(FindLabelSheet("L7610"), nullptr);
  EXPECT_EQ(FindLabelSheet("BADGE-90X54"), &LabelSheet("badge-90x54"));
  EXPECT_THROW_MSG(LabelSheet("L7610"), ECellError,
                   "No label sheet \"L7610\" (the presets are 5160, 5163, L7160, L7163, L7651, badge-90x54, 4x6)");
}

// Labels printed on the recording target: at 254 dots per inch a millimetre is
// ten dots, so every position below is a whole number of dots.
class LabelPrinterTest : public test::PrinterFixture {
protected:
  void SetUp() override {
    UseRecording();
    printer->SetPaperSize(100, 60);
    printer->SetResolution(254);
    printer->SetMargins(TPrinterMargins{});
    sheet.SetBrush(clBlack, bsSolid);
    // One label: a 10 x 5 mm box 2 mm from its left and 1 mm from its top.
    box = sheet.AddText("Box", "", 0.2f, 0.1f, 1, 0.5f);
  }

  // 3 x 2 labels of 20 x 10 mm, the first at (5, 5) mm, 25 mm apart across
  // and 15 mm down.
  static TLabelGrid Grid() {
    TLabelGrid g;
    g.Across = 3;
    g.Down = 2;
    g.LabelWidth = 20;
    g.LabelHeight = 10;
    g.Left = g.Top = 5;
    g.PitchX = 25;
    g.PitchY = 15;
    return g;
  }

  // The box's top left corner on each label drawn, and "page" where a page starts.
  std::vector<std::string> Drawn() const {
    std::vector<std::string> drawn;
    for (const TDrawOp& op : printer->RecordedOps()) {
      if (op.Name == "NewPage") drawn.push_back("page");
      if (op.Name == "Rectangle" && op.Text.find("brush solid") != std::string::npos)
        drawn.push_back(std::to_string(op.Args[0]) + "," + std::to_string(op.Args[1]));
    }
    return drawn;
  }

  TMivora sheet{nullptr};
  TCell* box = nullptr;
};

TEST_F(LabelPrinterTest, PlacesLabelsAcrossThenDownAndStartsAPageWhenTheSheetIsFull) {
  TLabelPrinter labels(sheet, Grid());
  sheet.BeginDocument("labels");
  for (int i = 0; i < 7; ++i) {
    box->SetText(std::to_string(i + 1));
    labels.PrintLabel();
  }
  sheet.EndDocument();
  // Label corners at 5, 30, 55 mm across and 5, 20 mm down, plus the box's offset.
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"70,60", "320,60", "570,60", "70,210", "320,210", "570,210", "page",
                                               "70,60"}));
  EXPECT_EQ(sheet.DocumentPages(), 2);
  EXPECT_EQ(labels.Printed(), 7);
  EXPECT_EQ(labels.NextLabel(), 2);
  EXPECT_EQ(labels.NextSheet(), 2);
  // The cell is back in the label's own coordinates.
  EXPECT_FLOAT_EQ(box->Left(), 0.2f);
  EXPECT_FLOAT_EQ(box->Top(), 0.1f);
  EXPECT_FLOAT_EQ(box->Right(), 1.2f);
  EXPECT_FLOAT_EQ(box->Bottom(), 0.6f);
  EXPECT_TRUE(box->CheckBounds);
}

TEST_F(LabelPrinterTest, FillsDownThenAcrossFromAGivenLabelAndSkipsLabels) {
  TLabelGrid grid = Grid();
  grid.Order = TReadingOrder::DownThenAcross;
  // Label 2 is the second of the first column: a partly used sheet.
  TLabelPrinter labels(sheet, grid, 2);
  EXPECT_EQ(labels.NextRect().Top, 20);
  sheet.BeginDocument("labels");
  labels.PrintLabel();
  labels.SkipLabel();  // the top of the second column stays blank
  labels.PrintLabel();
  labels.PrintLabel();
  labels.PrintLabel();
  labels.PrintLabel();  // the sheet is full: a new page
  sheet.EndDocument();
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"70,210", "320,210", "570,60", "570,210", "page", "70,60"}));
}

TEST_F(LabelPrinterTest, LeavesHiddenCellsOutAndKeepsDrawingAfterAnotherPage) {
  TCell* hidden = sheet.AddText("Hidden", "", 50, 50, 1, 1);  // far outside any label, but hidden
  hidden->Visible = false;
  TLabelPrinter labels(sheet, Grid());
  sheet.BeginDocument("labels");
  labels.PrintLabel();
  sheet.PrintNextPage();  // the application's own page: the next label starts a new one
  labels.PrintLabel();
  sheet.EndDocument();
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"70,60", "page", "20,10", "page", "320,60"}));
}

TEST_F(LabelPrinterTest, RefusesGridsOffThePaperOrInItsMarginsAndLabelsBeyondTheSheet) {
  TLabelGrid grid = Grid();
  grid.Down = 5;  // 75 mm down on paper 60 mm high
  EXPECT_THROW_MSG(TLabelPrinter(sheet, grid, 1, "badges"), ECellError,
                   "badges: the grid does not fit its paper: 5 labels down end 75 mm from the top edge, beyond the "
                   "paper's height of 60 mm");
  printer->SetMargins(TPrinterMargins{6, 6, 6, 6});
  EXPECT_THROW_MSG(TLabelPrinter(sheet, Grid()), ECellError,
                   "Label grid: the label grid reaches into the printer's margins (left 6 mm, top 6 mm, right 6 mm, "
                   "bottom 6 mm); label sheets are printed with margins of 0");
  printer->SetMargins(TPrinterMargins{});
  EXPECT_THROW_MSG(TLabelPrinter(sheet, Grid(), 7), ECellError,
                   "Label grid: label 7 is beyond the sheet, which has 6 labels (3 x 2)");
  EXPECT_THROW_MSG(TLabelPrinter(sheet, Grid(), 0), ECellError,
                   "Label grid: label 0 is beyond the sheet, which has 6 labels (3 x 2)");
}

TEST_F(LabelPrinterTest, ACellOutsideItsLabelOrAMissingDocumentPrintsNothingAndMovesNothing) {
  TLabelPrinter labels(sheet, Grid());
  EXPECT_THROW_MSG(labels.PrintLabel(), EPrinterError,
                   "Cannot print a page: no document is open (call BeginDocument first)");
  EXPECT_FLOAT_EQ(box->Left(), 0.2f);
  box->SetRight(2.5f);  // 25 mm on a label 20 mm wide
  sheet.BeginDocument("labels");
  EXPECT_THROW_MSG(labels.PrintLabel(), ECellError,
                   "Label grid: cell \"Box\" lies outside its label: it spans 2 mm to 25 mm across and 1 mm to 6 mm "
                   "down, the label 20 mm x 10 mm (a label's cells are placed in the label's own coordinates)");
  EXPECT_FLOAT_EQ(box->Left(), 0.2f);
  EXPECT_FLOAT_EQ(box->Right(), 2.5f);
  EXPECT_EQ(labels.Printed(), 0);
  sheet.AbortDocument();
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(LabelPrinterTest, PrintsEachLabelOnItsPlaceOfThePngPage) {
  // Inches this time: the label printer converts the grid's millimetres to the
  // sheet's unit. A 1 x 1 in paper at 100 dpi: 2 x 2 labels of 10 mm with a
  // 2 mm gap, the box filling each label.
  const std::string png = UsePng("labels", 100, 25.4, 25.4);
  printer->SetMargins(TPrinterMargins{});
  sheet.SetMeasurement(mtInches);
  box->SetLeft(0);
  box->SetTop(0);
  box->SetRight(static_cast<float>(10 / 25.4));
  box->SetBottom(static_cast<float>(10 / 25.4));
  TLabelGrid grid;
  grid.Across = grid.Down = 2;
  grid.LabelWidth = grid.LabelHeight = 10;
  grid.Left = grid.Top = 1.7;
  grid.PitchX = grid.PitchY = 12;
  TLabelPrinter labels(sheet, grid, 2);
  sheet.BeginDocument("labels");
  for (int i = 0; i < 3; ++i) labels.PrintLabel();
  const test::TImage image = EndAndLoad(png);
  // Label 1 (top left) stays blank; labels 2 to 4 are black. Pixel centres
  // well inside or outside each label, away from antialiased edges.
  const auto black = [&](double Xmm, double Ymm) {
    return image.PixelAt(static_cast<int32_t>(Xmm / 25.4 * 100), static_cast<int32_t>(Ymm / 25.4 * 100)) == clBlack;
  };
  EXPECT_FALSE(black(6.7, 6.7));
  EXPECT_TRUE(black(18.7, 6.7));
  EXPECT_TRUE(black(6.7, 18.7));
  EXPECT_TRUE(black(18.7, 18.7));
  EXPECT_FALSE(black(12.7, 12.7));  // the gap between the labels
  EXPECT_FALSE(black(0.5, 0.5));    // the paper's edge
}

} // namespace
} // namespace mivora
