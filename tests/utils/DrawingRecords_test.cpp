#include "MivoraUtils.h"

#include "TestSupport.h"

namespace mivora {
namespace {

TEST(DrawingRecordsTest, DefaultsDrawNothing) {
  TPenData pen = DefaultPenData;
  EXPECT_EQ(pen.Color, clBlack);
  EXPECT_EQ(pen.Width, 1);
  EXPECT_EQ(pen.Style, psClear);
  EXPECT_EQ(pen.Reserved, 0u);
  TBrushData brush = DefaultBrushData;
  EXPECT_EQ(brush.Color, clWhite);
  EXPECT_EQ(brush.Style, bsClear);
  TFontData font = DefaultFontData;
  EXPECT_EQ(font.Name.Str(), "Arial");
  EXPECT_EQ(font.Height, 0.0f);
  EXPECT_EQ(font.Pitch, 0);
  EXPECT_EQ(font.Style, 0);
  EXPECT_EQ(font.Charset, 1);
  EXPECT_EQ(font.Color, clBlack);
}

TEST(DrawingRecordsTest, FontNameKeepsAtMost31Characters) {
  const std::string forty(40, 'x');
  TFontName name = forty;
  EXPECT_EQ(name.Length(), 31u);
  EXPECT_EQ(name.Str(), forty.substr(0, 31));
  TFontData font;
  font.Name = std::string(31, 'y');
  EXPECT_EQ(font.Name.Str(), std::string(31, 'y'));
  font.Name = "";
  EXPECT_EQ(font.Name.Str(), "");
  EXPECT_EQ(TFontName("Arial"), DefaultFontData.Name);
}

} // namespace
} // namespace mivora
