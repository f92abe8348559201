#include "FontCatalog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace mivora {
namespace {

// A font outside the faces the test configuration names, as a layout's own font file.
const char* const kOwnFont = "/usr/share/fonts/opentype/urw-base35/URWGothic-Book.otf";

TEST(FontCatalogTest, InstalledFamiliesAndDeclaredEquivalentsAreNotReplaced) {
  std::string replacement;
  EXPECT_FALSE(FontFamilyReplaced("Liberation Sans", replacement));
  EXPECT_FALSE(FontFamilyReplaced("liberation  sans", replacement)); // as fontconfig compares names
  EXPECT_FALSE(FontFamilyReplaced("Arial", replacement));            // its metric-compatible alias
  EXPECT_FALSE(FontFamilyReplaced("monospace", replacement));
  EXPECT_FALSE(FontFamilyReplaced("", replacement));                 // the default face
  EXPECT_EQ(ResolvedFontFamily("Times New Roman"), "Liberation Serif");
}

TEST(FontCatalogTest, AnUnknownFamilyIsReplacedAndTheReplacementNamed) {
  std::string replacement;
  ASSERT_TRUE(FontFamilyReplaced("Garamondd Pro", replacement));
  EXPECT_FALSE(replacement.empty());
  EXPECT_EQ(replacement, ResolvedFontFamily("Garamondd Pro"));
}

TEST(FontCatalogTest, AFontFileServesItsFamilyWhileTheObjectLives) {
  if (!std::filesystem::exists(kOwnFont)) GTEST_SKIP() << "no " << kOwnFont;
  std::string replacement;
  ASSERT_TRUE(FontFamilyReplaced("URW Gothic", replacement));
  {
    TFontFiles files;
    files.Add(kOwnFont);
    EXPECT_EQ(files.Families(), std::vector<std::string>{"URW Gothic"});
    EXPECT_FALSE(FontFamilyReplaced("URW Gothic", replacement));
    EXPECT_EQ(ResolvedFontFamily("URW Gothic"), "URW Gothic");
  }
  EXPECT_TRUE(FontFamilyReplaced("URW Gothic", replacement));
}

TEST(FontCatalogTest, FilesThatAreMissingOrNoFontsAreRefusedByName) {
  TFontFiles files;
  EXPECT_THROW_MSG(files.Add("/nonexistent/brand.otf"), EFontError,
                   "Cannot read the font file \"/nonexistent/brand.otf\": No such file or directory");
  const std::string notFont = (std::filesystem::path(test::OutputDir()) / "not-a-font.otf").string();
  std::ofstream(notFont) << "not a font";
  EXPECT_THROW_MSG(files.Add(notFont), EFontError,
                   "The file \"" + notFont + "\" is not a font that can be used (TrueType, OpenType or Type 1)");
  EXPECT_TRUE(files.Files().empty());
}

} // namespace
} // namespace mivora
