// Pixel images for tests: load a PNG, read and paint pixels, find the pixels
// of a colour, and compare two images with actual, expected and difference
// PNGs written on failure.
#pragma once

#include "Types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace mivora {

// Rectangles and points in assertion messages.
void PrintTo(const TRect& Rect, std::ostream* Out);
void PrintTo(const TPoint& Point, std::ostream* Out);

} // namespace mivora

namespace mivora::test {

// An opaque RGB image; colours are TColor values (0x00BBGGRR).
class TImage {
public:
  TImage() = default;
  // An image of Width x Height pixels, all Fill.
  TImage(int32_t Width, int32_t Height, TColor Fill = clWhite);
  // Loads a PNG; transparent pixels are shown over white. Throws
  // std::runtime_error naming the file when it cannot be read.
  static TImage Load(const std::string& PngPath);
  // Writes the image as a PNG; throws std::runtime_error naming the file.
  void Save(const std::string& PngPath) const;

  int32_t Width() const noexcept { return width_; }
  int32_t Height() const noexcept { return height_; }
  // The colour at (X, Y); a point outside the image throws std::out_of_range.
  TColor PixelAt(int32_t X, int32_t Y) const;
  // Paints one pixel; points outside the image are ignored.
  void SetPixel(int32_t X, int32_t Y, TColor Color);
  // Paints the pixels [Left, Right) x [Top, Bottom), clipped to the image.
  void FillRect(const TRect& Rect, TColor Color);

  // Every pixel of Color, row by row.
  std::vector<TPoint> PixelsOf(TColor Color) const;
  // How many pixels have Color.
  int64_t CountOf(TColor Color) const;
  // The smallest rectangle (right and bottom exclusive) holding every pixel of
  // Color; all zero when there is none.
  TRect BoundsOf(TColor Color) const;
  // Whether every pixel of Rect (clipped to the image) has Color.
  bool AllOf(const TRect& Rect, TColor Color) const;

private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<TColor> pixels_;
};

// Bounds of the pixels darker than mid-grey (text is antialiased) within Within;
// right and bottom exclusive, all zero when there is none.
TRect InkBounds(const TImage& Image, TRect Within = {0, 0, INT32_MAX, INT32_MAX});

// How far two images are apart, per channel.
struct TImageDifference {
  bool SameSize = true;
  int32_t Largest = 0;          // largest difference of one channel of one pixel
  int64_t Sum = 0;              // sum of all channel differences
  int64_t DifferentPixels = 0;  // pixels with any difference
};

// Compares Actual with Expected pixel by pixel.
TImageDifference CompareImages(const TImage& Actual, const TImage& Expected);

// Succeeds when no channel differs by more than Tolerance. Otherwise fails
// reporting the largest and summed difference, and writes
// <Name>-actual.png, <Name>-expected.png and <Name>-difference.png into
// the test output folder.
::testing::AssertionResult ImagesMatch(const TImage& Actual, const TImage& Expected,
                                       const std::string& Name, int32_t Tolerance = 0);

} // namespace mivora::test
