// Pictures: an image with a natural size in pixels that a canvas can draw at that
// size or scaled into a rectangle. Raster pictures come from PNG and JPEG data or
// from pixels in memory; SVG pictures stay vector on vector targets (PDF, SVG, PS).
#pragma once

#include "Component.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mivora {

// Base of every picture kind. A cell that shows a picture owns it.
class TGraphic : public TObject {
public:
  ~TGraphic() override;
  // Natural width in pixels.
  virtual int32_t Width() const = 0;
  // Natural height in pixels.
  virtual int32_t Height() const = 0;
  // The picture's own resolution in pixels per inch across and down, as its data
  // tells it (PNG pHYs, JPEG JFIF density or EXIF resolution); 0 when untold.
  virtual double ResolutionX() const;
  virtual double ResolutionY() const;
};

// A raster picture: a grid of pixels drawn one device pixel per picture pixel at
// natural size (unless its data tells its resolution). A JPEG whose EXIF data
// says it was stored turned or mirrored stands upright: its size and pixels are
// those of the upright picture. Loading the same bytes again while a picture
// from them is alive shares their pixels instead of decoding them once more,
// and vector targets embed such a picture once per document.
class TBitmapGraphic : public TGraphic {
public:
  // The largest width or height accepted, and the largest pixel count (about
  // 256 MiB of pixels), so that a hostile header cannot claim gigabytes.
  static constexpr int32_t MaxSide = 32767;
  static constexpr int64_t MaxPixels = int64_t{64} * 1024 * 1024;

  // A picture of Width x Height pixels, rows top to bottom, each pixel 0xAARRGGBB
  // (straight, not premultiplied alpha). Raises EGraphicError when the size is out
  // of range or Pixels does not hold Width x Height entries.
  TBitmapGraphic(int32_t Width, int32_t Height, const std::vector<uint32_t>& Pixels);
  ~TBitmapGraphic() override;

  int32_t Width() const override;
  int32_t Height() const override;
  double ResolutionX() const override;
  double ResolutionY() const override;
  // The pixel at (X, Y) as 0xAARRGGBB (straight alpha); 0 outside the picture.
  uint32_t Pixel(int32_t X, int32_t Y) const;

  struct Impl;
  // Backend state, for the platform's drawing code.
  const Impl& Backend() const noexcept { return *impl_; }

private:
  friend class TGraphicFactory;
  explicit TBitmapGraphic(std::unique_ptr<Impl> State);
  std::unique_ptr<Impl> impl_;
};

// A vector picture from an SVG document. Its natural size is the document's
// width and height in CSS pixels (96 per inch); a document without both takes its
// size from its viewBox (one user unit per pixel), and one with neither is
// rejected. References to external files are not followed.
class TSvgGraphic : public TGraphic {
public:
  // The largest natural width or height accepted.
  static constexpr int32_t MaxSide = 1 << 20;

  ~TSvgGraphic() override;

  int32_t Width() const override;
  int32_t Height() const override;

  struct Impl;
  // Backend state, for the platform's drawing code.
  const Impl& Backend() const noexcept { return *impl_; }

private:
  friend class TGraphicFactory;
  explicit TSvgGraphic(std::unique_ptr<Impl> State);
  std::unique_ptr<Impl> impl_;
};

// The largest picture file or buffer accepted, in bytes.
constexpr size_t MaxGraphicDataSize = size_t{256} * 1024 * 1024;

// Loads a PNG, JPEG or SVG picture from a file. The kind is told by the content,
// not by the extension. Raises EGraphicError naming the file on any failure.
std::unique_ptr<TGraphic> LoadGraphicFromFile(const std::string& Path);

// Loads a PNG, JPEG or SVG picture from Size bytes at Data; NameForErrors stands
// for the data in error messages. Raises EGraphicError on any failure.
std::unique_ptr<TGraphic> LoadGraphicFromMemory(const void* Data, size_t Size,
                                                const std::string& NameForErrors);

} // namespace mivora
