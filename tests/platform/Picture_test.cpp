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
#include <set>
#include <sstream>
#include <string>
#include <utility>
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

// ---------------------------------------------------------------------------
// Metadata: EXIF orientation and resolution, PNG resolution

std::string U16(uint32_t Value) { return {static_cast<char>(Value & 0xFF), static_cast<char>(Value >> 8)}; }
std::string U32(uint32_t Value) { return U16(Value & 0xFFFF) + U16(Value >> 16); }

// A little-endian EXIF block whose one directory holds Entries (12 bytes each)
// followed by Extra; the directory claims Count entries when Count >= 0.
std::string ExifBlock(const std::vector<std::string>& Entries, const std::string& Extra = {}, int Count = -1) {
  std::string tiff = "II" + U16(42) + U32(8) + U16(Count >= 0 ? Count : static_cast<uint32_t>(Entries.size()));
  for (const std::string& entry : Entries) tiff += entry;
  return tiff + U32(0) + Extra;
}

std::string ShortEntry(uint32_t Tag, uint32_t Value) { return U16(Tag) + U16(3) + U32(1) + U16(Value) + U16(0); }

// The JPEG with an EXIF segment holding Tiff right after its start marker.
std::string WithExif(const std::string& Jpeg, const std::string& Tiff) {
  const std::string body = "Exif" + std::string(2, '\0') + Tiff;
  const size_t length = body.size() + 2;
  return Jpeg.substr(0, 2) + "\xFF\xE1" + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + body +
         Jpeg.substr(2);
}

uint32_t Crc32(const std::string& Bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : Bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string BigEndian(uint32_t Value) {
  return {static_cast<char>(Value >> 24), static_cast<char>(Value >> 16), static_cast<char>(Value >> 8),
          static_cast<char>(Value)};
}

// The PNG with a pHYs chunk of the given pixels per metre after its header chunk.
std::string WithPhys(const std::string& Png, uint32_t PerMetreX, uint32_t PerMetreY) {
  const std::string chunk = "pHYs" + BigEndian(PerMetreX) + BigEndian(PerMetreY) + std::string(1, '\1');
  return Png.substr(0, 33) + BigEndian(9) + chunk + BigEndian(Crc32(chunk)) + Png.substr(33);
}

constexpr uint32_t Opaque(uint32_t Rgb) { return 0xFF000000u | Rgb; }

TEST(PictureMetadata, ExifOrientationTurnsAndMirrorsThePictureUpright) {
  // Stored 32 x 16: red top-left, green top-right, blue bottom-left, white bottom-right.
  const std::string jpeg = ReadBytes(DataFile("picture-quadrants.jpg"));
  const uint32_t red = Opaque(0xFF0000), green = Opaque(0x00FF00), blue = Opaque(0x0000FF), white = Opaque(0xFFFFFF);
  struct TCase {
    int Orientation;
    int32_t Width, Height;
    uint32_t TopLeft, TopRight, BottomLeft, BottomRight;
  };
  const TCase cases[] = {
      {1, 32, 16, red, green, blue, white},  {2, 32, 16, green, red, white, blue},
      {3, 32, 16, white, blue, green, red},  {4, 32, 16, blue, white, red, green},
      {5, 16, 32, red, blue, green, white},  {6, 16, 32, blue, red, white, green},
      {7, 16, 32, white, green, blue, red},  {8, 16, 32, green, white, red, blue},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.Orientation));
    const auto picture = FromMemory(WithExif(jpeg, ExifBlock({ShortEntry(0x0112, c.Orientation)})),
                                    "turned" + std::to_string(c.Orientation) + ".jpg");
    ASSERT_EQ(picture->Width(), c.Width);
    ASSERT_EQ(picture->Height(), c.Height);
    const TBitmapGraphic& bitmap = AsBitmap(picture);
    // Corners sampled three pixels in, clear of the colours' borders; JPEG is lossy.
    EXPECT_TRUE(Near(bitmap.Pixel(3, 3), c.TopLeft, 24)) << std::hex << bitmap.Pixel(3, 3);
    EXPECT_TRUE(Near(bitmap.Pixel(c.Width - 4, 3), c.TopRight, 24));
    EXPECT_TRUE(Near(bitmap.Pixel(3, c.Height - 4), c.BottomLeft, 24));
    EXPECT_TRUE(Near(bitmap.Pixel(c.Width - 4, c.Height - 4), c.BottomRight, 24));
  }
}

TEST(PictureMetadata, ResolutionComesFromPngPhysJfifDensityOrExifAndIsOtherwiseUntold) {
  const std::string png = ReadBytes(DataFile("picture.png"));
  EXPECT_EQ(FromMemory(png, "plain.png")->ResolutionX(), 0.0);
  const auto phys = FromMemory(WithPhys(png, 11811, 5906), "phys.png"); // 300 x 150 dpi
  EXPECT_NEAR(phys->ResolutionX(), 300.0, 0.01);
  EXPECT_NEAR(phys->ResolutionY(), 150.0, 0.05); // 5906 per metre is 150.01 per inch
  EXPECT_EQ(phys->Width(), 6); // the pixels stay as they are

  const std::string jpeg = ReadBytes(DataFile("picture-quadrants.jpg"));
  EXPECT_EQ(FromMemory(jpeg, "plain.jpg")->ResolutionY(), 0.0);
  // 200 dpi across, 100 down, turned a quarter: the upright picture's axes swap.
  const std::string rationals = U32(200) + U32(1) + U32(100) + U32(1);
  const std::string tiff = ExifBlock({ShortEntry(0x0112, 6), U16(0x011A) + U16(5) + U32(1) + U32(62),
                                      U16(0x011B) + U16(5) + U32(1) + U32(70), ShortEntry(0x0128, 2)},
                                     rationals);
  const auto exif = FromMemory(WithExif(jpeg, tiff), "exif.jpg");
  EXPECT_DOUBLE_EQ(exif->ResolutionX(), 100.0);
  EXPECT_DOUBLE_EQ(exif->ResolutionY(), 200.0);

  // JFIF: units 2 (dots per centimetre), 100 x 100.
  const std::string jfif("JFIF\0\x01\x02\x02\x00\x64\x00\x64\x00\x00", 14);
  std::string withJfif = jpeg.substr(0, 2) + "\xFF\xE0" + std::string(1, '\0') + static_cast<char>(jfif.size() + 2) +
                         jfif + jpeg.substr(2);
  EXPECT_DOUBLE_EQ(FromMemory(withJfif, "jfif.jpg")->ResolutionX(), 254.0);
}

TEST(PictureMetadata, ExifDataThatLiesIsRefusedNamingTheFile) {
  const std::string jpeg = ReadBytes(DataFile("picture-quadrants.jpg"));
  const std::string prefix = "Cannot load picture \"lies.jpg\": corrupt EXIF data (";
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, ExifBlock({ShortEntry(0x0112, 9)})), "lies.jpg"), EGraphicError,
                   prefix + "orientation 9 is not one of 1 to 8)");
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, ExifBlock({}, {}, 4000)), "lies.jpg"), EGraphicError,
                   prefix + "directory of 4000 entries runs past the end)");
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, "II" + U16(42) + U32(0x7FFFFFF0)), "lies.jpg"), EGraphicError,
                   prefix + "directory offset 2147483632 outside the 8 bytes)");
  const std::string farRational = U16(0x011A) + U16(5) + U32(1) + U32(0xFFFFFFFFu);
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, ExifBlock({farRational})), "lies.jpg"), EGraphicError,
                   prefix + "resolution offset 4294967295 outside the 26 bytes)");
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, "MM\x00\x2A"), "lies.jpg"), EGraphicError,
                   prefix + "the header is truncated)");
  EXPECT_THROW_MSG(FromMemory(WithExif(jpeg, "XX" + U16(42) + U32(8)), "lies.jpg"), EGraphicError,
                   prefix + "unknown byte order)");
  // A file names itself.
  const std::string file = WriteFile("lies.jpg", WithExif(jpeg, ExifBlock({ShortEntry(0x0112, 0)})));
  EXPECT_THROW_MSG(LoadGraphicFromFile(file), EGraphicError,
                   "Cannot load picture \"" + file + "\": corrupt EXIF data (orientation 0 is not one of 1 to 8)");
}

TEST(PictureLoading, AFileChangedSinceItsLastLoadIsReadAgain) {
  const std::string path = WriteFile("changing", ReadBytes(DataFile("picture.png")));
  const auto first = LoadGraphicFromFile(path);
  const auto again = LoadGraphicFromFile(path); // unchanged: the same pixels
  EXPECT_EQ(again->Width(), 6);
  // Rewritten with another picture while the first is still held.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << ReadBytes(DataFile("picture-quadrants.jpg"));
  const auto changed = LoadGraphicFromFile(path);
  EXPECT_EQ(changed->Width(), 32);
  EXPECT_EQ(first->Width(), 6);
}

// ---------------------------------------------------------------------------
// What vector targets embed

// The numbers of the distinct image objects `pdfimages -list` shows (soft masks apart).
std::set<std::string> ImageObjects(const std::string& Pdf) {
  std::set<std::string> objects;
  for (const std::string& line : PdfImages(Pdf)) {
    std::istringstream columns(line);
    std::string column;
    for (int i = 0; i < 11 && columns >> column; ++i) {
      if (i == 10) objects.insert(column);
    }
  }
  return objects;
}

// Whether every pixel of Rect is within Tolerance of Color in each channel.
bool AllNear(const TImage& Image, const TRect& Rect, TColor Color, int Tolerance) {
  for (int32_t y = Rect.Top; y < Rect.Bottom; ++y)
    for (int32_t x = Rect.Left; x < Rect.Right; ++x)
      if (!Near(Image.PixelAt(x, y), Color, Tolerance)) return false;
  return true;
}

// Puts the printer's picture resolution limit back after a test.
class TMaxDpiGuard {
public:
  ~TMaxDpiGuard() { Printer()->SetMaxPictureDpi(0); }
};

TEST_F(PictureDrawing, APictureLoadedAgainAndAgainIsEmbeddedOnceInPdfPostScriptAndSvg) {
  const std::string logo = DataFile("picture.png");
  for (const char* kind : {"pdf", "ps", "svg"}) {
    SCOPED_TRACE(kind);
    const std::string path = OutputFile(std::string("logos.") + kind);
    printer->SetTarget(std::string(kind) == "pdf" ? ptPdf : std::string(kind) == "ps" ? ptPostScript : ptSvg, path);
    printer->BeginDoc();
    // 200 drawings on 25 pages, each from its own load of the file; every other
    // one lives on while the next is loaded, the rest are released first.
    std::unique_ptr<TGraphic> previous;
    for (int i = 0; i < 200; ++i) {
      if (i > 0 && i % 8 == 0) printer->NewPage();
      if (i % 2 == 0) previous.reset();
      std::unique_ptr<TGraphic> picture = LoadGraphicFromFile(logo);
      canvas->StretchDraw({100 + (i % 8) * 200, 100, 260 + (i % 8) * 200, 200}, picture.get());
      previous = std::move(picture);
    }
    printer->EndDoc();
    const std::string text = ReadBytes(path);
    if (std::string(kind) == "pdf") {
      EXPECT_EQ(ImageObjects(path).size(), 1u) << RunCommand("pdfimages -list '" + path + "' | head");
      EXPECT_NE(RunCommand("pdfinfo '" + path + "'").find("Pages:           25\n"), std::string::npos);
    } else if (std::string(kind) == "ps") {
      size_t forms = 0;
      for (size_t at = text.find("/Form defineresource"); at != std::string::npos;
           at = text.find("/Form defineresource", at + 1))
        ++forms;
      EXPECT_EQ(forms, 1u);
      EXPECT_NE(text.find("execform"), std::string::npos);
    } else {
      // The SVG file holds its last page; its eight drawings share one image.
      size_t images = 0;
      for (size_t at = text.find("<image"); at != std::string::npos; at = text.find("<image", at + 1)) ++images;
      EXPECT_EQ(images, 1u);
    }
  }
}

// What `qpdf --check` says of a PDF, when it finds anything amiss (its exit code
// is 0 only for a file without errors or warnings).
std::string QpdfComplaints(const std::string& Pdf) {
  const TCommandResult check = RunCommandWithStatus("qpdf --check '" + Pdf + "' 2>&1");
  return check.ExitCode == 0 ? std::string() : check.Output;
}

TEST_F(PictureDrawing, AnSvgPictureDrawnAgainAndAgainIsOneFormInPdf) {
  const std::string path = UsePdf("svg-logos");
  printer->BeginDoc();
  // Each drawing from its own load of the file, released before the next.
  for (int i = 0; i < 12; ++i) {
    if (i == 8) printer->NewPage();
    const auto logo = LoadGraphicFromFile(DataFile("picture.svg"));
    canvas->StretchDraw({100 + (i % 8) * 200, 100, 260 + (i % 8) * 200, 180}, logo.get());
  }
  printer->EndDoc();
  const std::string objects = RunCommand("qpdf --qdf --object-streams=disable '" + path + "' -");
  size_t forms = 0;
  for (size_t at = objects.find("/Subtype /Form"); at != std::string::npos; at = objects.find("/Subtype /Form", at + 1))
    ++forms;
  EXPECT_EQ(forms, 1u);
  EXPECT_TRUE(PdfImages(path).empty()); // still vector
  EXPECT_EQ(QpdfComplaints(path), ""); // the form named once in each page's resources

  // Every use shows the picture: blue left half, green right half (at 72 dpi the
  // first spans (12, 12) to (31.2, 21.6), the twelfth is on page 2).
  const std::string png = OutputFile("svg-logos.png");
  for (int page : {1, 2}) {
    SCOPED_TRACE(page);
    const std::string n = std::to_string(page);
    RunCommand("pdftoppm -r 72 -f " + n + " -l " + n + " -png -singlefile '" + path + "' '" +
               png.substr(0, png.size() - 4) + "'");
    const TImage image = TImage::Load(png);
    for (int i = 0; i < (page == 1 ? 8 : 4); ++i) {
      EXPECT_TRUE(AllNear(image, {13 + i * 24, 13, 20 + i * 24, 20}, Blue, 8));
      EXPECT_TRUE(AllNear(image, {24 + i * 24, 13, 30 + i * 24, 20}, Green, 8));
    }
  }
}

TEST_F(PictureDrawing, AJpegIsEmbeddedInPdfAsItsOwnBytesAndTurnedByTheDrawing) {
  const std::string bytes =
      WithExif(ReadBytes(DataFile("picture-quadrants.jpg")), ExifBlock({ShortEntry(0x0112, 6)}));
  const std::string file = WriteFile("turned.jpg", bytes);
  const auto photo = LoadGraphicFromFile(file);
  // Reading its pixels first (as checks of a picture do) keeps the photo's own bytes.
  const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(photo.get());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_NE(bitmap->Pixel(0, 0), 0u);
  const std::string pdf = UsePdf("jpeg");
  printer->BeginDoc();
  canvas->StretchDraw({600, 600, 1200, 1800}, photo.get()); // upright: 16 x 32
  printer->EndDoc();
  const std::set<std::string> objects = ImageObjects(pdf);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(RunCommand("qpdf --show-object=" + *objects.begin() + " --raw-stream-data '" + pdf + "'"), bytes);

  // Read back as pixels, the photo stands upright: blue top-left, red top-right,
  // green bottom-right. At 72 dpi the picture spans (72, 72) to (144, 216); JPEG
  // and the reader's smoothing blur the colours' borders, so samples keep clear.
  const std::string png = OutputFile("jpeg.png");
  RunCommand("pdftoppm -r 72 -png -singlefile '" + pdf + "' '" + png.substr(0, png.size() - 4) + "'");
  const TImage page = TImage::Load(png);
  EXPECT_TRUE(AllNear(page, {78, 78, 100, 130}, Blue, 40));
  EXPECT_TRUE(AllNear(page, {116, 78, 138, 130}, Red, 40));
  EXPECT_TRUE(AllNear(page, {116, 160, 138, 210}, Green, 40));
}

TEST_F(PictureDrawing, PngTransparencyBecomesASoftMaskInPdf) {
  const auto png = LoadGraphicFromFile(DataFile("picture.png"));
  const std::string pdf = UsePdf("smask");
  printer->BeginDoc();
  canvas->StretchDraw({100, 100, 700, 500}, png.get());
  printer->EndDoc();
  const std::string list = RunCommand("pdfimages -list '" + pdf + "'");
  EXPECT_NE(list.find("smask"), std::string::npos) << list;

  // An opaque picture gets no mask.
  const std::string plain = UsePdf("plain");
  printer->BeginDoc();
  const auto jpeg = LoadGraphicFromFile(DataFile("picture.jpg"));
  canvas->StretchDraw({100, 100, 700, 500}, jpeg.get());
  printer->EndDoc();
  const std::string plainList = RunCommand("pdfimages -list '" + plain + "'");
  EXPECT_EQ(plainList.find("smask"), std::string::npos) << plainList;
}

// The smask rows of `pdfimages -list`: their bits per component, one per row.
std::vector<std::string> SoftMaskDepths(const std::string& Pdf) {
  std::istringstream lines(RunCommand("pdfimages -list '" + Pdf + "'"));
  std::vector<std::string> depths;
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    std::istringstream columns(line);
    std::string page, number, type, width, height, color, comp, bpc;
    columns >> page >> number >> type >> width >> height >> color >> comp >> bpc;
    if (i >= 2 && type == "smask") depths.push_back(bpc);
  }
  return depths;
}

TEST_F(PictureDrawing, APictureOfClearAndOpaquePixelsKeepsItsShapeAndOneImageInPdf) {
  // Red top-left and blue bottom-right, the other quarters clear.
  std::vector<uint32_t> pixels(1600, 0u);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      if ((x < 20) == (y < 20)) pixels[static_cast<size_t>(y * 40 + x)] = y < 20 ? 0xFFFF0000u : 0xFF0000FFu;
  TBitmapGraphic quarters(40, 40, pixels);
  const std::string pdf = UsePdf("quarters");
  printer->BeginDoc();
  canvas->Brush()->SetColor(Green);
  canvas->Rectangle(1800, 600, 2400, 1200); // the clear quarters show what lies beneath
  for (int i = 0; i < 3; ++i) {
    if (i == 2) printer->NewPage();
    canvas->StretchDraw({600 + i % 2 * 1200, 600, 1200 + i % 2 * 1200, 1200}, &quarters);
  }
  printer->EndDoc();
  EXPECT_EQ(ImageObjects(pdf).size(), 1u) << RunCommand("pdfimages -list '" + pdf + "'");
  EXPECT_EQ(SoftMaskDepths(pdf), std::vector<std::string>(3, "1")) << RunCommand("pdfimages -list '" + pdf + "'");

  // At 72 dpi the pictures span (72, 72) to (144, 144) and (216, 72) to (288, 144).
  const std::string png = OutputFile("quarters.png");
  RunCommand("pdftoppm -r 72 -f 1 -l 1 -png -singlefile '" + pdf + "' '" + png.substr(0, png.size() - 4) + "'");
  const TImage page = TImage::Load(png);
  EXPECT_TRUE(AllNear(page, {76, 76, 104, 104}, Red, 8));
  EXPECT_TRUE(AllNear(page, {112, 76, 140, 104}, clWhite, 8));
  EXPECT_TRUE(AllNear(page, {76, 112, 104, 140}, clWhite, 8));
  EXPECT_TRUE(AllNear(page, {112, 112, 140, 140}, Blue, 8));
  EXPECT_TRUE(AllNear(page, {220, 76, 248, 104}, Red, 8));
  EXPECT_TRUE(AllNear(page, {256, 76, 284, 104}, Green, 8));
  EXPECT_TRUE(AllNear(page, {256, 112, 284, 140}, Blue, 8));

  // One pixel partly clear: the soft mask keeps its shades.
  pixels[5] = 0x80FF0000u;
  TBitmapGraphic shaded(40, 40, pixels);
  const std::string softPdf = UsePdf("shaded");
  printer->BeginDoc();
  canvas->StretchDraw({600, 600, 1200, 1200}, &shaded);
  printer->EndDoc();
  EXPECT_EQ(SoftMaskDepths(softPdf), std::vector<std::string>{"8"}) << RunCommand("pdfimages -list '" + softPdf + "'");
}

TEST_F(PictureDrawing, MaxDpiReducesFinePicturesOnVectorTargetsAndKeepsJpegsAsJpeg) {
  const TMaxDpiGuard guard;
  EXPECT_THROW_MSG(printer->SetMaxPictureDpi(-1), EPrinterError,
                   "Invalid largest picture resolution -1 dpi (0 for no limit, or 1 to 9600)");
  printer->SetMaxPictureDpi(8);
  const auto photo = LoadGraphicFromFile(DataFile("picture-quadrants.jpg"));
  const auto png = LoadGraphicFromFile(DataFile("picture.png"));
  const std::string pdf = UsePdf("reduced");
  printer->BeginDoc();
  // 32 x 16 pixels in 2 x 1 inches at 600 dpi: 16 per inch, reduced to 8.
  canvas->StretchDraw({0, 0, 1200, 600}, photo.get());
  // 6 x 4 in one inch by half an inch: 6 and 8 per inch, already within the limit.
  canvas->StretchDraw({0, 1000, 600, 1300}, png.get());
  printer->EndDoc();
  const std::vector<std::string> images = PdfImages(pdf);
  ASSERT_EQ(images.size(), 2u) << RunCommand("pdfimages -list '" + pdf + "'");
  std::istringstream first(images[0]), second(images[1]);
  std::string page, number, type, width, height, color, comp, bpc, encoding;
  first >> page >> number >> type >> width >> height >> color >> comp >> bpc >> encoding;
  EXPECT_EQ(width + "x" + height, "16x8");
  EXPECT_EQ(encoding, "jpeg");
  second >> page >> number >> type >> width >> height;
  EXPECT_EQ(width + "x" + height, "6x4");

  // A pixel target keeps every pixel: the limit is for what a file embeds.
  const std::string path = UsePng("reduced", 72, 20, 20);
  printer->BeginDoc();
  canvas->StretchDraw({0, 0, 32, 16}, photo.get());
  const TImage page72 = EndAndLoad(path);
  EXPECT_TRUE(AllNear(page72, {2, 2, 14, 6}, Red, 40));
  EXPECT_TRUE(AllNear(page72, {18, 10, 30, 14}, clWhite, 40));
}

TEST_F(PictureDrawing, APictureUsedAgainOnOnePageIsNamedOnceInThatPagesResources) {
  // Each kind of picture the PDF writer embeds its own way: a soft mask, none,
  // the JPEG's bytes, a one-bit mask, and a vector drawing.
  std::vector<uint32_t> halves(1600, 0u);
  for (size_t i = 0; i < halves.size(); ++i)
    if (i % 40 < 20) halves[i] = 0xFFFF0000u;
  const TBitmapGraphic clearAndOpaque(40, 40, halves);
  const TBitmapGraphic opaque(4, 4, std::vector<uint32_t>(16, 0xFF0000FFu));
  const auto soft = LoadGraphicFromFile(DataFile("picture.png"));
  const auto jpeg = LoadGraphicFromFile(DataFile("picture.jpg"));
  const auto svg = LoadGraphicFromFile(DataFile("picture.svg"));
  const std::pair<const char*, const TGraphic*> pictures[] = {
      {"soft-mask", soft.get()}, {"opaque", &opaque}, {"jpeg", jpeg.get()}, {"one-bit-mask", &clearAndOpaque},
      {"svg", svg.get()}};
  for (const auto& [name, picture] : pictures) {
    for (const int perPage : {2, 8}) {
      SCOPED_TRACE(std::string(name) + ", " + std::to_string(perPage) + " a page");
      const std::string pdf = UsePdf(std::string("twice-") + name + "-" + std::to_string(perPage));
      printer->BeginDoc();
      for (int page = 0; page < 3; ++page) {
        if (page > 0) printer->NewPage();
        for (int i = 0; i < perPage; ++i)
          canvas->StretchDraw({100 + i * 250, 100 + page * 50, 300 + i * 250, 300 + page * 50},
                              const_cast<TGraphic*>(picture));
      }
      printer->EndDoc();
      EXPECT_EQ(QpdfComplaints(pdf), "");
      if (std::string(name) != "svg") {
        EXPECT_EQ(ImageObjects(pdf).size(), 1u);
      }
      // Every use is still drawn: the third page shows the picture at each place.
      const std::string png = OutputFile(std::string("twice-") + name + ".png");
      RunCommand("pdftoppm -r 72 -f 3 -l 3 -png -singlefile '" + pdf + "' '" + png.substr(0, png.size() - 4) + "'");
      const TImage page = TImage::Load(png);
      for (int i = 0; i < perPage; ++i) {
        // Each place spans (12 + 30 i, 24) to (36 + 30 i, 48) at 72 dpi; its left quarter is coloured.
        EXPECT_FALSE(AllNear(page, {14 + i * 30, 27, 18 + i * 30, 45}, clWhite, 8)) << "use " << i;
      }
    }
  }
}

} // namespace
} // namespace mivora::test
