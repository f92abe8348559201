#include "PngWriter_p.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace mivora {

namespace {

// A PNG writer for the pages, which are opaque RGB images: Cairo's own writer
// tries every row filter and compresses at zlib's default level, which makes
// writing a 300 dpi page several times slower than drawing it. Pages are mostly
// runs of the same colour, and unfiltered rows at zlib's fastest level compress
// them some five times faster, into files about a quarter larger. The output is
// a plain 8-bit RGB PNG that any reader takes.
class TPngWriter {
public:
  TPngWriter(cairo_write_func_t WriteFunc, void* Closure) : write_(WriteFunc), closure_(Closure) {}
  ~TPngWriter() {
    if (deflating_) deflateEnd(&stream_);
  }
  TPngWriter(const TPngWriter&) = delete;
  TPngWriter& operator=(const TPngWriter&) = delete;

  cairo_status_t Write(cairo_surface_t* Surface) {
    const int width = cairo_image_surface_get_width(Surface);
    const int height = cairo_image_surface_get_height(Surface);
    const int stride = cairo_image_surface_get_stride(Surface);
    const unsigned char* pixels = cairo_image_surface_get_data(Surface);
    if (width <= 0 || height <= 0 || pixels == nullptr) return CAIRO_STATUS_INVALID_SIZE;

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

    if (deflateInit2(&stream_, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      return CAIRO_STATUS_NO_MEMORY;
    deflating_ = true;
    out_.resize(size_t{1} << 18);
    // Each row: filter type 0 (none), then red, green and blue of every pixel.
    std::vector<unsigned char> row(1 + size_t{3} * static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
      const auto* source = reinterpret_cast<const uint32_t*>(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride));
      unsigned char* target = row.data() + 1;
      for (int x = 0; x < width; ++x) {
        // RGB24 keeps each pixel as a native 32-bit 0x00RRGGBB.
        const uint32_t pixel = source[x];
        target[0] = static_cast<unsigned char>(pixel >> 16);
        target[1] = static_cast<unsigned char>(pixel >> 8);
        target[2] = static_cast<unsigned char>(pixel);
        target += 3;
      }
      if (const cairo_status_t status = Compress(row.data(), row.size(), Z_NO_FLUSH); status != CAIRO_STATUS_SUCCESS)
        return status;
    }
    if (const cairo_status_t status = Compress(nullptr, 0, Z_FINISH); status != CAIRO_STATUS_SUCCESS) return status;
    return Chunk("IEND", nullptr, 0);
  }

private:
  static void PutUint32(unsigned char* Out, uint32_t Value) {
    Out[0] = static_cast<unsigned char>(Value >> 24);
    Out[1] = static_cast<unsigned char>(Value >> 16);
    Out[2] = static_cast<unsigned char>(Value >> 8);
    Out[3] = static_cast<unsigned char>(Value);
  }

  // Writes one chunk: length, type, data and the CRC of type and data.
  cairo_status_t Chunk(const char* Type, const unsigned char* Data, size_t Length) {
    unsigned char head[8];
    PutUint32(head, static_cast<uint32_t>(Length));
    std::memcpy(head + 4, Type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (Length > 0) crc = crc32(crc, Data, static_cast<uInt>(Length));
    unsigned char tail[4];
    PutUint32(tail, static_cast<uint32_t>(crc));
    cairo_status_t status = write_(closure_, head, sizeof head);
    if (status == CAIRO_STATUS_SUCCESS && Length > 0) status = write_(closure_, Data, static_cast<unsigned int>(Length));
    if (status == CAIRO_STATUS_SUCCESS) status = write_(closure_, tail, sizeof tail);
    return status;
  }

  // Deflates Length bytes; every full output buffer becomes one IDAT chunk, and
  // so does the rest at Z_FINISH.
  cairo_status_t Compress(const unsigned char* Data, size_t Length, int Flush) {
    stream_.next_in = const_cast<Bytef*>(Data);  // zlib's interface is not const; it only reads
    stream_.avail_in = static_cast<uInt>(Length);
    for (;;) {
      stream_.next_out = out_.data() + pending_;
      stream_.avail_out = static_cast<uInt>(out_.size() - pending_);
      const int result = deflate(&stream_, Flush);
      if (result == Z_STREAM_ERROR) return CAIRO_STATUS_NO_MEMORY;
      pending_ = out_.size() - stream_.avail_out;
      const bool finished = Flush == Z_FINISH && result == Z_STREAM_END;
      if (pending_ == out_.size() || (finished && pending_ > 0)) {
        if (const cairo_status_t status = Chunk("IDAT", out_.data(), pending_); status != CAIRO_STATUS_SUCCESS)
          return status;
        pending_ = 0;
      }
      if (finished) return CAIRO_STATUS_SUCCESS;
      if (Flush != Z_FINISH && stream_.avail_in == 0 && stream_.avail_out > 0) return CAIRO_STATUS_SUCCESS;
    }
  }

  cairo_write_func_t write_;
  void* closure_;
  z_stream stream_{};
  bool deflating_ = false;
  std::vector<unsigned char> out_;
  size_t pending_ = 0;  // compressed bytes in out_ not yet written
};

} // namespace

cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure) {
  if (cairo_image_surface_get_format(Surface) != CAIRO_FORMAT_RGB24)
    return cairo_surface_write_to_png_stream(Surface, WriteFunc, Closure);
  TPngWriter writer(WriteFunc, Closure);
  return writer.Write(Surface);
}

} // namespace mivora
