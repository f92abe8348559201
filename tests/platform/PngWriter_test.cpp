// The PNG writer seen from its files: read back by Cairo's own PNG reader, they
// hold exactly the pixels of the surface that was written, whatever the width
// of the rows, and a write that fails is reported.
#include "PngWriter_p.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
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

// Where the writer's bytes go; fails once FailAfter bytes have been taken.
struct TSink {
  std::string Bytes;
  size_t FailAfter = SIZE_MAX;
  bool Failed = false;
  int CallsAfterFailure = 0;

  static cairo_status_t Write(void* Closure, const unsigned char* Data, unsigned int Length) {
    auto* sink = static_cast<TSink*>(Closure);
    if (sink->Failed) ++sink->CallsAfterFailure;
    if (sink->Bytes.size() + Length > sink->FailAfter) {
      sink->Failed = true;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    sink->Bytes.append(reinterpret_cast<const char*>(Data), Length);
    return CAIRO_STATUS_SUCCESS;
  }
};

struct TSource {
  const std::string* Bytes;
  size_t At = 0;

  static cairo_status_t Read(void* Closure, unsigned char* Data, unsigned int Length) {
    auto* source = static_cast<TSource*>(Closure);
    if (source->At + Length > source->Bytes->size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(Data, source->Bytes->data() + source->At, Length);
    source->At += Length;
    return CAIRO_STATUS_SUCCESS;
  }
};

// The pixels of an image surface, row by row, as 0x00RRGGBB (alpha dropped
// for opaque formats, kept for ARGB32).
std::vector<uint32_t> PixelsOf(cairo_surface_t* Surface) {
  cairo_surface_flush(Surface);
  const int width = cairo_image_surface_get_width(Surface);
  const int height = cairo_image_surface_get_height(Surface);
  const int stride = cairo_image_surface_get_stride(Surface);
  const bool opaque = cairo_image_surface_get_format(Surface) == CAIRO_FORMAT_RGB24;
  const unsigned char* data = cairo_image_surface_get_data(Surface);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      std::memcpy(&pixel, data + static_cast<size_t>(y) * static_cast<size_t>(stride) + 4 * static_cast<size_t>(x), 4);
      pixels.push_back(opaque ? pixel & 0xFFFFFF : pixel);
    }
  return pixels;
}

// A surface of Width x Height: noise in the top third, rows repeated in the
// middle (a frame's sides on white), one flat colour below; every pixel of
// the noise differs from the one above, the flat part does not.
TSurface TestPage(int Width, int Height, cairo_format_t Format = CAIRO_FORMAT_RGB24) {
  TSurface surface(cairo_image_surface_create(Format, Width, Height));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < Height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * static_cast<size_t>(stride));
    for (int x = 0; x < Width; ++x) {
      uint32_t rgb = 0xFFFFFF;
      if (y < Height / 3) {
        // A hash of the position: no filter predicts it.
        uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
        h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
        rgb = (h ^ (h >> 13)) & 0xFFFFFF;
      } else if (y < 2 * Height / 3) {
        rgb = (x == 0 || x == Width - 1) ? 0x000000 : 0xFFFFFF;
      } else {
        rgb = 0x3366CC;
      }
      uint32_t alpha = 0xFF;
      if (Format == CAIRO_FORMAT_ARGB32) {
        // Premultiplied: every channel at most alpha.
        alpha = static_cast<uint32_t>((x * 37 + y * 11) % 256);
        const auto scale = [alpha](uint32_t Channel) { return Channel * alpha / 255; };
        rgb = (scale(rgb >> 16 & 0xFF) << 16) | (scale(rgb >> 8 & 0xFF) << 8) | scale(rgb & 0xFF);
      }
      row[x] = alpha << 24 | rgb;
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

std::string Written(cairo_surface_t* Surface, TPngPixels Pixels = TPngPixels::Keep) {
  TSink sink;
  EXPECT_EQ(WritePng(Surface, TSink::Write, &sink, Pixels), CAIRO_STATUS_SUCCESS);
  return sink.Bytes;
}

TSurface ReadBack(const std::string& Png) {
  TSource source{&Png};
  return TSurface(cairo_image_surface_create_from_png_stream(TSource::Read, &source));
}

uint32_t Uint32At(const std::string& Bytes, size_t At) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(Bytes[At + i]);
  return value;
}

TEST(PngWriterTest, FilesReadBackAsExactlyThePixelsWrittenForAnyRowWidth) {
  // Widths around the four pixels packed at a time, and a page-like width.
  for (const int width : {1, 2, 3, 4, 5, 7, 8, 13, 641}) {
    SCOPED_TRACE("width " + std::to_string(width));
    const TSurface page = TestPage(width, 30);
    const std::vector<uint32_t> before = PixelsOf(page.get());
    const std::string png = Written(page.get());
    EXPECT_EQ(PixelsOf(page.get()), before) << "the surface was changed";

    const TSurface back = ReadBack(png);
    ASSERT_EQ(cairo_surface_status(back.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_format(back.get()), CAIRO_FORMAT_RGB24) << "an opaque page reads back opaque";
    EXPECT_EQ(cairo_image_surface_get_width(back.get()), width);
    EXPECT_EQ(cairo_image_surface_get_height(back.get()), 30);
    EXPECT_EQ(PixelsOf(back.get()), before);
  }
}

// A white page of Width x Height with a black frame drawn 100 pixels in.
TSurface FramedPage(int Width, int Height) {
  TSurface page(cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height));
  cairo_t* cairo = cairo_create(page.get());
  cairo_set_source_rgb(cairo, 1, 1, 1);
  cairo_paint(cairo);
  cairo_set_source_rgb(cairo, 0, 0, 0);
  cairo_rectangle(cairo, 100, 100, Width - 200, Height - 200);
  cairo_set_line_width(cairo, 4);
  cairo_stroke(cairo);
  cairo_destroy(cairo);
  return page;
}

TEST(PngWriterTest, APageWhoseMemoryIsReusedWritesTheSameFile) {
  // Noise, then repeated rows; and a page whose first rows repeat already,
  // while its packed rows still overlap the pixels above.
  for (const bool framed : {false, true}) {
    SCOPED_TRACE(framed ? "framed page" : "noise and flat colours");
    const TSurface kept = framed ? FramedPage(641, 400) : TestPage(641, 90);
    const TSurface reused = framed ? FramedPage(641, 400) : TestPage(641, 90);
    const std::vector<uint32_t> pixels = PixelsOf(kept.get());
    const std::string png = Written(kept.get());
    EXPECT_EQ(Written(reused.get(), TPngPixels::Reuse), png);
    EXPECT_EQ(PixelsOf(ReadBack(png).get()), pixels);
  }
}

TEST(PngWriterTest, FilesArePlainEightBitRgbInChunksOfAQuarterMegabyte) {
  // Noise hardly compresses: 800 x 600 pixels take several IDAT chunks.
  const TSurface page = TestPage(800, 1800);
  const std::string png = Written(page.get());
  ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1A\n"), 0);
  std::vector<std::string> types;
  std::vector<uint32_t> lengths;
  for (size_t at = 8; at + 12 <= png.size(); at += 12 + lengths.back()) {
    lengths.push_back(Uint32At(png, at));
    types.push_back(png.substr(at + 4, 4));
  }
  ASSERT_GE(types.size(), 4u);
  EXPECT_EQ(types.front(), "IHDR");
  EXPECT_EQ(png[8 + 8 + 8], 8) << "bits per sample";
  EXPECT_EQ(png[8 + 8 + 9], 2) << "colour type RGB";
  EXPECT_EQ(types.back(), "IEND");
  for (size_t i = 1; i + 1 < types.size(); ++i) {
    EXPECT_EQ(types[i], "IDAT");
    if (i + 2 < types.size()) {
      EXPECT_EQ(lengths[i], 1u << 18) << "chunk " << i;
    }
  }
}

TEST(PngWriterTest, BlankAndRepeatedRowsCompressToAlmostNothing) {
  // 2,000 x 3,000 pixels (18 MB of RGB) of white with a frame: a blank page.
  const TSurface page = FramedPage(2000, 3000);
  const std::string png = Written(page.get(), TPngPixels::Reuse);
  // It takes some 28 KB; zlib's fastest level on unfiltered rows took 80 KB.
  EXPECT_LT(png.size(), 40'000u);
}

TEST(PngWriterTest, PagesOfManyPiecesAndRunsOfRepeatedRowsReadBackExactly) {
  // Bands of noise (which the compressor stores as it is), of a frame's sides
  // (runs of repeated rows) and of flat colour, each band several megabytes
  // or a few rows: the stream joins compressed pieces and runs of repeated
  // rows at every bit position, and pieces are cut inside a band of noise.
  for (const int width : {1, 5, 333, 1201}) {
    SCOPED_TRACE("width " + std::to_string(width));
    const int height = width < 100 ? 200 : 3000;
    TSurface page(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    unsigned char* data = cairo_image_surface_get_data(page.get());
    const int stride = cairo_image_surface_get_stride(page.get());
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * static_cast<size_t>(stride));
      const int band = (y * 7 / height + y % 3 * (y < height / 5 ? 1 : 0)) % 4;
      for (int x = 0; x < width; ++x) {
        uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
        h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
        const uint32_t rgb = band == 0   ? (h ^ (h >> 13)) & 0xFFFFFF
                             : band == 1 ? (x % 97 == 0 ? 0x000000 : 0xFFFFFF)
                             : band == 2 ? 0x3366CC
                                         : static_cast<uint32_t>(y % 5 == 0) * 0x10203;
        row[x] = 0xFF000000u | rgb;
      }
    }
    cairo_surface_mark_dirty(page.get());
    const std::vector<uint32_t> pixels = PixelsOf(page.get());
    const TSurface back = ReadBack(Written(page.get()));
    ASSERT_EQ(cairo_surface_status(back.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(PixelsOf(back.get()), pixels);
  }
}

TEST(PngWriterTest, RowsHandedOverInBandsMakeTheSameFileAsTheWholePage) {
  // Runs of repeated rows cross the bands' edges, and a band may be one row.
  const TSurface page = TestPage(301, 90);
  const std::string whole = Written(page.get());
  const unsigned char* data = cairo_image_surface_get_data(page.get());
  const auto stride = static_cast<size_t>(cairo_image_surface_get_stride(page.get()));
  for (const int band : {1, 7, 29, 89, 90}) {
    SCOPED_TRACE("bands of " + std::to_string(band) + " rows");
    TSink sink;
    TPngRowWriter writer(TSink::Write, &sink);
    ASSERT_EQ(writer.Start(301, 90), CAIRO_STATUS_SUCCESS);
    for (int top = 0; top < 90; top += band)
      ASSERT_EQ(writer.AddRows(data + static_cast<size_t>(top) * stride, stride, std::min(band, 90 - top)),
                CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(writer.Finish(), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(sink.Bytes, whole);
  }
}

TEST(PngWriterTest, MoreOrFewerRowsThanTheHeaderSaysAreRefused) {
  const TSurface page = TestPage(40, 10);
  const unsigned char* data = cairo_image_surface_get_data(page.get());
  const auto stride = static_cast<size_t>(cairo_image_surface_get_stride(page.get()));
  TSink sink;
  TPngRowWriter fewer(TSink::Write, &sink);
  ASSERT_EQ(fewer.Start(40, 10), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(fewer.AddRows(data, stride, 9), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(fewer.Finish(), CAIRO_STATUS_INVALID_SIZE);
  TPngRowWriter more(TSink::Write, &sink);
  ASSERT_EQ(more.Start(40, 9), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(more.AddRows(data, stride, 10), CAIRO_STATUS_INVALID_SIZE);
  TPngRowWriter empty(TSink::Write, &sink);
  EXPECT_EQ(empty.Start(0, 10), CAIRO_STATUS_INVALID_SIZE);
}

TEST(PngWriterTest, ABlankA4PageAt600DpiTakesSixteenBytesARow) {
  // 4,961 x 7,016 white pixels, the first row the only one that differs.
  TSurface page(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4961, 7016));
  cairo_t* cairo = cairo_create(page.get());
  cairo_set_source_rgb(cairo, 1, 1, 1);
  cairo_paint(cairo);
  cairo_destroy(cairo);
  const std::string png = Written(page.get());
  // 16 bytes a repeated row (7,015 of them); libdeflate on the whole page
  // took 20.
  EXPECT_LT(png.size(), 7016u * 17);
  const TSurface back = ReadBack(png);
  ASSERT_EQ(cairo_surface_status(back.get()), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(PixelsOf(back.get()), PixelsOf(page.get()));
}

TEST(PngWriterTest, AFailedWriteIsReportedAndNothingIsWrittenAfterIt) {
  const TSurface page = TestPage(300, 300);
  const size_t whole = Written(page.get()).size();
  // In the signature, the header, the first compressed chunk and the end.
  for (const size_t failAfter : {size_t{0}, size_t{10}, size_t{40}, whole - 5}) {
    SCOPED_TRACE("fails after " + std::to_string(failAfter) + " of " + std::to_string(whole) + " bytes");
    TSink sink;
    sink.FailAfter = failAfter;
    EXPECT_EQ(WritePng(page.get(), TSink::Write, &sink), CAIRO_STATUS_WRITE_ERROR);
    EXPECT_LE(sink.Bytes.size(), failAfter);
    EXPECT_EQ(sink.CallsAfterFailure, 0);
  }
}

TEST(PngWriterTest, TranslucentImagesKeepCairosUnpremultipliedColours) {
  const TSurface image = TestPage(37, 12, CAIRO_FORMAT_ARGB32);
  TSink cairos;
  ASSERT_EQ(cairo_surface_write_to_png_stream(image.get(), TSink::Write, &cairos), CAIRO_STATUS_SUCCESS);
  const TSurface back = ReadBack(Written(image.get()));
  ASSERT_EQ(cairo_surface_status(back.get()), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(PixelsOf(back.get()), PixelsOf(ReadBack(cairos.Bytes).get()));
}

} // namespace
} // namespace mivora::test
