#include "Mivora.h"

#include "Printer.h"
#include "TestSupport.h"

namespace mivora {
namespace {

// A recording printer whose page is 4800 x 2400 pixels at 600 dpi.
class CellGeometryTest : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetPaperSize(203.2, 101.6);
    Printer()->SetResolution(600);
  }
  void TearDown() override {
    Printer()->SetFailure("");
    Printer()->SetPaper(paA4);
  }
  TMivora sheet{nullptr};
};

TEST_F(CellGeometryTest, InflateGrowsAndShrinksAroundTheCentre) {
  TCell* cell = sheet.AddCell("A", 1, 1, 2, 2); // 1..3
  cell->Inflate(2, 0);
  EXPECT_EQ(cell->Left(), 0.0f);
  EXPECT_EQ(cell->Right(), 4.0f);
  EXPECT_EQ(cell->Top(), 1.0f);
  EXPECT_EQ(cell->Bottom(), 3.0f);

  TCell* b = sheet.AddCell("B", 1, 1, 2, 2);
  b->Inflate(-10, -1);
  EXPECT_EQ(b->Left(), 2.0f) << "shrinking stops at zero width around the old centre";
  EXPECT_EQ(b->Right(), 2.0f);
  EXPECT_EQ(b->Top(), 1.5f);
  EXPECT_EQ(b->Bottom(), 2.5f);
  EXPECT_TRUE(b->CheckBounds);
}

TEST_F(CellGeometryTest, InflateUnderPercentagesIsAFractionOfTheCell) {
  sheet.SetMeasurement(mtPercentage);
  TCell* cell = sheet.AddCell("A", 0.4f, 0.4f, 0.2f, 0.2f);
  cell->Inflate(0.5f, 0);
  EXPECT_NEAR(cell->Left(), 0.35f, 1e-6f);
  EXPECT_NEAR(cell->Right(), 0.65f, 1e-6f);
}

TEST_F(CellGeometryTest, InflateInPixelsNeverLeavesCrossedEdges) {
  sheet.SetMeasurement(mtPixels);
  TCell* cell = sheet.AddCell("A", 10, 10, 1, 1);
  cell->Inflate(-1, -1); // 10.5 and 10.5 truncate to 10 and 10
  EXPECT_LE(cell->Left(), cell->Right());
  EXPECT_LE(cell->Top(), cell->Bottom());
}

TEST_F(CellGeometryTest, CenterOnPageKeepsTheSize) {
  sheet.SetMeasurement(mtPixels);
  TCell* cell = sheet.AddCell("A", 10, 20, 100, 50);
  cell->CenterOnPage(ccHorizontal);
  EXPECT_EQ(cell->Left(), 2349.0f); // (4799 - 100) / 2 = 2349.5, truncated
  EXPECT_EQ(cell->GetWidth(), 100.0f);
  EXPECT_EQ(cell->Top(), 20.0f);
  EXPECT_EQ(cell->Bottom(), 70.0f);

  cell->CenterOnPage(ccVertical);
  EXPECT_EQ(cell->Left(), 2349.0f);
  EXPECT_EQ(cell->Top(), 1174.0f); // (2399 - 50) / 2

  sheet.SetMeasurement(mtCentimeters);
  TCell* b = sheet.AddCell("B", 0, 0, 2, 1);
  b->CenterOnPage(ccBoth);
  EXPECT_NEAR(b->Left() + b->Right(), sheet.PageW(), 1e-5f);
  EXPECT_NEAR(b->Top() + b->Bottom(), sheet.PageH(), 1e-5f);
  EXPECT_NEAR(b->GetWidth(), 2.0f, 1e-6f);
}

TEST_F(CellGeometryTest, CenterOnPageWithAFailingPrinterChangesNothing) {
  TCell* cell = sheet.AddCell("A", 1, 1, 2, 2);
  Printer()->SetFailure("offline");
  EXPECT_THROW(cell->CenterOnPage(ccBoth), EPrinterError);
  EXPECT_EQ(cell->Left(), 1.0f);
  EXPECT_TRUE(cell->CheckBounds);
}

TEST_F(CellGeometryTest, DetachedCellIgnoresInflateAndCentring) {
  TCell cell(nullptr);
  cell.Inflate(5, 5);
  cell.CenterOnPage(ccBoth);
  EXPECT_EQ(cell.GetWidth(), 0.0f);
  cell.Font.Height = 3.0f;
  cell.Magnification(1.5f, true);
  EXPECT_EQ(cell.Font.Height, 4.0f) << "the font still scales without a sheet";
}

TEST_F(CellGeometryTest, MagnificationScalesEdgesAndOptionallyTheFont) {
  TCell* cell = sheet.AddCell("A", 1, 2, 3, 4);
  cell->Font.Height = 3.0f;
  cell->Magnification(2, false);
  EXPECT_EQ(cell->Left(), 2.0f);
  EXPECT_EQ(cell->Top(), 4.0f);
  EXPECT_EQ(cell->Right(), 8.0f);
  EXPECT_EQ(cell->Bottom(), 12.0f);
  EXPECT_EQ(cell->Font.Height, 3.0f);
  cell->Magnification(1.5f, true);
  EXPECT_EQ(cell->Font.Height, 4.0f) << "4.5 rounds to the even 4";
  cell->Font.Height = 0.3f;
  cell->Magnification(1, true);
  EXPECT_EQ(cell->Font.Height, 0.0f) << "always a whole number of the unit";

  cell->Magnification(-1, false); // mirrored: edges cross, but no error
  EXPECT_EQ(cell->Left(), -3.0f);
  EXPECT_TRUE(cell->CheckBounds);
}

TEST_F(CellGeometryTest, SheetMagnificationAppliesToEveryCell) {
  TCell* a = sheet.AddCell("A", 1, 1, 1, 1);
  TCell* b = sheet.AddCell("B", 2, 2, 1, 1);
  sheet.AddToSelection(a, true);
  sheet.Magnification(1, false);
  EXPECT_EQ(a->Right(), 2.0f);
  sheet.Magnification(2, false);
  EXPECT_EQ(a->Right(), 4.0f);
  EXPECT_EQ(b->Bottom(), 6.0f);
}

} // namespace
} // namespace mivora
