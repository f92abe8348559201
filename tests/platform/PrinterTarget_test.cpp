// The outputs behind the printer's targets, seen from their files: the PNG
// writer's files hold exactly the drawn pixels in plain RGB PNG, and a PDF page
// shows nothing that was not drawn on it.
#include "Printer.h"

#include "Canvas.h"
#include "ImageCompare.h"
#include "Picture.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

class PrinterTargetTest : public PrinterFixture {};

std::string ReadBytes(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Uint32At(const std::string& Bytes, size_t At) {
  return (uint32_t{static_cast<unsigned char>(Bytes[At])} << 24) |
         (uint32_t{static_cast<unsigned char>(Bytes[At + 1])} << 16) |
         (uint32_t{static_cast<unsigned char>(Bytes[At + 2])} << 8) |
         uint32_t{static_cast<unsigned char>(Bytes[At + 3])};
}

// The chunk types of a PNG file in order; empty when it is not one.
std::vector<std::string> ChunksOf(const std::string& Bytes) {
  std::vector<std::string> chunks;
  if (Bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) return chunks;
  size_t at = 8;
  while (at + 12 <= Bytes.size()) {
    const uint32_t length = Uint32At(Bytes, at);
    chunks.push_back(Bytes.substr(at + 4, 4));
    at += 12 + length;
  }
  return chunks;
}

// A pseudo-random colour for each pixel, as 0xRRGGBB.
uint32_t NoiseAt(int32_t X, int32_t Y) {
  // A hash of the position, so that no PNG row filter predicts it.
  uint32_t n = static_cast<uint32_t>(X) * 0x9E3779B1u ^ static_cast<uint32_t>(Y) * 0x85EBCA77u;
  n = (n ^ (n >> 15)) * 0x2C1B3C6Du;
  return (n ^ (n >> 13)) & 0xFFFFFF;
}

TColor AsColor(uint32_t Rgb) { return ((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF); }

TEST_F(PrinterTargetTest, PngPagesHoldExactlyTheDrawnColoursInPlainRgb) {
  // 640 x 480 pixels of noise, which hardly compresses: the compressed pixels
  // take several IDAT chunks.
  const std::string path = UsePng("colours", 100, 162.56, 121.92);
  std::vector<uint32_t> noise;
  TImage expected(640, 480);
  for (int32_t y = 0; y < 480; ++y) {
    for (int32_t x = 0; x < 640; ++x) {
      noise.push_back(0xFF000000u | NoiseAt(x, y));
      expected.SetPixel(x, y, AsColor(NoiseAt(x, y)));
    }
  }
  TBitmapGraphic picture(640, 480, noise);
  printer->BeginDoc();
  canvas->Draw(0, 0, &picture);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  // The channels in their places: red, green and blue (colours are 0xBBGGRR).
  canvas->Brush()->SetColor(0x0000FF);
  canvas->Rectangle(0, 0, 3, 1);
  canvas->Brush()->SetColor(0x00FF00);
  canvas->Rectangle(3, 0, 6, 1);
  canvas->Brush()->SetColor(0xFF0000);
  canvas->Rectangle(6, 0, 9, 1);
  expected.FillRect({0, 0, 3, 1}, 0x0000FF);
  expected.FillRect({3, 0, 6, 1}, 0x00FF00);
  expected.FillRect({6, 0, 9, 1}, 0xFF0000);
  const TImage page = EndAndLoad(path);  // the reader checks every chunk's CRC
  EXPECT_TRUE(ImagesMatch(page, expected, "colours"));

  const std::string bytes = ReadBytes(path);
  const std::vector<std::string> chunks = ChunksOf(bytes);
  ASSERT_GE(chunks.size(), 4u) << "not a PNG of several IDAT chunks";
  EXPECT_EQ(chunks.front(), "IHDR");
  EXPECT_EQ(chunks.back(), "IEND");
  for (size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], "IDAT") << "chunk " << i;
  EXPECT_EQ(Uint32At(bytes, 16), 640u);  // width
  EXPECT_EQ(Uint32At(bytes, 20), 480u);  // height
  EXPECT_EQ(bytes[24], 8);               // bits per sample
  EXPECT_EQ(bytes[25], 2);               // RGB
}

TEST_F(PrinterTargetTest, PngPagesOfOneColourStayWhole) {
  // A page that compresses into one small IDAT chunk, odd in both extents.
  const std::string path = UsePng("plain", 72, 10.23, 3.53);  // 29 x 10 pixels
  printer->BeginDoc();
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Brush()->SetColor(0x123456);
  canvas->Rectangle(0, 0, 29, 10);
  const TImage page = EndAndLoad(path);
  EXPECT_EQ(page.Width(), 29);
  EXPECT_EQ(page.Height(), 10);
  EXPECT_EQ(page.CountOf(0x123456), 290);
  EXPECT_EQ(ChunksOf(ReadBytes(path)), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST_F(PrinterTargetTest, PdfPagesShowNothingThatWasNotDrawn) {
  // Rendered without smoothing, where a figure shows even by an edge it touches:
  // an empty page stays white, and a rectangle shows alone.
  const std::string path = UsePdf("empty");
  printer->SetPaperSize(50.8, 25.4);
  printer->SetResolution(100);
  printer->BeginDoc();
  printer->NewPage();
  canvas->Brush()->SetColor(clBlack);
  canvas->Pen()->SetStyle(PEN_CLEAR);
  canvas->Rectangle(50, 20, 100, 40);
  printer->EndDoc();
  const std::string render = OutputFile("empty-render");
  const TCommandResult result = RunCommandWithStatus("pdftoppm -r 100 -aa no -aaVector no -png '" + path +
                                                     "' '" + render + "' 2>&1");
  ASSERT_EQ(result.ExitCode, 0) << result.Output;
  const TImage first = TImage::Load(render + "-1.png");
  EXPECT_EQ(first.CountOf(clWhite), int64_t{first.Width()} * first.Height());
  const TImage second = TImage::Load(render + "-2.png");
  const TRect box = second.BoundsOf(clBlack);
  // Without smoothing the renderer also fills pixels an edge only touches.
  EXPECT_NEAR(box.Left, 50, 1);
  EXPECT_NEAR(box.Top, 20, 1);
  EXPECT_NEAR(box.Right, 100, 1);
  EXPECT_NEAR(box.Bottom, 40, 1);
  EXPECT_EQ(second.CountOf(clWhite) + second.CountOf(clBlack), int64_t{second.Width()} * second.Height());
}

} // namespace
} // namespace mivora::test
