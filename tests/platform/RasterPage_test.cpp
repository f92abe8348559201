// The memory of raster pages: the pages of one document share it one after
// the other, and a page never loses its memory while it is drawn.
#include "RasterPage_p.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>

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
