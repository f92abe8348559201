#include "Mivora.h"

#include "Printer.h"
#include "TestSupport.h"

#include <cmath>

namespace mivora {
namespace {

// A recording printer of 8 x 8 inches at 600 dpi across and 300 dpi down: the
// page is 4800 x 2400 pixels, so its extents are 4799 and 2399.
class MeasurementTest : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetPaperSize(203.2, 203.2);
    Printer()->SetResolution(600, 300);
  }
  void TearDown() override {
    Printer()->SetFailure("");
    Printer()->SetResolution(600);
    Printer()->SetPaper(paA4);
  }
  TMivora sheet{nullptr};
};

TEST_F(MeasurementTest, PageSizeInEveryUnit) {
  ASSERT_EQ(Printer()->GetPageWidth(), 4800);
  ASSERT_EQ(Printer()->GetPageHeight(), 2400);
  EXPECT_EQ(sheet.PageW(), static_cast<float>(4799.0L / 600 * 2.54L));
  EXPECT_EQ(sheet.PageH(), static_cast<float>(2399.0L / 300 * 2.54L));
  sheet.SetMeasurement(mtInches);
  EXPECT_EQ(sheet.PageW(), static_cast<float>(4799.0L / 600));
  EXPECT_EQ(sheet.PageH(), static_cast<float>(2399.0L / 300));
  sheet.SetMeasurement(mtPixels);
  EXPECT_EQ(sheet.PageW(), 4799.0f);
  EXPECT_EQ(sheet.PageH(), 2399.0f);
  sheet.SetMeasurement(mtPercentage);
  EXPECT_EQ(sheet.PageW(), 1.0f);
  EXPECT_EQ(sheet.PageH(), 1.0f);
}

TEST_F(MeasurementTest, SettingTheSameUnitNeedsNoPrinter) {
  sheet.AddCell("A", 1, 1, 2, 2);
  Printer()->SetFailure("no printer");
  sheet.SetMeasurement(mtCentimeters);
  EXPECT_EQ(sheet.Measurement(), mtCentimeters);
}

TEST_F(MeasurementTest, PrinterErrorLeavesUnitAndCellsAsTheyWere) {
  TCell* cell = sheet.AddCell("A", 1, 1, 2, 2);
  cell->Font.Height = 0.5f;
  Printer()->SetFailure("printer gone");
  EXPECT_THROW_MSG(sheet.SetMeasurement(mtPixels), EPrinterError, "printer gone");
  EXPECT_EQ(sheet.Measurement(), mtCentimeters);
  EXPECT_EQ(cell->Left(), 1.0f);
  EXPECT_EQ(cell->Right(), 3.0f);
  EXPECT_EQ(cell->Font.Height, 0.5f);
  EXPECT_THROW(sheet.PageW(), EPrinterError);
}

TEST_F(MeasurementTest, PercentageFontHeightsAreFractionsOfTheCell) {
  TCell* cell = sheet.AddCell("A", 1, 1, 4, 2); // 2 cm high
  cell->Font.Height = 0.5f;
  TCell* flat = sheet.AddCell("Flat", 1, 5, 4, 0); // no height at all
  flat->Font.Height = 0.4f;
  sheet.CurrentFont.Height = 0.7f;

  sheet.SetMeasurement(mtPercentage);
  EXPECT_EQ(sheet.Measurement(), mtPercentage);
  EXPECT_NEAR(cell->Font.Height, 0.25f, 1e-6f);
  EXPECT_EQ(flat->Font.Height, 0.0f);
  EXPECT_NEAR(flat->Left(), 1.0 * 600 / 2.54 / 4799, 1e-6) << "the flat cell is still converted";
  EXPECT_NEAR(cell->Top(), 1.0 * 300 / 2.54 / 2399, 1e-6);
  EXPECT_EQ(sheet.CurrentFont.Height, 0.7f) << "current settings keep their numbers";

  sheet.SetMeasurement(mtCentimeters);
  EXPECT_NEAR(cell->Font.Height, 0.5f, 1e-5f);
  EXPECT_NEAR(cell->Bottom(), 3.0f, 1e-5f);
}

TEST_F(MeasurementTest, PixelsTruncateEdgesButNotFontHeights) {
  TCell* cell = sheet.AddCell("A", 1, 1, 2, 2);
  cell->Font.Height = 0.5f;
  sheet.SetMeasurement(mtPixels);
  EXPECT_EQ(cell->Left(), 236.0f);   // 236.22...
  EXPECT_EQ(cell->Right(), 708.0f);  // 708.66...
  EXPECT_EQ(cell->Top(), 118.0f);    // 118.11... at 300 dpi
  EXPECT_NEAR(cell->Font.Height, 0.5 * 300 / 2.54, 1e-3);

  cell->SetLeft(10.7f);
  EXPECT_EQ(cell->Left(), 10.0f);
  cell->CheckBounds = false;
  cell->SetLeft(-3.7f);
  EXPECT_EQ(cell->Left(), -3.0f);

  sheet.SetMeasurement(mtCentimeters);
  EXPECT_NE(cell->Right(), 3.0f) << "truncated pixels do not come back exactly";
  EXPECT_NEAR(cell->Right(), 3.0f, 2.54f / 600);
}

TEST_F(MeasurementTest, InchesAndCentimetresRoundTrip) {
  TCell* cell = sheet.AddCell("A", 1.1f, 2.2f, 3.3f, 4.4f);
  cell->Font.Height = 0.35f;
  sheet.SetMeasurement(mtInches);
  EXPECT_NEAR(cell->Left(), 1.1f / 2.54f, 1e-6f);
  sheet.SetMeasurement(mtCentimeters);
  EXPECT_NEAR(cell->Left(), 1.1f, 1e-6f);
  EXPECT_NEAR(cell->Bottom(), 6.6f, 1e-6f);
  EXPECT_NEAR(cell->Font.Height, 0.35f, 1e-6f);
}

TEST_F(MeasurementTest, BoundsTransformRoundsHalvesToEven) {
  sheet.SetMeasurement(mtPercentage);
  TCell* cell = sheet.AddCell("A", 0.5f, 0.5f, 0.5f, 0.2f);
  cell->Font.Height = 0.5f;
  int32_t l, t, r, b, f;
  sheet.TransformCellBounds(cell, l, t, r, b, f);
  EXPECT_EQ(l, 2400);  // 2399.5
  EXPECT_EQ(t, 1200);  // 1199.5
  EXPECT_EQ(r, 4799) << "1.0 is the last pixel of the page";
  EXPECT_EQ(b, std::lround(0.7 * 2399));
  EXPECT_EQ(f, 240) << "half of a cell a fifth of the page high: a tenth of 2399";

  sheet.SetMeasurement(mtPixels);
  TCell* px = sheet.AddCell("P", 10, 10, 5, 5);
  px->Font.Height = 2.5f;
  sheet.TransformCellBounds(px, l, t, r, b, f);
  EXPECT_EQ(f, 2);
  px->Font.Height = 3.5f;
  sheet.TransformCellBounds(px, l, t, r, b, f);
  EXPECT_EQ(f, 4);
  EXPECT_EQ((std::array<int32_t, 4>{l, t, r, b}), (std::array<int32_t, 4>{10, 10, 15, 15}));
}

TEST_F(MeasurementTest, BoundsTransformPinsValuesBeyondTheDevice) {
  sheet.SetMeasurement(mtInches);
  TCell* cell = sheet.AddCell("A", 0, 0, 1, 1);
  cell->CheckBounds = false;
  cell->SetRight(1e30f);
  cell->Font.Height = std::nanf("");
  int32_t l, t, r, b, f;
  sheet.TransformCellBounds(cell, l, t, r, b, f);
  EXPECT_EQ(r, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(f, 0);

  // The unrounded figures show how far off the page the cell really lies.
  const TPixelBounds p = sheet.CellPixelBounds(cell);
  EXPECT_NEAR(p.Right / 6e32f, 1.0f, 1e-5f);
  EXPECT_TRUE(std::isnan(p.FontHeight));
}

TEST_F(MeasurementTest, PixelBoundsAreTheFiguresTheTransformRounds) {
  sheet.SetMeasurement(mtPercentage);
  TCell* cell = sheet.AddCell("A", 0.5f, 0.5f, 0.5f, 0.2f);
  cell->Font.Height = 0.5f;
  const TPixelBounds p = sheet.CellPixelBounds(cell);
  EXPECT_FLOAT_EQ(p.Left, 2399.5f);
  EXPECT_FLOAT_EQ(p.Top, 1199.5f);
  EXPECT_FLOAT_EQ(p.Right, 4799.0f);
  EXPECT_NEAR(p.FontHeight, 239.9f, 1e-3f) << "a font height under percentages is of the cell's height";
  EXPECT_THROW_MSG(sheet.CellPixelBounds(nullptr), ECellError, "Invalid cell");
}

} // namespace
} // namespace mivora
