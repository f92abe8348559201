// The example page, printed as the demo prints it, compared with a stored image.
#include "ImageCompare.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Mivora.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>

namespace mivora {
namespace {

const std::string kLayout = std::string(MIVORA_SOURCE_DIR) + "/examples/demo/demo.json";
const std::string kGolden = std::string(MIVORA_TEST_DATA_DIR) + "/demo-page-100dpi.png";

TEST(DemoPageTest, MatchesTheStoredImage) {
  test::TPrinterGuard restore;
  const tool::TLayout layout = tool::LoadLayout(kLayout, false);
  tool::ApplyPrinterSettings(*Printer(), layout);
  // The stored image is kept small: the same page at 100 dots per inch.
  Printer()->SetResolution(100);
  const std::string actualPath = test::OutputDir() + "/demo-page.png";
  Printer()->SetTarget(ptPng, actualPath);

  TMivora sheet(nullptr);
  tool::BuildSheet(sheet, layout);
  sheet.Print(layout.Title);
  const test::TImage actual = test::TImage::Load(actualPath);

  if (std::getenv("MIVORA_UPDATE_GOLDEN") != nullptr) actual.Save(kGolden);
  const test::TImage expected = test::TImage::Load(kGolden);
  // Antialiased glyph and picture edges may move by a shade with a patch release
  // of FreeType, Cairo or librsvg; a change of the layout moves whole edges and
  // glyphs and exceeds this by far.
  EXPECT_TRUE(test::ImagesMatch(actual, expected, "demo-page", 64));
  const test::TImageDifference difference = test::CompareImages(actual, expected);
  EXPECT_LE(difference.DifferentPixels, actual.Width() * actual.Height() / 200)
      << "at most half a percent of the pixels may differ at all";
}

} // namespace
} // namespace mivora
