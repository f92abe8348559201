// Raster pages: drawn into bands they hold the pixels of the page drawn whole;
// the pages of one document share their memory one after the other, and a
// page never loses its memory while it is drawn.
#include "RasterPage_p.h"
#include "TextLayout_p.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

struct TSurfaceDeleter {
  void operator()(cairo_surface_t* Surface) const { cairo_surface_destroy(Surface); }
};
using TSurface = std::unique_ptr<cairo_surface_t, TSurfaceDeleter>;

// Paints the page in Rgb and reads its middle pixel back.
uint32_t PaintAndRead(cairo_surface_t* Page, uint32_t Rgb) {
  cairo_t* cairo = cairo_create(Page);
  cairo_set_source_rgb(cairo, (Rgb >> 16 & 0xFF) / 255.0, (Rgb >> 8 & 0xFF) / 255.0, (Rgb & 0xFF) / 255.0);
  cairo_paint(cairo);
  cairo_destroy(cairo);
  cairo_surface_flush(Page);
  const int x = cairo_image_surface_get_width(Page) / 2, y = cairo_image_surface_get_height(Page) / 2;
  uint32_t pixel = 0;
  std::memcpy(&pixel, cairo_image_surface_get_data(Page) + y * cairo_image_surface_get_stride(Page) + 4 * x, 4);
  return pixel & 0xFFFFFF;
}

// A page of 4,000 pixels across is drawn in bands of 262 rows.
constexpr int kWidth = 4000, kHeight = 700;

// A small picture of stripes and noise, which shows any shift of a pixel.
TSurface StripedPicture() {
  TSurface picture(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 48));
  cairo_surface_flush(picture.get());
  unsigned char* data = cairo_image_surface_get_data(picture.get());
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint32_t rgb = (x + y) % 5 == 0 ? 0x000000u : static_cast<uint32_t>(x * 4 << 16 | y * 5 << 8 | (x * y) % 256);
      std::memcpy(data + y * cairo_image_surface_get_stride(picture.get()) + 4 * x, &rgb, 4);
    }
  cairo_surface_mark_dirty(picture.get());
  return picture;
}

// What a page holds, across the bands' edges at rows 262 and 524: shapes with
// edges between pixels, text at fractional positions, and a picture at its
// natural size or, with Scale, smoothed.
void DrawSample(cairo_t* Cairo, cairo_surface_t* Picture, double Scale) {
  cairo_set_source_rgb(Cairo, 1, 1, 1);
  cairo_paint(Cairo);
  cairo_set_antialias(Cairo, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(Cairo, 0.2, 0.4, 0.8);
  cairo_rectangle(Cairo, 10.3, 250.6, 300.2, 30.7);
  cairo_fill(Cairo);
  cairo_set_source_rgb(Cairo, 0, 0, 0);
  cairo_set_line_width(Cairo, 3.3);
  cairo_move_to(Cairo, 5.5, 5.25);
  cairo_line_to(Cairo, 3990.5, 690.75);
  cairo_stroke(Cairo);
  // Text as the device lays it out, glyphs smoothed.
  PangoFontMap* fonts = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(fonts);
  SetUpTextContext(context);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_from_string("Arial 10px");
  pango_layout_set_font_description(layout, font);
  // Lines at every quarter of a pixel, some across the bands' edges, clipped
  // to their cell as the device clips them.
  cairo_save(Cairo);
  cairo_rectangle(Cairo, 50, 100, 3900, 580);
  cairo_clip(Cairo);
  for (int line = 0; line < 16; ++line) {
    cairo_save(Cairo);
    cairo_translate(Cairo, 100.13 + line * 0.0625 + (line % 2) * 2000, 170.37 + line / 2 * 61.9);
    // Laid out at a reference size and scaled to the device, as the device does.
    cairo_scale(Cairo, 8.33, 8.33);
    cairo_move_to(Cairo, 0, 0);
    // Glyphs that overlap (AV, Wa) are drawn through a mask of the line's
    // ink, which shows where that ink was measured.
    const std::string text = std::string(1, "BDEHKLMNPRbdhklm"[line]) + "AVAWa Tom, Main Street 1";
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_cairo_show_layout(Cairo, layout);
    cairo_restore(Cairo);
  }
  cairo_restore(Cairo);
  pango_font_description_free(font);
  g_object_unref(layout);
  g_object_unref(context);
  g_object_unref(fonts);
  cairo_save(Cairo);
  cairo_translate(Cairo, 2000, 240);
  cairo_scale(Cairo, Scale, Scale);
  cairo_set_source_surface(Cairo, Picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(Cairo), Scale == 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(Cairo);
  cairo_restore(Cairo);
}

// The sample drawn into one image of the whole page, and through a pixel
// page band by band: the pixels of each, as 0x00RRGGBB.
std::pair<std::vector<uint32_t>, std::vector<uint32_t>> WholeAndBanded(double Scale) {
  const TSurface picture = StripedPicture();
  std::vector<uint32_t> whole, banded;
  const TSurface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
  cairo_t* cairo = cairo_create(image.get());
  DrawSample(cairo, picture.get(), Scale);
  cairo_destroy(cairo);
  cairo_surface_flush(image.get());
  for (int y = 0; y < kHeight; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(image.get()) +
                                                        y * cairo_image_surface_get_stride(image.get()));
    for (int x = 0; x < kWidth; ++x) whole.push_back(row[x] & 0xFFFFFF);
  }

  const TSurface page(NewPixelPage(kWidth, kHeight));
  cairo = cairo_create(page.get());
  EXPECT_TRUE(DrawsPixels(cairo));
  DrawSample(cairo, picture.get(), Scale);
  cairo_destroy(cairo);
  TRasterMemory memory;
  std::vector<int> bands;
  const cairo_status_t status =
      DrawBands(page.get(), memory, [&](const unsigned char* Pixels, size_t Stride, int Count) {
        bands.push_back(Count);
        for (int y = 0; y < Count; ++y) {
          const auto* row = reinterpret_cast<const uint32_t*>(Pixels + static_cast<size_t>(y) * Stride);
          for (int x = 0; x < kWidth; ++x) banded.push_back(row[x] & 0xFFFFFF);
        }
        return CAIRO_STATUS_SUCCESS;
      });
  EXPECT_EQ(status, CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(bands, (std::vector<int>{262, 262, 176}));
  return {whole, banded};
}

TEST(RasterPageTest, BandsHoldExactlyThePixelsOfThePageDrawnWhole) {
  const auto [whole, banded] = WholeAndBanded(1.0);
  ASSERT_EQ(banded.size(), whole.size());
  // The sample is not blank where it matters: text and line cross the bands' edges.
  EXPECT_NE(std::count(whole.begin(), whole.end(), 0xFFFFFFu), static_cast<ptrdiff_t>(whole.size()));
  for (size_t i = 0; i < whole.size(); ++i)
    ASSERT_EQ(banded[i], whole[i]) << "at " << i % kWidth << "," << i / kWidth;
}

TEST(RasterPageTest, SmoothedPicturesInBandsDifferByAtMostTwoLevels) {
  // A band replays the picture from a matrix moved by its top row, which
  // Cairo's fixed-point sampling rounds a little differently.
  const auto [whole, banded] = WholeAndBanded(1.37);
  ASSERT_EQ(banded.size(), whole.size());
  int largest = 0;
  for (size_t i = 0; i < whole.size(); ++i)
    for (const int shift : {0, 8, 16})
      largest = std::max(largest, std::abs(static_cast<int>(banded[i] >> shift & 0xFF) -
                                           static_cast<int>(whole[i] >> shift & 0xFF)));
  EXPECT_LE(largest, 2);
}

TEST(RasterPageTest, PixelPagesTooWideForCairoAreRefusedBeforeDrawing) {
  for (const auto& [width, height] : {std::pair{40000, 10}, std::pair{10, -1}}) {
    const TSurface page(NewPixelPage(width, height));
    EXPECT_EQ(cairo_surface_status(page.get()), CAIRO_STATUS_INVALID_SIZE) << width << " x " << height;
  }
}

TEST(RasterPageTest, OnlyImagesAndPixelPagesDrawPixels) {
  const TSurface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 10, 10));
  const TSurface page(NewPixelPage(10, 10));
  const TSurface recording(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr));
  for (const auto& [surface, pixels] : {std::pair{image.get(), true}, std::pair{page.get(), true},
                                        std::pair{recording.get(), false}}) {
    cairo_t* cairo = cairo_create(surface);
    EXPECT_EQ(DrawsPixels(cairo), pixels);
    cairo_destroy(cairo);
  }
}

TEST(RasterPageTest, PagesDrawnOneAfterTheOtherShareTheirMemory) {
  TRasterMemory memory;
  const unsigned char* first = nullptr;
  {
    const TSurface page(memory.NewPage(2480, 3508));
    ASSERT_EQ(cairo_surface_status(page.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_format(page.get()), CAIRO_FORMAT_RGB24);
    EXPECT_EQ(cairo_image_surface_get_width(page.get()), 2480);
    EXPECT_EQ(cairo_image_surface_get_height(page.get()), 3508);
    EXPECT_EQ(PaintAndRead(page.get(), 0x336699), 0x336699u);
    first = cairo_image_surface_get_data(page.get());
  }
  // The next page, as large or smaller, is drawn where the first was.
  const TSurface second(memory.NewPage(1240, 1754));
  EXPECT_EQ(cairo_image_surface_get_data(second.get()), first);
  EXPECT_EQ(PaintAndRead(second.get(), 0xFFFFFF), 0xFFFFFFu);
}

TEST(RasterPageTest, APageStillInUseKeepsItsMemory) {
  auto memory = std::make_unique<TRasterMemory>();
  const TSurface first(memory->NewPage(300, 200));
  const TSurface second(memory->NewPage(300, 200));
  ASSERT_EQ(cairo_surface_status(second.get()), CAIRO_STATUS_SUCCESS);
  EXPECT_NE(cairo_image_surface_get_data(second.get()), cairo_image_surface_get_data(first.get()));
  // The owner goes before its page: the page stays drawable until it goes.
  memory.reset();
  EXPECT_EQ(PaintAndRead(first.get(), 0x102030), 0x102030u);
  EXPECT_EQ(PaintAndRead(second.get(), 0x405060), 0x405060u);
}

TEST(RasterPageTest, ImpossibleSizesGiveCairosErrorSurface) {
  TRasterMemory memory;
  for (const auto& [width, height] : {std::pair{10, -1}, std::pair{40000, 10}}) {
    const TSurface page(memory.NewPage(width, height));
    EXPECT_NE(cairo_surface_status(page.get()), CAIRO_STATUS_SUCCESS) << width << " x " << height;
  }
  const TSurface page(memory.NewPage(10, 10));
  EXPECT_EQ(cairo_surface_status(page.get()), CAIRO_STATUS_SUCCESS);
}

} // namespace
} // namespace mivora::test
