#include "Barcode.h"

#include "Mivora.h"
#include "PrinterFixture.h"

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mivora {
namespace {

using test::TImage;

// What an independent decoder reads in a PNG: the text of the first symbol found,
// or "" when there is none.
std::string Decode(const TImage& Image) {
  std::vector<uint8_t> grey(static_cast<size_t>(Image.Width()) * static_cast<size_t>(Image.Height()));
  for (int32_t y = 0; y < Image.Height(); ++y) {
    for (int32_t x = 0; x < Image.Width(); ++x) {
      const TColor c = Image.PixelAt(x, y);
      grey[static_cast<size_t>(y) * static_cast<size_t>(Image.Width()) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 3);
    }
  }
  const ZXing::ImageView view(grey.data(), Image.Width(), Image.Height(), ZXing::ImageFormat::Lum);
  ZXing::DecodeHints hints;
  hints.setTryHarder(true);
  const ZXing::Result result = ZXing::ReadBarcode(view, hints);
  return result.isValid() ? result.text() : std::string();
}

struct TCase {
  const char* Symbology;
  std::string Data;
  std::string Expected; // what a scanner reads
  double WidthMm;       // the cell; 2-D cells are square
  double HeightMm;
};

// Every symbology, with data that exercises its particular rules: computed check
// digits, GS1 element strings, text beyond ASCII.
const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"code128", "1Z999AA10123456784", "1Z999AA10123456784", 60, 20},
      {"gs1-128", "[01]09501101530003[17]140704[10]AB-123", "01095011015300031714070410AB-123", 90, 20},
      {"ean13", "400638133393", "4006381333931", 40, 25},
      {"ean8", "9638507", "96385074", 30, 20},
      {"upca", "03600029145", "036000291452", 40, 25},
      {"upce", "0123456", "01234565", 30, 20},
      {"code39", "ABC-123", "ABC-123", 60, 20},
      {"itf14", "1234567890123", "12345678901231", 70, 20},
      {"interleaved2of5", "1234567890", "1234567890", 50, 20},
      {"qr", "Grüße aus Köln – 東京 ✓", "Grüße aus Köln – 東京 ✓", 30, 30},
      {"datamatrix", "Hello, Data Matrix 2026", "Hello, Data Matrix 2026", 25, 25},
      {"gs1-datamatrix", "[01]09501101530003[17]140704", "010950110153000317140704", 25, 25},
      {"pdf417", "PDF417 for shipping, ünïcødé", "PDF417 for shipping, ünïcødé", 80, 30},
      {"aztec", "Aztec ticket 42", "Aztec ticket 42", 25, 25},
  };
  return cases;
}

class BarcodeTest : public test::PrinterFixture {
protected:
  // One barcode cell 5 mm from the page's corner, printed to the fixture's target.
  void PrintCase(const TCase& Case, const TBarcodeOptions& Options = {}) {
    TMivora sheet(nullptr);
    sheet.SetMeasurement(mtCentimeters);
    sheet.AddGraphic("Code", MakeBarcode(Case.Symbology, Case.Data, Options).release(), 0.5f,
                     0.5f, static_cast<float>(Case.WidthMm / 10), static_cast<float>(Case.HeightMm / 10));
    sheet.Print("barcode");
  }
  void UsePage(const TCase& Case) {
    printer->SetPaperSize(Case.WidthMm + 10, Case.HeightMm + 10);
  }
};

TEST_F(BarcodeTest, EverySymbologyScansFromPngAt300And150Dpi) {
  for (const TCase& c : Cases()) {
    for (int32_t dpi : {300, 150}) {
      SCOPED_TRACE(std::string(c.Symbology) + " at " + std::to_string(dpi) + " dpi");
      const std::string png = UsePng(std::string(c.Symbology) + "-" + std::to_string(dpi), dpi,
                                     c.WidthMm + 10, c.HeightMm + 10);
      PrintCase(c);
      EXPECT_EQ(Decode(TImage::Load(png)), c.Expected);
    }
  }
}

TEST_F(BarcodeTest, EverySymbologyScansFromPdfRasterisedByPoppler) {
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.Symbology);
    UsePage(c);
    const std::string pdf = UsePdf(c.Symbology);
    PrintCase(c);
    const std::string stem = pdf.substr(0, pdf.size() - 4);
    ASSERT_EQ(test::RunCommandWithStatus("pdftoppm -r 300 -singlefile -png '" + pdf + "' '" +
                                         stem + "'").ExitCode,
              0);
    EXPECT_EQ(Decode(TImage::Load(stem + ".png")), c.Expected);
  }
}

TEST_F(BarcodeTest, PdfHoldsBarsAsFilledRectanglesNotAPicture) {
  const TCase& qr = Cases()[9];
  UsePage(qr);
  const std::string pdf = UsePdf("vector");
  PrintCase(qr);
  EXPECT_EQ(test::RunCommand("pdfimages -list '" + pdf + "' | tail -n +3 | wc -l"), "0\n");
  // Cairo writes each rectangle as a closed path of four corners.
  const std::string content = test::RunCommand("qpdf --qdf --object-streams=disable '" + pdf +
                                               "' - | grep -a -c ' l h$'");
  EXPECT_GT(std::stoi(content), 50) << "runs of dark modules as rectangles";

  // SVG and PostScript likewise: paths, no embedded image.
  const std::string svg = OutputFile("vector.svg");
  printer->SetTarget(ptSvg, svg);
  PrintCase(qr);
  EXPECT_EQ(test::RunCommand("grep -c '<image' '" + svg + "'"), "0\n");
  EXPECT_NE(test::RunCommand("grep -c '<path' '" + svg + "'"), "0\n");
  const std::string ps = OutputFile("vector.ps");
  printer->SetTarget(ptPostScript, ps);
  PrintCase(qr);
  // The prolog defines the image operators (lines starting with "/"); none is used.
  EXPECT_EQ(test::RunCommand("grep -a -c -E '^[^/].*image' '" + ps + "'"), "0\n");
  EXPECT_GT(std::stoi(test::RunCommand("grep -a -c ' l h$\\| re$\\| re f' '" + ps + "'")), 50);
}

// On a pixel target every module is a whole number of pixels, each run of dark
// modules one solid block with sharp edges.
TEST_F(BarcodeTest, PngModulesAreWholePixelsAndSquare) {
  const std::string png = UsePng("grid", 300, 40, 40);
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtPixels);
  auto code = MakeBarcode("qr", "https://example.com/track/1Z999AA10123456784");
  const int32_t modules = code->Width(); // 33 with the quiet zone of 4 on each side
  TCell* cell = sheet.AddGraphic("Code", code.release(), 10, 10, 200, 200);
  cell->Alignment = 0;
  cell->Layout = 0;
  sheet.Print("grid");
  const TImage image = TImage::Load(png);
  // 200 / modules pixels per module, rounded down; the symbol at the cell's corner.
  const int32_t module = 200 / modules;
  const TRect ink = image.BoundsOf(clBlack);
  EXPECT_EQ(ink.Left, 10 + 4 * module);
  EXPECT_EQ(ink.Top, 10 + 4 * module);
  EXPECT_EQ(ink.Right - ink.Left, (modules - 8) * module);
  EXPECT_EQ(ink.Bottom - ink.Top, (modules - 8) * module);
  // Nothing but black and white: no smoothed edges.
  EXPECT_EQ(image.CountOf(clBlack) + image.CountOf(clWhite),
            int64_t{image.Width()} * image.Height());
  EXPECT_EQ(image.CountOf(clBlack) % (int64_t{module} * module), 0);
}

TEST_F(BarcodeTest, TwoDimensionalSymbolFollowsAlignmentAndLayout) {
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtPixels);
  auto code = MakeBarcode("datamatrix", "ABC", {.QuietZones = false});
  const int32_t side = code->Width();
  TCell* cell = sheet.AddGraphic("Code", code.release(), 100, 50, 10 * side + 7, 40 * side);
  cell->Alignment = 1; // right
  cell->Layout = 1;    // centre
  sheet.Print("placed");
  std::vector<TDrawOp> draws;
  for (const TDrawOp& op : printer->RecordedOps())
    if (op.Name == "DrawBarcode") draws.push_back(op);
  ASSERT_EQ(draws.size(), 1u);
  // Left, top, right, bottom, module across, module down.
  const int64_t top = 50 + (40 * side - 10 * side) / 2;
  EXPECT_EQ(draws[0].Args, (std::vector<int64_t>{107, top, 107 + 10 * side, top + 10 * side, 10, 10}));
  EXPECT_EQ(draws[0].Text, "ABC");
}

TEST_F(BarcodeTest, LinearSymbolTakesCellHeightWithTextUnderItInCellFontAndColour) {
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtPixels);
  TCell* cell = sheet.AddGraphic("Code", MakeBarcode("ean13", "400638133393").release(), 0, 0,
                                 800, 300);
  cell->Alignment = 0;
  cell->Font.Color = 0x0000FF;
  cell->Font.Name = "Courier New";
  sheet.Print("linear");
  std::vector<std::string> names;
  TDrawOp bars, text;
  for (const TDrawOp& op : printer->RecordedOps()) {
    names.push_back(op.Name);
    if (op.Name == "DrawBarcode") bars = op;
    if (op.Name == "DrawText") text = op;
  }
  ASSERT_EQ(bars.Args.size(), 6u);
  EXPECT_EQ(bars.Args[4], 800 / (95 + 22)); // EAN-13 is 95 modules, quiet zones 11 + 11
  EXPECT_EQ(bars.Args[0], 0);
  EXPECT_EQ(bars.Args[3], text.Args[1]) << "the text starts where the bars end";
  EXPECT_EQ(text.Args[3], 300) << "together they fill the cell's height";
  EXPECT_EQ(text.Text, "4006381333931") << "with the computed check digit";
  // The barcode comes after the cell's fill and before its edges.
  const auto at = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  EXPECT_LT(at("Rectangle"), at("DrawBarcode"));
  EXPECT_LT(at("DrawBarcode"), at("DrawText"));
}

TEST_F(BarcodeTest, DarkModulesTakeFontColourOverTheCellsBrush) {
  const std::string png = UsePng("colours", 150, 40, 40);
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  TCell* cell = sheet.AddGraphic("Code", MakeBarcode("aztec", "colours").release(), 0.5f, 0.5f, 3, 3);
  cell->Font.Color = 0x800000;  // navy
  cell->Brush.Color = 0xCCFFFF; // pale yellow
  cell->Brush.Style = bsSolid;
  sheet.Print("colours");
  const TImage image = TImage::Load(png);
  EXPECT_GT(image.CountOf(0x800000), 0);
  EXPECT_GT(image.CountOf(0xCCFFFF), 0);
  EXPECT_EQ(image.CountOf(clBlack), 0);
  EXPECT_EQ(Decode(image), "colours");
}

TEST_F(BarcodeTest, OptionsChangeTheSymbol) {
  EXPECT_EQ(MakeBarcode("qr", "x", {.Version = 5})->Columns(), 37);
  EXPECT_EQ(MakeBarcode("qr", "x")->Columns(), 21);
  EXPECT_EQ(MakeBarcode("datamatrix", "x", {.Version = 10})->Columns(), 32);
  EXPECT_EQ(MakeBarcode("qr", "x")->Width(), 29);
  EXPECT_EQ(MakeBarcode("qr", "x", {.QuietZones = false})->Width(), 21);
  // Higher error correction needs a bigger symbol for the same data.
  const std::string url = "https://example.com/track/1Z999AA10123456784";
  EXPECT_LT(MakeBarcode("qr", url, {.ErrorCorrection = 'L'})->Columns(),
            MakeBarcode("qr", url, {.ErrorCorrection = 'H'})->Columns());
  EXPECT_EQ(MakeBarcode("code128", "ABC", {.HumanReadable = false})->HumanReadableText(), "");
  EXPECT_EQ(MakeBarcode("upca", "03600029145")->HumanReadableText(), "036000291452");
  EXPECT_EQ(MakeBarcode("QR", "x")->Symbology(), TSymbology::QrCode) << "names ignore case";
  EXPECT_EQ(MakeBarcode("pdf417", "x")->RowHeight(0), 3);
}

TEST_F(BarcodeTest, BadDataIsRefusedWithTheSymbologysReason) {
  EXPECT_THROW_MSG(MakeBarcode("ean13", "40063A813339"), EBarcodeError,
                   "Cannot make EAN-13 barcode \"40063A813339\": Invalid character in data "
                   "(digits and \"+\" only)");
  EXPECT_THROW_MSG(MakeBarcode("ean13", "4006381333932"), EBarcodeError,
                   "Cannot make EAN-13 barcode \"4006381333932\": Invalid check digit '2', "
                   "expecting '1'");
  EXPECT_THROW_MSG(MakeBarcode("ean13", "1234567"), EBarcodeError,
                   "Cannot make EAN-13 barcode \"1234567\": 7 digits given; it takes 12 (the "
                   "check digit is added) or 13 (with the check digit)");
  EXPECT_THROW_MSG(MakeBarcode("ean13", "4006+12"), EBarcodeError,
                   "Cannot make EAN-13 barcode \"4006+12\": '+' at position 5: add-on symbols "
                   "are not supported");
  EXPECT_THROW_MSG(MakeBarcode("code39", "abc"), EBarcodeError,
                   "Cannot make Code 39 barcode \"abc\": lower-case letter 'a' at position 1 "
                   "(Code 39 has capitals only)");
  EXPECT_THROW_MSG(MakeBarcode("qr", std::string(100, 'x'), {.Version = 1}), EBarcodeError,
                   "Cannot make QR Code barcode \"" + std::string(60, 'x') +
                       "...\": Input too long for selected symbol size");
  EXPECT_THROW_MSG(MakeBarcode("qr", ""), EBarcodeError, "Cannot make QR Code barcode \"\": no data");
  EXPECT_THROW_MSG(MakeBarcode("gs1-128", "[01]123"), EBarcodeError,
                   "Cannot make GS1-128 barcode \"[01]123\": Invalid data length for AI (01)");
}

TEST_F(BarcodeTest, UnknownSymbologiesAndOptionsAreNamed) {
  EXPECT_THROW_MSG(MakeBarcode("ean14", "1"), EBarcodeError,
                   "Unknown barcode symbology \"ean14\" (known: code128, gs1-128, ean13, ean8, "
                   "upca, upce, code39, itf14, interleaved2of5, qr, datamatrix, gs1-datamatrix, "
                   "pdf417, aztec)");
  EXPECT_THROW_MSG(MakeBarcode("qr", "x", {.ErrorCorrection = 'X'}), EBarcodeError,
                   "Cannot make QR Code barcode \"x\": unknown error correction level 'X' (L, M, "
                   "Q or H)");
  EXPECT_THROW_MSG(MakeBarcode("qr", "x", {.Version = 41}), EBarcodeError,
                   "Cannot make QR Code barcode \"x\": version 41 is out of range (1 to 40)");
  EXPECT_THROW_MSG(MakeBarcode("code128", "x", {.Version = 2}), EBarcodeError,
                   "Cannot make Code 128 barcode \"x\": version 2 given, but only QR Code and "
                   "Data Matrix have a version");
  EXPECT_THROW_MSG(MakeBarcode("qr", std::string(9000, '1')), EBarcodeError,
                   "Cannot make QR Code barcode \"" + std::string(60, '1') +
                       "...\": 9000 bytes is more than any symbol holds");
}

TEST_F(BarcodeTest, CellTooSmallToScanIsAnError) {
  // 150 dpi PNG: the 29-module QR needs 29 pixels, about 4.9 mm.
  UsePng("small", 150, 20, 20);
  {
    TMivora sheet(nullptr);
    sheet.SetMeasurement(mtCentimeters);
    sheet.AddGraphic("Code", MakeBarcode("qr", "x").release(), 0.1f, 0.1f, 0.4f, 0.4f);
    EXPECT_THROW_MSG(sheet.Print("small"), EBarcodeError,
                     "Barcode \"x\" (QR Code, 29 modules across and 29 down) does not fit its "
                     "cell of 4.1 mm x 4.1 mm: a module would be under one device pixel at 150 "
                     "dpi; it needs at least 5 mm x 5 mm");
  }
  printer->Abort();
  // On PDF a module must be 0.19 mm: 5 dots at 600 dpi, so 145 dots for the QR.
  UsePdf("small");
  printer->SetResolution(600);
  {
    TMivora sheet(nullptr);
    sheet.SetMeasurement(mtCentimeters);
    sheet.AddGraphic("Code", MakeBarcode("qr", "x").release(), 0.1f, 0.1f, 0.5f, 0.5f);
    EXPECT_THROW_MSG(sheet.Print("small"), EBarcodeError,
                     "Barcode \"x\" (QR Code, 29 modules across and 29 down) does not fit its "
                     "cell of 5 mm x 5 mm: a module would be narrower than 0.19 mm; it needs at "
                     "least 6.2 mm x 6.2 mm");
  }
}

TEST_F(BarcodeTest, BarcodeDrawnAsAPlainPictureScalesWithItsRectangle) {
  const std::string png = UsePng("plain", 300, 30, 30);
  auto code = MakeBarcode("qr", "plain picture");
  printer->BeginDoc();
  canvas->StretchDraw(TRect{0, 0, code->Width() * 8, code->Width() * 8}, code.get());
  EXPECT_EQ(Decode(EndAndLoad(png)), "plain picture");
}

// Whatever bytes arrive from a data file, every symbology either makes a symbol
// that draws or refuses with its own message: never a crash or a silent blank.
TEST_F(BarcodeTest, HostileDataIsEncodedOrRefusedNeverCrashes) {
  const std::vector<std::string> inputs = {
      std::string("\0\x01\xFF\xFE", 4), "\xC3\x28 invalid UTF-8", std::string(3000, '9'),
      std::string(1500, 'A'), "[01]", "[99]" + std::string(200, 'x'), "(01)09501101530003",
      "\xF0\x9F\x93\xA6 parcel", " ", "123456789012345678901234567890"};
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtPixels);
  TCell* cell = sheet.AddGraphic("Code", nullptr, 0, 0, 4000, 3000);
  for (TSymbology symbology = TSymbology::Code128; symbology <= TSymbology::Aztec;
       symbology = static_cast<TSymbology>(static_cast<int>(symbology) + 1)) {
    for (const std::string& data : inputs) {
      SCOPED_TRACE(std::string(SymbologyName(symbology)) + " " + data.substr(0, 20));
      try {
        cell->SetGraphic(new TBarcodeGraphic(symbology, data));
      } catch (const EBarcodeError& error) {
        EXPECT_NE(std::string(error.what()).find(": "), std::string::npos);
        continue;
      }
      auto* code = static_cast<TBarcodeGraphic*>(cell->GetGraphic());
      EXPECT_GT(code->Columns(), 0);
      EXPECT_NO_THROW(sheet.Print("hostile"));
    }
  }
}

} // namespace
} // namespace mivora
