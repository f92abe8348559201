// Writing a finished raster page as a PNG file. Shared by the platform's .cpp
// files only.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>

namespace mivora {

// What the writer may do with the surface's pixel memory. The writer packs
// and compresses the rows a megabyte at a time and leaves the pixels as they
// are either way; Reuse is kept for callers that allow more.
enum class TPngPixels {
  Keep,   // the surface is left as it was
  Reuse,  // the page is destroyed right after: its pixels may be lost
};

// Writes Surface as PNG through WriteFunc: opaque pages (RGB24) as 8-bit RGB by
// our own encoder, other image formats by Cairo's writer. Writes the chunks as
// the compressed stream grows. Returns the first failure, of the writer or of
// WriteFunc; nothing is written after it.
cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure,
                        TPngPixels Pixels = TPngPixels::Keep);

// Writes an opaque page as 8-bit RGB PNG from its rows, handed over a band at
// a time from top to bottom, so that the whole page need never be in memory.
// The file is the same however the rows are divided. Each call returns the
// first failure, of the writer or of WriteFunc; nothing is written after it.
class TPngRowWriter {
public:
  TPngRowWriter(cairo_write_func_t WriteFunc, void* Closure);
  ~TPngRowWriter();
  TPngRowWriter(const TPngRowWriter&) = delete;
  TPngRowWriter& operator=(const TPngRowWriter&) = delete;

  // Writes the signature and the header of a page of Width x Height pixels.
  cairo_status_t Start(int Width, int Height);
  // Takes the next Rows rows, in Cairo's RGB24 layout, Stride bytes apart.
  cairo_status_t AddRows(const unsigned char* Pixels, size_t Stride, int Rows);
  // Ends the file; fails if fewer rows came than the header announced.
  cairo_status_t Finish();

private:
  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

} // namespace mivora
