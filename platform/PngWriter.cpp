#include "PngWriter_p.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace mivora {

namespace {

// A page is compressed in one piece by libdeflate at its fastest level: pages
// are mostly runs of one colour, which it packs into files a third smaller
// than zlib's fastest level, at less cost. The compressed stream is written in
// IDAT chunks of this size.
constexpr size_t kIdatChunkSize = size_t{1} << 18;
constexpr int kCompressionLevel = 1;

// PNG row filter types.
constexpr unsigned char kFilterNone = 0;
constexpr unsigned char kFilterUp = 2;

void PutUint32(unsigned char* Out, uint32_t Value) {
  Out[0] = static_cast<unsigned char>(Value >> 24);
  Out[1] = static_cast<unsigned char>(Value >> 16);
  Out[2] = static_cast<unsigned char>(Value >> 8);
  Out[3] = static_cast<unsigned char>(Value);
}

// 0x00RRGGBB as 0x00BBGGRR, which lies in little-endian memory as R, G, B, 0.
inline uint32_t Swapped(uint32_t Pixel) { return __builtin_bswap32(Pixel) >> 8; }

// Packs Width pixels of Cairo's RGB24 (native 32-bit 0x00RRGGBB) into red,
// green and blue bytes. Four pixels at a time make three 32-bit words, without
// a branch per pixel.
void PackRgbRow(const uint32_t* Source, size_t Width, unsigned char* Target) {
  size_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 4 <= Width; x += 4) {
      const uint32_t a = Swapped(Source[x]);
      const uint32_t b = Swapped(Source[x + 1]);
      const uint32_t c = Swapped(Source[x + 2]);
      const uint32_t d = Swapped(Source[x + 3]);
      const uint32_t words[3] = {a | (b << 24), (b >> 8) | (c << 16), (c >> 16) | (d << 8)};
      std::memcpy(Target, words, sizeof words);
      Target += sizeof words;
    }
  }
  for (; x < Width; ++x) {
    const uint32_t pixel = Source[x];
    Target[0] = static_cast<unsigned char>(pixel >> 16);
    Target[1] = static_cast<unsigned char>(pixel >> 8);
    Target[2] = static_cast<unsigned char>(pixel);
    Target += 3;
  }
}

// Target = Row - Above, byte by byte (the Up filter), sixteen bytes at a time
// where the compiler has vector registers.
void SubtractRow(const unsigned char* Row, const unsigned char* Above, size_t Length, unsigned char* Target) {
  using TBytes = unsigned char __attribute__((vector_size(16)));
  size_t i = 0;
  for (; i + sizeof(TBytes) <= Length; i += sizeof(TBytes)) {
    TBytes a;
    TBytes b;
    std::memcpy(&a, Row + i, sizeof a);
    std::memcpy(&b, Above + i, sizeof b);
    const TBytes difference = a - b;
    std::memcpy(Target + i, &difference, sizeof difference);
  }
  for (; i < Length; ++i) Target[i] = static_cast<unsigned char>(Row[i] - Above[i]);
}

struct TCompressorDeleter {
  void operator()(libdeflate_compressor* Compressor) const { libdeflate_free_compressor(Compressor); }
};

class TPngWriter {
public:
  TPngWriter(cairo_write_func_t WriteFunc, void* Closure) : write_(WriteFunc), closure_(Closure) {}

  cairo_status_t Write(cairo_surface_t* Surface, TPngPixels Pixels) {
    const int width = cairo_image_surface_get_width(Surface);
    const int height = cairo_image_surface_get_height(Surface);
    const int stride = cairo_image_surface_get_stride(Surface);
    unsigned char* pixels = cairo_image_surface_get_data(Surface);
    if (width <= 0 || height <= 0 || pixels == nullptr) return CAIRO_STATUS_INVALID_SIZE;

    std::unique_ptr<unsigned char[]> own;
    std::unique_ptr<unsigned char[]> compressed;
    size_t compressedSize = 0;
    try {
      const size_t rowSize = 1 + size_t{3} * static_cast<size_t>(width);
      const size_t packedSize = rowSize * static_cast<size_t>(height);
      // Reused, the surface's memory has room: each packed row (1 + 3 w bytes)
      // is no longer than the pixel row it comes from (4 w bytes or more), so
      // packed row y ends before pixel row y + 1 begins.
      unsigned char* packed = pixels;
      if (Pixels == TPngPixels::Keep) {
        own.reset(new unsigned char[packedSize]);
        packed = own.get();
      }
      Pack(pixels, static_cast<size_t>(stride), static_cast<size_t>(width), static_cast<size_t>(height), packed);

      const std::unique_ptr<libdeflate_compressor, TCompressorDeleter> compressor(
          libdeflate_alloc_compressor(kCompressionLevel));
      if (!compressor) return CAIRO_STATUS_NO_MEMORY;
      // Pages compress to a small part of the bound; memory the compressor
      // does not write is never touched, so it costs no more than that part.
      const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), packedSize);
      compressed.reset(new unsigned char[bound]);
      compressedSize = libdeflate_zlib_compress(compressor.get(), packed, packedSize, compressed.get(), bound);
      if (compressedSize == 0) return CAIRO_STATUS_NO_MEMORY;
    } catch (const std::bad_alloc&) {
      return CAIRO_STATUS_NO_MEMORY;
    }
    own.reset();

    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (const cairo_status_t status = write_(closure_, signature, sizeof signature); status != CAIRO_STATUS_SUCCESS)
      return status;
    unsigned char header[13] = {};
    PutUint32(header, static_cast<uint32_t>(width));
    PutUint32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // colour type: RGB
    // Compression, filter method and interlacing stay 0: deflate, adaptive, none.
    if (const cairo_status_t status = Chunk("IHDR", header, sizeof header); status != CAIRO_STATUS_SUCCESS)
      return status;
    for (size_t at = 0; at < compressedSize; at += kIdatChunkSize) {
      const size_t length = std::min(kIdatChunkSize, compressedSize - at);
      if (const cairo_status_t status = Chunk("IDAT", compressed.get() + at, length); status != CAIRO_STATUS_SUCCESS)
        return status;
    }
    return Chunk("IEND", nullptr, 0);
  }

private:
  // Packs the rows as PNG stores them: a filter type, then red, green and blue
  // of every pixel, each row but the first as its difference from the row
  // above (the Up filter). Rows repeat down a page (margins, blank lines, the
  // inside of frames and pictures' flat areas), and a repeated row becomes
  // zeros; on pages with pictures this makes files a sixth smaller, on text
  // pages a few per cent larger than unfiltered rows, at little cost.
  // Packed may be Pixels itself.
  static void Pack(const unsigned char* Pixels, size_t Stride, size_t Width, size_t Height, unsigned char* Packed) {
    const size_t rgbSize = 3 * Width;
    const size_t packedRowSize = 1 + rgbSize;
    // Rows are packed into row first: in place, a packed row may begin inside
    // its own pixel row.
    std::vector<unsigned char> row(rgbSize);
    std::vector<unsigned char> above(rgbSize);
    for (size_t y = 0; y < Height; ++y) {
      const unsigned char* source = Pixels + y * Stride;
      unsigned char* target = Packed + y * packedRowSize;
      // A row the same as the one above is found on the pixels, before any
      // packing: most rows of a page are. In place, the pixel row above is
      // intact once the packed rows end before it, from the fifth row or so.
      const bool aboveIntact = y > 0 && (Packed != Pixels || y * packedRowSize <= (y - 1) * Stride);
      if (aboveIntact && std::memcmp(source, source - Stride, 4 * Width) == 0) {
        target[0] = kFilterUp;
        std::memset(target + 1, 0, rgbSize);
        continue;  // above still holds these pixels
      }
      PackRgbRow(reinterpret_cast<const uint32_t*>(source), Width, row.data());
      if (y == 0) {
        target[0] = kFilterNone;
        std::memcpy(target + 1, row.data(), rgbSize);
      } else {
        target[0] = kFilterUp;
        SubtractRow(row.data(), above.data(), rgbSize, target + 1);
      }
      row.swap(above);
    }
  }

  // Writes one chunk: length, type, data and the CRC of type and data.
  cairo_status_t Chunk(const char* Type, const unsigned char* Data, size_t Length) {
    unsigned char head[8];
    PutUint32(head, static_cast<uint32_t>(Length));
    std::memcpy(head + 4, Type, 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (Length > 0) crc = libdeflate_crc32(crc, Data, Length);
    unsigned char tail[4];
    PutUint32(tail, crc);
    cairo_status_t status = write_(closure_, head, sizeof head);
    if (status == CAIRO_STATUS_SUCCESS && Length > 0) status = write_(closure_, Data, static_cast<unsigned int>(Length));
    if (status == CAIRO_STATUS_SUCCESS) status = write_(closure_, tail, sizeof tail);
    return status;
  }

  cairo_write_func_t write_;
  void* closure_;
};

} // namespace

cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure, TPngPixels Pixels) {
  if (cairo_image_surface_get_format(Surface) != CAIRO_FORMAT_RGB24)
    return cairo_surface_write_to_png_stream(Surface, WriteFunc, Closure);
  cairo_surface_flush(Surface);
  TPngWriter writer(WriteFunc, Closure);
  return writer.Write(Surface, Pixels);
}

} // namespace mivora
