// Pictures: loading PNG, JPEG and SVG from files and memory, errors that name the
// file, bounded sizes, and drawing (pixel-exact at natural size, vector in PDF).
#include "Picture.h"

#include "Canvas.h"
#include "ImageCompare.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

constexpr TColor Red = 0x0000FF;
constexpr TColor Blue = 0xFF0000;
constexpr TColor Green = 0x00FF00;

std::string DataFile(const std::string& Name) { return std::string(MIVORA_TEST_DATA_DIR) + "/" + Name; }

std::string ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of this test in the output folder holding Bytes.
std::string WriteFile(const std::string& Name, const std::string& Bytes) {
  const std::string path = OutputDir() + "/Picture_test-" + Name;
  std::ofstream(path, std::ios::binary) << Bytes;
  return path;
}

std::unique_ptr<TGraphic> FromMemory(const std::string& Bytes, const std::string& Name) {
  return LoadGraphicFromMemory(Bytes.data(), Bytes.size(), Name);
}

// The rows of `pdfimages -list` for images (not their soft masks), after its two
// header lines.
std::vector<std::string> PdfImages(const std::string& Pdf) {
  std::istringstream lines(RunCommand("pdfimages -list '" + Pdf + "'"));
  std::vector<std::string> images;
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    std::istringstream columns(line);
    std::string page, number, type;
    columns >> page >> number >> type;
    if (i >= 2 && type == "image") images.push_back(line);
  }
  return images;
}

// Whether each channel of two 0xAARRGGBB pixels is within Tolerance (JPEG is lossy).
bool Near(uint32_t Actual, uint32_t Expected, int Tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((Actual >> shift) & 0xFF);
    const int e = static_cast<int>((Expected >> shift) & 0xFF);
    if (std::abs(a - e) > Tolerance) return false;
  }
  return true;
}

const TBitmapGraphic& AsBitmap(const std::unique_ptr<TGraphic>& Graphic) {
  const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(Graphic.get());
  EXPECT_NE(bitmap, nullptr);
  return *bitmap;
}

TEST(PictureLoading, ReadsEachKindFromAFileWithItsNaturalSizeAndPixels) {
  const auto png = LoadGraphicFromFile(DataFile("picture.png"));
  EXPECT_EQ(png->Width(), 6);
  EXPECT_EQ(png->Height(), 4);
  EXPECT_EQ(AsBitmap(png).Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(AsBitmap(png).Pixel(5, 0), 0xFF0000FFu);
  EXPECT_EQ(AsBitmap(png).Pixel(5, 3), 0x8000FF00u); // half-transparent green keeps its colour
  EXPECT_EQ(AsBitmap(png).Pixel(6, 0), 0u);

  const auto jpeg = LoadGraphicFromFile(DataFile("picture.jpg"));
  EXPECT_EQ(jpeg->Width(), 16);
  EXPECT_EQ(jpeg->Height(), 8);
  EXPECT_TRUE(Near(AsBitmap(jpeg).Pixel(2, 2), 0xFFFF0000u, 8));
  EXPECT_TRUE(Near(AsBitmap(jpeg).Pixel(13, 5), 0xFF0000FFu, 8));

  const auto gray = LoadGraphicFromFile(DataFile("picture-gray.jpg"));
  EXPECT_EQ(gray->Width(), 8);
  EXPECT_TRUE(Near(AsBitmap(gray).Pixel(3, 3), 0xFF808080u, 2));

  // Adobe CMYK (stored inverted) comes out as the colour it means: red.
  const auto cmyk = LoadGraphicFromFile(DataFile("picture-cmyk.jpg"));
  EXPECT_EQ(cmyk->Height(), 8);
  EXPECT_TRUE(Near(AsBitmap(cmyk).Pixel(4, 4), 0xFFFF0000u, 4));

  const auto svg = LoadGraphicFromFile(DataFile("picture.svg"));
  EXPECT_NE(dynamic_cast<const TSvgGraphic*>(svg.get()), nullptr);
  EXPECT_EQ(svg->Width(), 40);
  EXPECT_EQ(svg->Height(), 20);
}

TEST(PictureLoading, TellsTheKindByItsContentNotByItsName) {
  const auto png = FromMemory(ReadBytes(DataFile("picture.png")), "logo.svg");
  EXPECT_EQ(AsBitmap(png).Pixel(0, 0), 0xFFFF0000u);
  const std::string misnamed = WriteFile("really-svg.jpg", ReadBytes(DataFile("picture.svg")));
  const auto svg = LoadGraphicFromFile(misnamed);
  EXPECT_NE(dynamic_cast<const TSvgGraphic*>(svg.get()), nullptr);
  EXPECT_EQ(svg->Width(), 40);
}

TEST(PictureLoading, MissingTruncatedAndForeignFilesRaiseAnErrorNamingTheFile) {
  const std::string missing = OutputDir() + "/no-such-picture.png";
  EXPECT_THROW_MSG(LoadGraphicFromFile(missing), EGraphicError,
                   "Cannot load picture \"" + missing + "\": No such file or directory");

  const std::string png = ReadBytes(DataFile("picture.png"));
  const std::string cutPng = WriteFile("cut.png", png.substr(0, png.size() / 2));
  EXPECT_THROW_MSG(LoadGraphicFromFile(cutPng), EGraphicError,
                   "Cannot load picture \"" + cutPng + "\": truncated or corrupt PNG data");
  EXPECT_THROW_MSG(FromMemory(png.substr(0, 20), "tiny.png"), EGraphicError,
                   "Cannot load picture \"tiny.png\": truncated PNG data");

  // libjpeg would fill a cut picture with grey and call it a success.
  const std::string jpeg = ReadBytes(DataFile("picture.jpg"));
  const std::string cutJpeg = WriteFile("cut.jpg", jpeg.substr(0, jpeg.size() / 2));
  EXPECT_THROW_MSG(LoadGraphicFromFile(cutJpeg), EGraphicError,
                   "Cannot load picture \"" + cutJpeg + "\": truncated JPEG data");
  EXPECT_THROW_MSG(FromMemory(jpeg.substr(0, 3), "stub.jpg"), EGraphicError,
                   "Cannot load picture \"stub.jpg\": truncated JPEG data");

  const std::string text = WriteFile("notes.png", "just some text\n");
  EXPECT_THROW_MSG(LoadGraphicFromFile(text), EGraphicError,
                   "Cannot load picture \"" + text + "\": not a PNG, JPEG or SVG picture");
  const std::string empty = WriteFile("empty.png", "");
  EXPECT_THROW_MSG(LoadGraphicFromFile(empty), EGraphicError,
                   "Cannot load picture \"" + empty + "\": the file is empty");
  EXPECT_THROW_MSG(LoadGraphicFromMemory(nullptr, 0, "blob"), EGraphicError,
                   "Cannot load picture \"blob\": no data (empty)");
  EXPECT_THROW_MSG(LoadGraphicFromFile(OutputDir()), EGraphicError,
                   "Cannot load picture \"" + OutputDir() + "\": not a regular file");

  try {
    FromMemory("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\"><rect", "broken.svg");
    ADD_FAILURE() << "a broken SVG was accepted";
  } catch (const EGraphicError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with(
        "Cannot load picture \"broken.svg\": invalid SVG data"))
        << e.what();
  }
}

TEST(PictureLoading, RefusesHeadersThatClaimHugePicturesBeforeTakingMemory) {
  std::string png = ReadBytes(DataFile("picture.png"));
  // Width and height of the header chunk: 100000 x 100000, big-endian.
  const std::string huge("\x00\x01\x86\xA0\x00\x01\x86\xA0", 8);
  png.replace(16, 8, huge);
  EXPECT_THROW_MSG(FromMemory(png, "huge.png"), EGraphicError,
                   "Cannot load picture \"huge.png\": 100000 x 100000 pixels is too large (at "
                   "most 32767 per side and 67108864 pixels in all)");

  std::string jpeg = ReadBytes(DataFile("picture.jpg"));
  const size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  // Height then width, big-endian, after the marker, length and precision: 30000 x 30000.
  jpeg.replace(frame + 5, 4, std::string("\x75\x30\x75\x30", 4));
  EXPECT_THROW_MSG(FromMemory(jpeg, "huge.jpg"), EGraphicError,
                   "Cannot load picture \"huge.jpg\": 30000 x 30000 pixels is too large (at most "
                   "32767 per side and 67108864 pixels in all)");
}

TEST(PictureLoading, SvgSizeComesFromWidthAndHeightOrElseFromTheViewBox) {
  const std::string ns = "xmlns=\"http://www.w3.org/2000/svg\"";
  // 10 mm at 96 pixels per inch is 37.8 pixels, rounded up so nothing is cut off.
  const auto mm = FromMemory("<svg " + ns + " width=\"10mm\" height=\"5mm\"/>", "mm.svg");
  EXPECT_EQ(mm->Width(), 38);
  EXPECT_EQ(mm->Height(), 19);
  const auto viewBox = FromMemory("<svg " + ns + " viewBox=\"0 0 30 15\"/>", "box.svg");
  EXPECT_EQ(viewBox->Width(), 30);
  EXPECT_EQ(viewBox->Height(), 15);
  const auto percent =
      FromMemory("<svg " + ns + " width=\"100%\" height=\"50%\" viewBox=\"0 0 12 7\"/>", "pc.svg");
  EXPECT_EQ(percent->Width(), 12);
  EXPECT_EQ(percent->Height(), 7);
  EXPECT_THROW_MSG(FromMemory("<svg " + ns + "><rect width=\"5\" height=\"5\"/></svg>", "nosize.svg"),
                   EGraphicError,
                   "Cannot load picture \"nosize.svg\": the SVG has neither a width and height in "
                   "absolute units nor a viewBox to take its size from");
}

TEST(PictureLoading, BitmapsFromPixelsKeepThemAndRefuseAMismatchedBuffer) {
  const TBitmapGraphic bitmap(2, 1, {0xFF112233u, 0x80FF0000u});
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF112233u);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0x80FF0000u);
  EXPECT_THROW_MSG(TBitmapGraphic(2, 1, {1, 2, 3}), EGraphicError,
                   "Cannot load picture \"pixels in memory\": 3 pixels given for a picture of 2 x 1");
  EXPECT_THROW_MSG(TBitmapGraphic(0, 1, {}), EGraphicError,
                   "Cannot load picture \"pixels in memory\": invalid size 0 x 1 pixels");
}

class PictureDrawing : public PrinterFixture {};

TEST_F(PictureDrawing, ABitmapAtNaturalSizeCoversExactlyItsPixels) {
  const auto png = LoadGraphicFromFile(DataFile("picture.png"));
  const std::string path = UsePng("natural", 72, 20, 20);
  printer->BeginDoc();
  canvas->Draw(10, 5, png.get());
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({10, 5, 13, 9}, Red);
  expected.FillRect({13, 5, 16, 9}, Blue);
  expected.SetPixel(15, 8, 0x7FFF7F); // green at half alpha over white
  // One step of tolerance: blending half alpha over white rounds either way.
  EXPECT_TRUE(ImagesMatch(page, expected, "natural", 1));
}

TEST_F(PictureDrawing, AStretchedBitmapFillsTheWholeRectangleWithoutFadingAtItsBorder) {
  const TBitmapGraphic red(3, 3, std::vector<uint32_t>(9, 0xFFFF0000u));
  const std::string path = UsePng("stretched", 72, 20, 20);
  printer->BeginDoc();
  canvas->StretchDraw({5, 7, 25, 15}, const_cast<TBitmapGraphic*>(&red));
  const TImage page = EndAndLoad(path);

  TImage expected(page.Width(), page.Height());
  expected.FillRect({5, 7, 25, 15}, Red);
  EXPECT_TRUE(ImagesMatch(page, expected, "stretched"));
}

TEST_F(PictureDrawing, AnSvgIsDrawnScaledIntoTheRectangle) {
  const auto svg = LoadGraphicFromFile(DataFile("picture.svg"));
  const std::string path = UsePng("svg", 72, 40, 20);
  printer->BeginDoc();
  canvas->StretchDraw({0, 0, 80, 30}, svg.get()); // twice as wide, one and a half times as high
  const TImage page = EndAndLoad(path);

  EXPECT_TRUE(page.AllOf({0, 0, 40, 30}, Blue));
  EXPECT_TRUE(page.AllOf({40, 0, 80, 30}, Green));
  EXPECT_TRUE(page.AllOf({80, 0, page.Width(), page.Height()}, clWhite));
  EXPECT_TRUE(page.AllOf({0, 30, page.Width(), page.Height()}, clWhite));
}

TEST_F(PictureDrawing, AnSvgStaysVectorInAPdfWhileRasterPicturesAreImages) {
  const auto svg = LoadGraphicFromFile(DataFile("picture.svg"));
  const std::string vector = UsePdf("vector");
  printer->BeginDoc();
  canvas->StretchDraw({100, 100, 2100, 1100}, svg.get());
  printer->EndDoc();
  EXPECT_TRUE(PdfImages(vector).empty()) << RunCommand("pdfimages -list '" + vector + "'");

  const auto png = LoadGraphicFromFile(DataFile("picture.png"));
  const auto jpeg = LoadGraphicFromFile(DataFile("picture.jpg"));
  const std::string raster = UsePdf("raster");
  printer->BeginDoc();
  canvas->Draw(100, 100, png.get());
  canvas->StretchDraw({200, 200, 1800, 1000}, jpeg.get());
  printer->EndDoc();
  const std::vector<std::string> images = PdfImages(raster);
  ASSERT_EQ(images.size(), 2u) << RunCommand("pdfimages -list '" + raster + "'");
  // The JPEG is embedded as it was loaded, not re-encoded from its pixels.
  EXPECT_NE(images[1].find("jpeg"), std::string::npos) << images[1];
}

TEST_F(PictureDrawing, APictureOfAnUnknownKindIsRefusedRatherThanLeftOut) {
  class TEmpty : public TGraphic {
  public:
    int32_t Width() const override { return 5; }
    int32_t Height() const override { return 5; }
  } empty;
  printer->BeginDoc();
  EXPECT_THROW_MSG(canvas->Draw(0, 0, &empty), EGraphicError,
                   "Cannot draw a picture of a kind that is neither raster nor SVG");
}

} // namespace
} // namespace mivora::test
