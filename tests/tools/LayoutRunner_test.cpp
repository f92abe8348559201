#include "LayoutRunner.h"

#include "InputError.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>

namespace mivora::tool {
namespace {

namespace fs = std::filesystem;

class LayoutRunner : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetMargins(TPrinterMargins{});
    Printer()->SetPaper(paA4);
    Printer()->SetResolution(600);
    Printer()->SetOrientation(poPortrait);
  }

  TLayout Parse(const std::string& Text) {
    TPathPolicy policy{MIVORA_TEST_DATA_DIR, false};
    return ParseLayout(Text, "l.json", policy, "l");
  }

  void Build(const std::string& Text) { BuildSheet(sheet_, Parse(Text)); }

  TMivora sheet_{nullptr};
};

TEST_F(LayoutRunner, AppliesTheFormatGivenWithAnAddToTheNewCellOnly) {
  Build(R"({"commands": [
    {"op": "SetFont", "height": 0.3},
    {"op": "AddText", "name": "T", "text": "x", "left": 1, "top": 1, "width": 5, "height": 2,
     "alignment": "left", "font": {"style": "bold"}, "brush": {"color": "#102030"},
     "pen": {"edges": "bottom", "width": 4}, "wordWrap": false, "stretch": false}]})");
  const TCell* cell = sheet_.Find("T");
  EXPECT_EQ(cell->Text(), "x");
  EXPECT_EQ(cell->Alignment, 0);
  // Fields the font change leaves out keep the cell's own values.
  EXPECT_FLOAT_EQ(cell->Font.Height, 0.3f);
  EXPECT_EQ(cell->Font.Style, fsBold);
  EXPECT_EQ(cell->Font.Name.Str(), "Arial");
  EXPECT_EQ(cell->Brush.Color, 0x302010u);
  EXPECT_EQ(cell->Brush.Style, bsSolid);
  EXPECT_EQ(cell->Pens[edBottom].Width, 4);
  EXPECT_EQ(cell->Pens[edBottom].Style, psSolid);
  EXPECT_EQ(cell->Pens[edTop].Style, psClear);
  EXPECT_FALSE(cell->WordWrap);
  EXPECT_FALSE(cell->Stretch);
  // The current settings are untouched by the format of one cell.
  EXPECT_EQ(sheet_.CurrentAlignment, 2);
  EXPECT_EQ(sheet_.CurrentFont.Style, 0);
}

TEST_F(LayoutRunner, PlacesMillimetreCellsWhereTheCentimetreLayoutWould) {
  Build(R"({"measurement": "mm", "commands": [
    {"op": "AddText", "name": "T", "text": "x", "left": 25, "top": 10, "width": 50, "height": 20,
     "brush": {"color": "#fa0"}, "font": {"color": "DarkOrange"}}]})");
  const TCell* cell = sheet_.Find("T");
  EXPECT_EQ(sheet_.Measurement(), mtCentimeters);
  EXPECT_FLOAT_EQ(cell->Left(), 2.5f);
  EXPECT_FLOAT_EQ(cell->Top(), 1);
  EXPECT_FLOAT_EQ(cell->Right(), 7.5f);
  EXPECT_FLOAT_EQ(cell->Bottom(), 3);
  EXPECT_EQ(cell->Brush.Color, 0x00AAFFu);
  EXPECT_EQ(cell->Font.Color, 0x008CFFu);
}

TEST_F(LayoutRunner, CarriesOutSelectionCutsAndCellEditsInOrder) {
  Build(R"({"measurement": "centimeters", "commands": [
    {"op": "Add", "name": "Grid", "left": 0, "top": 0, "width": 6, "height": 4},
    {"op": "Split", "baseName": "G", "rows": 2, "cols": 3},
    {"op": "FillText", "texts": ["a", "b", "c", "d", "e", "f"]},
    {"op": "Select", "patterns": "GR2*"},
    {"op": "Inflate", "dx": -1, "dy": 0},
    {"op": "SetVisible", "cell": "GR1C1", "value": false},
    {"op": "BringToFront", "cell": "GR1C1"},
    {"op": "ChangeCellName", "cell": "GR1C2", "newName": "Middle"},
    {"op": "Remove", "cell": "GR1C3"},
    {"op": "Magnification", "cell": "Middle", "factor": 2}]})");
  EXPECT_EQ(sheet_.Count(), 5);
  EXPECT_EQ(sheet_.GetCellName(sheet_.GetCell(4)), "GR1C1");
  EXPECT_FALSE(sheet_.Find("GR1C1")->Visible);
  EXPECT_EQ(sheet_.Find("GR2C2")->Text(), "e");
  EXPECT_FLOAT_EQ(sheet_.Find("GR2C2")->Left(), 2.5f);
  EXPECT_FLOAT_EQ(sheet_.Find("GR2C2")->Right(), 3.5f);
  EXPECT_FLOAT_EQ(sheet_.Find("Middle")->Right(), 8.0f);
  EXPECT_EQ(sheet_.GetSelectionCount(), 3);
}

TEST_F(LayoutRunner, NamesTheCommandWhoseOperationTheSheetRefuses) {
  EXPECT_THROW_MSG(Build(R"({"commands": [
    {"op": "Add", "name": "A", "left": 0, "top": 0, "width": 1, "height": 1},
    {"op": "Add", "name": "a", "left": 0, "top": 0, "width": 1, "height": 1}]})"),
                   EInputError, "l.json: commands[1] (Add \"a\"): Cell \"a\" already exists");
  sheet_.Reset();
  EXPECT_THROW_MSG(Build(R"({"commands": [{"op": "SplitH", "baseName": "X", "parts": 2}]})"), EInputError,
                   "l.json: commands[0] (SplitH \"X\"): Invalid cell");
  sheet_.Reset();
  EXPECT_THROW_MSG(Build(R"({"commands": [{"op": "CopyFormat", "source": "Nobody"}]})"), EInputError,
                   "l.json: commands[0] (CopyFormat \"Nobody\"): Cell \"Nobody\" not found");
  sheet_.Reset();
  EXPECT_THROW_MSG(Build(R"({"commands": [
    {"op": "AddGraphic", "name": "P", "file": "no-such.png", "left": 0, "top": 0, "width": 1, "height": 1}]})"),
                   EInputError,
                   std::string("l.json: commands[0] (AddGraphic \"P\"): Cannot load picture \"") +
                       (fs::weakly_canonical(MIVORA_TEST_DATA_DIR) / "no-such.png").string() +
                       "\": No such file or directory");
}

TEST_F(LayoutRunner, RefusesCellsMagnifiedFarOffThePage) {
  Build(R"({"commands": [
    {"op": "Add", "name": "A", "left": 0, "top": 0, "width": 100000, "height": 1},
    {"op": "Magnification", "factor": 1000}]})");
  EXPECT_THROW_MSG(CheckPrintable(sheet_, "l.json"), EInputError,
                   "l.json: cell \"A\": its right edge lies 2.3622e+10 printer pixels from the page; "
                   "the most accepted is 1e+08");
  sheet_.Reset();
  Build(R"({"commands": [{"op": "AddText", "name": "Big", "text": "x", "left": 0, "top": 0, "width": 1, "height": 1,
    "font": {"height": 5000}}]})");
  EXPECT_THROW_MSG(CheckPrintable(sheet_, "l.json"), EInputError,
                   "l.json: cell \"Big\": its font is 1.1811e+06 printer pixels high; the most accepted is 20000");
}

TEST_F(LayoutRunner, TurnsRefusedPrinterSettingsIntoLayoutErrors) {
  TLayout layout = Parse(R"({"printer": {"paper": {"width": 20, "height": 20}, "margins": 15}, "commands": []})");
  EXPECT_THROW_MSG(ApplyPrinterSettings(*Printer(), layout), EInputError,
                   "l.json: printer: Printer margins of 15 mm left and 15 mm right leave no printable width on "
                   "paper 20 mm wide");
}

} // namespace
} // namespace mivora::tool
