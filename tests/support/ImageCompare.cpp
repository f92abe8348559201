#include "ImageCompare.h"

#include "TestSupport.h"

#include <cairo/cairo.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace mivora {

void PrintTo(const TRect& Rect, std::ostream* Out) {
  *Out << "{" << Rect.Left << ", " << Rect.Top << ", " << Rect.Right << ", " << Rect.Bottom << "}";
}

void PrintTo(const TPoint& Point, std::ostream* Out) { *Out << "(" << Point.X << ", " << Point.Y << ")"; }

} // namespace mivora

namespace mivora::test {

namespace {

uint8_t Red(TColor C) { return static_cast<uint8_t>(C & 0xFF); }
uint8_t Green(TColor C) { return static_cast<uint8_t>((C >> 8) & 0xFF); }
uint8_t Blue(TColor C) { return static_cast<uint8_t>((C >> 16) & 0xFF); }
TColor Rgb(uint32_t R, uint32_t G, uint32_t B) { return R | (G << 8) | (B << 16); }

} // namespace

TImage::TImage(int32_t Width, int32_t Height, TColor Fill)
    : width_(std::max(0, Width)), height_(std::max(0, Height)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), Fill & 0xFFFFFF) {}

TImage TImage::Load(const std::string& PngPath) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(PngPath.c_str());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    const std::string reason = cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    throw std::runtime_error("Cannot read \"" + PngPath + "\": " + reason);
  }
  cairo_surface_flush(surface);
  const cairo_format_t format = cairo_image_surface_get_format(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  TImage image(width, height);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (format == CAIRO_FORMAT_ARGB32) {
        // Premultiplied: over white is the colour plus the white let through.
        const uint32_t a = (p >> 24) & 0xFF;
        r += 255 - a, g += 255 - a, b += 255 - a;
      }
      image.pixels_[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          Rgb(std::min(r, 255u), std::min(g, 255u), std::min(b, 255u));
    }
  }
  cairo_surface_destroy(surface);
  return image;
}

void TImage::Save(const std::string& PngPath) const {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int32_t y = 0; y < height_ && data != nullptr; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int32_t x = 0; x < width_; ++x) {
      const TColor c = PixelAt(x, y);
      row[x] = (uint32_t{Red(c)} << 16) | (uint32_t{Green(c)} << 8) | Blue(c);
    }
  }
  cairo_surface_mark_dirty(surface);
  const cairo_status_t status = cairo_surface_write_to_png(surface, PngPath.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("Cannot write \"" + PngPath + "\": " + cairo_status_to_string(status));
}

TColor TImage::PixelAt(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= width_ || Y >= height_)
    throw std::out_of_range("Pixel (" + std::to_string(X) + ", " + std::to_string(Y) +
                            ") lies outside the image of " + std::to_string(width_) + " x " +
                            std::to_string(height_));
  return pixels_[static_cast<size_t>(Y) * static_cast<size_t>(width_) + static_cast<size_t>(X)];
}

void TImage::SetPixel(int32_t X, int32_t Y, TColor Color) {
  if (X < 0 || Y < 0 || X >= width_ || Y >= height_) return;
  pixels_[static_cast<size_t>(Y) * static_cast<size_t>(width_) + static_cast<size_t>(X)] = Color & 0xFFFFFF;
}

void TImage::FillRect(const TRect& Rect, TColor Color) {
  for (int32_t y = std::max(0, Rect.Top); y < std::min(height_, Rect.Bottom); ++y)
    for (int32_t x = std::max(0, Rect.Left); x < std::min(width_, Rect.Right); ++x) SetPixel(x, y, Color);
}

std::vector<TPoint> TImage::PixelsOf(TColor Color) const {
  std::vector<TPoint> points;
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x)
      if (PixelAt(x, y) == (Color & 0xFFFFFF)) points.push_back(TPoint{x, y});
  return points;
}

int64_t TImage::CountOf(TColor Color) const {
  return std::count(pixels_.begin(), pixels_.end(), Color & 0xFFFFFF);
}

TRect TImage::BoundsOf(TColor Color) const {
  TRect bounds{width_, height_, 0, 0};
  bool found = false;
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x)
      if (PixelAt(x, y) == (Color & 0xFFFFFF)) {
        found = true;
        bounds.Left = std::min(bounds.Left, x);
        bounds.Top = std::min(bounds.Top, y);
        bounds.Right = std::max(bounds.Right, x + 1);
        bounds.Bottom = std::max(bounds.Bottom, y + 1);
      }
  return found ? bounds : TRect{};
}

bool TImage::AllOf(const TRect& Rect, TColor Color) const {
  for (int32_t y = std::max(0, Rect.Top); y < std::min(height_, Rect.Bottom); ++y)
    for (int32_t x = std::max(0, Rect.Left); x < std::min(width_, Rect.Right); ++x)
      if (PixelAt(x, y) != (Color & 0xFFFFFF)) return false;
  return true;
}

TImageDifference CompareImages(const TImage& Actual, const TImage& Expected) {
  TImageDifference difference;
  if (Actual.Width() != Expected.Width() || Actual.Height() != Expected.Height()) {
    difference.SameSize = false;
    return difference;
  }
  for (int32_t y = 0; y < Actual.Height(); ++y)
    for (int32_t x = 0; x < Actual.Width(); ++x) {
      const TColor a = Actual.PixelAt(x, y), e = Expected.PixelAt(x, y);
      const int32_t dr = std::abs(Red(a) - Red(e)), dg = std::abs(Green(a) - Green(e)),
                    db = std::abs(Blue(a) - Blue(e));
      difference.Largest = std::max({difference.Largest, dr, dg, db});
      difference.Sum += dr + dg + db;
      if (dr + dg + db > 0) ++difference.DifferentPixels;
    }
  return difference;
}

::testing::AssertionResult ImagesMatch(const TImage& Actual, const TImage& Expected,
                                       const std::string& Name, int32_t Tolerance) {
  const TImageDifference difference = CompareImages(Actual, Expected);
  if (difference.SameSize && difference.Largest <= Tolerance) return ::testing::AssertionSuccess();

  const std::filesystem::path folder = OutputDir();
  const std::string actualPath = (folder / (Name + "-actual.png")).string();
  const std::string expectedPath = (folder / (Name + "-expected.png")).string();
  const std::string differencePath = (folder / (Name + "-difference.png")).string();
  Actual.Save(actualPath);
  Expected.Save(expectedPath);
  if (!difference.SameSize) {
    return ::testing::AssertionFailure()
           << Name << ": image is " << Actual.Width() << " x " << Actual.Height() << ", expected "
           << Expected.Width() << " x " << Expected.Height() << " (see " << actualPath << ")";
  }
  // Differences in red on a faded copy of the expected image.
  TImage marked(Expected.Width(), Expected.Height());
  for (int32_t y = 0; y < Expected.Height(); ++y)
    for (int32_t x = 0; x < Expected.Width(); ++x) {
      const TColor a = Actual.PixelAt(x, y), e = Expected.PixelAt(x, y);
      if (a != e) {
        marked.SetPixel(x, y, Rgb(255, 0, 0));
      } else {
        const uint32_t grey = (Red(e) + Green(e) + Blue(e)) / 3;
        const uint32_t faded = 192 + grey / 4;
        marked.SetPixel(x, y, Rgb(faded, faded, faded));
      }
    }
  marked.Save(differencePath);
  return ::testing::AssertionFailure()
         << Name << ": largest difference " << difference.Largest << " (tolerance " << Tolerance
         << "), summed difference " << difference.Sum << " over " << difference.DifferentPixels
         << " pixels; see " << actualPath << ", " << expectedPath << ", " << differencePath;
}

TRect InkBounds(const TImage& Image, TRect Within) {
  TRect ink{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int32_t y = std::max(0, Within.Top); y < std::min(Image.Height(), Within.Bottom); ++y) {
    for (int32_t x = std::max(0, Within.Left); x < std::min(Image.Width(), Within.Right); ++x) {
      if (((Image.PixelAt(x, y) >> 8) & 0xFF) < 128) {
        ink.Left = std::min(ink.Left, x);
        ink.Top = std::min(ink.Top, y);
        ink.Right = std::max(ink.Right, x + 1);
        ink.Bottom = std::max(ink.Bottom, y + 1);
      }
    }
  }
  return ink.Left == INT32_MAX ? TRect{} : ink;
}

} // namespace mivora::test
