#include "Picture.h"

#include "FileContents_p.h"
#include "Picture_p.h"
#include "RasterPage_p.h"

#include <cairo.h>
#include <glib.h>
#include <librsvg/rsvg.h>
#include <sys/stat.h>

// libjpeg's header needs size_t and FILE declared before it.
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace mivora {

// ---------------------------------------------------------------------------
// Backend state

// Decoded pixels shared by every picture loaded from the same bytes: an ARGB32
// image surface (premultiplied alpha; RGB24 when nothing is transparent) as the
// data stores it, the turn and mirror
// that make it stand upright, and its resolution when the data tells one.
struct TRaster {
  cairo_surface_t* Surface = nullptr;
  int Orientation = 1;           // EXIF orientation, 1 (as stored) to 8
  double ResolutionX = 0.0;      // picture pixels per inch; 0: not told
  double ResolutionY = 0.0;
  std::string Key;               // digest of the bytes; empty for pixels in memory
  // Surface's colours (RGB24) and a one-bit mask, for PDF targets, when each of
  // its pixels is fully opaque or fully clear (see SplitClearAndOpaque).
  cairo_surface_t* Colours = nullptr;
  cairo_surface_t* Mask = nullptr;
  bool SplitTried = false;
  // Copies at fewer pixels for targets that cap picture resolution, by size.
  struct TReduced {
    int Width;
    int Height;
    cairo_surface_t* Surface;
  };
  std::vector<TReduced> Reduced;

  TRaster() = default;
  TRaster(const TRaster&) = delete;
  TRaster& operator=(const TRaster&) = delete;
  ~TRaster();
  // Whether the stored rows and columns swap places when shown (a quarter turn).
  bool Turned() const noexcept { return Orientation >= 5; }
  int StoredWidth() const { return cairo_image_surface_get_width(Surface); }
  int StoredHeight() const { return cairo_image_surface_get_height(Surface); }
};

struct TBitmapGraphic::Impl {
  std::shared_ptr<TRaster> Raster;
};

// A loaded SVG document with its natural size, owned.
struct TSvgGraphic::Impl {
  RsvgHandle* Handle = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  std::string Key; // digest of the document's bytes
  // The drawing at natural size, recorded on its first use on a vector target.
  mutable cairo_surface_t* Recording = nullptr;
  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (Recording != nullptr) cairo_surface_destroy(Recording);
    if (Handle != nullptr) g_object_unref(Handle);
  }
};

// Builds the picture objects; the only code that may call their private constructors.
class TGraphicFactory {
public:
  static std::unique_ptr<TGraphic> Bitmap(std::shared_ptr<TRaster> Raster) {
    auto state = std::make_unique<TBitmapGraphic::Impl>();
    state->Raster = std::move(Raster);
    return std::unique_ptr<TGraphic>(new TBitmapGraphic(std::move(state)));
  }
  static std::unique_ptr<TGraphic> Svg(std::unique_ptr<TSvgGraphic::Impl> State) {
    return std::unique_ptr<TGraphic>(new TSvgGraphic(std::move(State)));
  }
};

namespace {

[[noreturn]] void Fail(const std::string& Name, const std::string& Reason) {
  throw EGraphicError("Cannot load picture \"" + Name + "\": " + Reason);
}

// Raises the size error unless Width x Height is a picture size we are willing to hold.
void CheckRasterSize(const std::string& Name, int64_t Width, int64_t Height) {
  if (Width <= 0 || Height <= 0) {
    Fail(Name, "invalid size " + std::to_string(Width) + " x " + std::to_string(Height) +
                   " pixels");
  }
  if (Width > TBitmapGraphic::MaxSide || Height > TBitmapGraphic::MaxSide ||
      Width * Height > TBitmapGraphic::MaxPixels) {
    Fail(Name, std::to_string(Width) + " x " + std::to_string(Height) +
                   " pixels is too large (at most " + std::to_string(TBitmapGraphic::MaxSide) +
                   " per side and " + std::to_string(TBitmapGraphic::MaxPixels) +
                   " pixels in all)");
  }
}

// A new ARGB32 surface (RGB24 when Opaque) of the given size; raises when Cairo
// cannot make it.
cairo_surface_t* NewSurface(const std::string& Name, int32_t Width, int32_t Height, bool Opaque = false) {
  cairo_surface_t* surface =
      cairo_image_surface_create(Opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, Width, Height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    const std::string reason = cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    Fail(Name, "cannot hold the pixels (" + reason + ")");
  }
  return surface;
}

// Whether every pixel of an ARGB32 surface is fully opaque.
bool FullyOpaque(cairo_surface_t* Surface) {
  cairo_surface_flush(Surface);
  const unsigned char* data = cairo_image_surface_get_data(Surface);
  const int stride = cairo_image_surface_get_stride(Surface);
  const int width = cairo_image_surface_get_width(Surface), height = cairo_image_surface_get_height(Surface);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x)
      if ((row[x] >> 24) != 0xFF) return false;
  }
  return true;
}

uint32_t Premultiply(uint32_t Argb) {
  const uint32_t a = Argb >> 24;
  if (a == 255) return Argb;
  if (a == 0) return 0;
  auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (channel((Argb >> 16) & 0xFF) << 16) | (channel((Argb >> 8) & 0xFF) << 8) |
         channel(Argb & 0xFF);
}

uint32_t Unpremultiply(uint32_t Argb) {
  const uint32_t a = Argb >> 24;
  if (a == 255) return Argb;
  if (a == 0) return 0;
  auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (channel((Argb >> 16) & 0xFF) << 16) | (channel((Argb >> 8) & 0xFF) << 8) |
         channel(Argb & 0xFF);
}

// Reads a whole regular file of at most MaxGraphicDataSize bytes.
std::string ReadPictureFile(const std::string& Path) {
  TFileContents file = ReadFileContents(Path, MaxGraphicDataSize);
  if (!file.Error.empty()) Fail(Path, file.Error);
  return std::move(file.Data);
}

// ---------------------------------------------------------------------------
// One decoding per picture: rasters by the digest of their bytes, kept while
// some picture holds them. The digest also tells vector targets that two
// drawings are one image, so a document embeds it once even when its bytes
// were loaded again after the first copy was released.

std::mutex& RasterCacheMutex() {
  static std::mutex mutex;
  return mutex;
}

// Never destroyed: rasters released during the program's exit still find it.
std::unordered_map<std::string, std::weak_ptr<TRaster>>& RasterCache() {
  static auto* cache = new std::unordered_map<std::string, std::weak_ptr<TRaster>>();
  return *cache;
}

std::string Digest(std::string_view Data) {
  gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_SHA256,
                                           reinterpret_cast<const guchar*>(Data.data()), Data.size());
  std::string key = std::string("mivora-picture-") + hex + "-" + std::to_string(Data.size());
  g_free(hex);
  return key;
}

// A file as it is on disk now: device, inode, size and modification time. Two
// equal identities are the same bytes, short of a writer that restores the
// time to the nanosecond.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  int64_t ModifiedSeconds = 0;
  int64_t ModifiedNanoseconds = 0;
  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
};

bool IdentityOf(const std::string& Path, TFileIdentity& Identity) {
  struct stat info {};
  if (::stat(Path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  Identity = {info.st_dev, info.st_ino, info.st_size, static_cast<int64_t>(info.st_mtim.tv_sec),
              static_cast<int64_t>(info.st_mtim.tv_nsec)};
  return true;
}

// The digests of recently loaded files by path, so that loading an unchanged
// file again (a logo on every record of a merge) neither reads nor hashes it.
struct TFileDigest {
  TFileIdentity Identity;
  std::string Key;
};

std::unordered_map<std::string, TFileDigest>& FileDigests() {
  static auto* digests = new std::unordered_map<std::string, TFileDigest>();
  return *digests;
}

std::string RememberedDigest(const std::string& Path, const TFileIdentity& Identity) {
  const std::lock_guard<std::mutex> lock(RasterCacheMutex());
  auto found = FileDigests().find(Path);
  return found != FileDigests().end() && found->second.Identity == Identity ? found->second.Key : std::string();
}

void RememberDigest(const std::string& Path, const TFileIdentity& Identity, const std::string& Key) {
  const std::lock_guard<std::mutex> lock(RasterCacheMutex());
  if (FileDigests().size() >= 1024) FileDigests().clear(); // a long merge of distinct photos
  FileDigests()[Path] = {Identity, Key};
}

std::shared_ptr<TRaster> CachedRaster(const std::string& Key) {
  const std::lock_guard<std::mutex> lock(RasterCacheMutex());
  auto found = RasterCache().find(Key);
  return found == RasterCache().end() ? nullptr : found->second.lock();
}

// Attaches Key as the surface's identity for vector targets (a copy the surface owns).
void SetUniqueId(cairo_surface_t* Surface, const std::string& Key) {
  if (Key.empty()) return;
  auto* copy = static_cast<unsigned char*>(std::malloc(Key.size()));
  if (copy == nullptr) return; // only the sharing is lost
  std::memcpy(copy, Key.data(), Key.size());
  if (cairo_surface_set_mime_data(Surface, CAIRO_MIME_TYPE_UNIQUE_ID, copy, Key.size(), std::free,
                                  copy) != CAIRO_STATUS_SUCCESS) {
    std::free(copy);
  }
}

// Enters a freshly decoded raster in the cache under Key.
std::shared_ptr<TRaster> ShareRaster(std::unique_ptr<TRaster> Raster, const std::string& Key) {
  Raster->Key = Key;
  SetUniqueId(Raster->Surface, Key);
  std::shared_ptr<TRaster> shared(std::move(Raster));
  const std::lock_guard<std::mutex> lock(RasterCacheMutex());
  RasterCache()[Key] = shared;
  return shared;
}

// ---------------------------------------------------------------------------
// Resolution and orientation told by the data

struct TPictureInfo {
  int Orientation = 1;
  double ResolutionX = 0.0;
  double ResolutionY = 0.0;
};

// A resolution worth believing, in pixels per inch; anything else counts as not told.
bool Plausible(double PixelsPerInch) { return std::isfinite(PixelsPerInch) && PixelsPerInch >= 1.0 && PixelsPerInch <= 1e6; }

void SetResolution(TPictureInfo& Info, double X, double Y) {
  if (Plausible(X) && Plausible(Y)) {
    Info.ResolutionX = X;
    Info.ResolutionY = Y;
  }
}

uint32_t BigEndian32(const unsigned char* P) {
  return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | uint32_t{P[3]};
}

uint32_t BigEndian16(const unsigned char* P) { return (uint32_t{P[0]} << 8) | uint32_t{P[1]}; }

// The pHYs chunk of a PNG, read from the chunks before the image data. Chunks
// that run past the end are left to the decoder to report.
TPictureInfo ReadPngInfo(std::string_view Data) {
  TPictureInfo info;
  const auto* bytes = reinterpret_cast<const unsigned char*>(Data.data());
  size_t pos = 8;
  while (Data.size() - pos >= 12) {
    const uint32_t length = BigEndian32(bytes + pos);
    const std::string_view type(Data.data() + pos + 4, 4);
    if (length > Data.size() - pos - 12 || type == "IDAT" || type == "IEND") break;
    const unsigned char* chunk = bytes + pos + 8;
    if (type == "pHYs" && length == 9 && chunk[8] == 1) {
      // Pixels per metre.
      SetResolution(info, BigEndian32(chunk) * 0.0254, BigEndian32(chunk + 4) * 0.0254);
    }
    pos += 12 + size_t{length};
  }
  return info;
}

// Reads the orientation and resolution of an EXIF block (a TIFF header and its
// first directory). Offsets and counts that point outside the block, and an
// orientation that is not one of the eight, are errors: such data says nothing
// that can be trusted.
void ReadExif(const unsigned char* Tiff, size_t Size, const std::string& Name, TPictureInfo& Info) {
  auto fail = [&](const std::string& What) { Fail(Name, "corrupt EXIF data (" + What + ")"); };
  if (Size < 8) fail("the header is truncated");
  bool little = false;
  if (Tiff[0] == 'I' && Tiff[1] == 'I')
    little = true;
  else if (!(Tiff[0] == 'M' && Tiff[1] == 'M'))
    fail("unknown byte order");
  auto u16 = [&](size_t At) -> uint32_t {
    return little ? (uint32_t{Tiff[At + 1]} << 8) | Tiff[At] : BigEndian16(Tiff + At);
  };
  auto u32 = [&](size_t At) -> uint32_t {
    return little ? (u16(At + 2) << 16) | u16(At) : BigEndian32(Tiff + At);
  };
  if (u16(2) != 42) fail("not a TIFF header");
  const uint32_t directory = u32(4);
  if (directory < 8 || directory > Size - 2)
    fail("directory offset " + std::to_string(directory) + " outside the " + std::to_string(Size) + " bytes");
  const uint32_t count = u16(directory);
  if (size_t{count} * 12 > Size - directory - 2)
    fail("directory of " + std::to_string(count) + " entries runs past the end");
  double x = 0.0, y = 0.0;
  uint32_t unit = 2; // inches unless told otherwise
  auto rational = [&](size_t Entry, const char* What) {
    const uint32_t offset = u32(Entry + 8);
    if (offset > Size || Size - offset < 8)
      fail(std::string(What) + " offset " + std::to_string(offset) + " outside the " + std::to_string(Size) + " bytes");
    const uint32_t denominator = u32(offset + 4);
    return denominator == 0 ? 0.0 : static_cast<double>(u32(offset)) / denominator;
  };
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = directory + 2 + size_t{i} * 12;
    const uint32_t tag = u16(entry), type = u16(entry + 2), values = u32(entry + 4);
    if (tag == 0x0112) {
      const uint32_t value = type == 3 && values == 1 ? u16(entry + 8) : 0;
      if (value < 1 || value > 8) fail("orientation " + std::to_string(value) + " is not one of 1 to 8");
      Info.Orientation = static_cast<int>(value);
    } else if (tag == 0x011A && type == 5 && values == 1) {
      x = rational(entry, "resolution");
    } else if (tag == 0x011B && type == 5 && values == 1) {
      y = rational(entry, "resolution");
    } else if (tag == 0x0128 && type == 3 && values == 1) {
      unit = u16(entry + 8);
    }
  }
  if (unit == 2) SetResolution(Info, x, y);
  if (unit == 3) SetResolution(Info, x * 2.54, y * 2.54);
}

// The JFIF density and the EXIF block of a JPEG, from the segments before the
// image data. A JFIF density in real units wins over EXIF's resolution.
TPictureInfo ReadJpegInfo(std::string_view Data, const std::string& Name) {
  TPictureInfo info;
  TPictureInfo jfif;
  bool exifSeen = false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(Data.data());
  size_t pos = 2;
  while (pos + 4 <= Data.size()) {
    if (bytes[pos] != 0xFF) break; // not a marker: the decoder will say more
    const unsigned char marker = bytes[pos + 1];
    if (marker == 0xFF) {
      ++pos; // fill byte
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      pos += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) break;
    const size_t length = BigEndian16(bytes + pos + 2);
    if (length < 2 || length > Data.size() - pos - 2) break;
    const unsigned char* segment = bytes + pos + 4;
    const size_t size = length - 2;
    if (marker == 0xE0 && size >= 12 && std::memcmp(segment, "JFIF\0", 5) == 0) {
      const unsigned char units = segment[7];
      const double dx = BigEndian16(segment + 8), dy = BigEndian16(segment + 10);
      if (units == 1) SetResolution(jfif, dx, dy);
      if (units == 2) SetResolution(jfif, dx * 2.54, dy * 2.54);
    } else if (marker == 0xE1 && !exifSeen && size >= 6 && std::memcmp(segment, "Exif\0\0", 6) == 0) {
      exifSeen = true;
      ReadExif(segment + 6, size - 6, Name, info);
    }
    pos += 2 + length;
  }
  if (jfif.ResolutionX > 0.0) {
    info.ResolutionX = jfif.ResolutionX;
    info.ResolutionY = jfif.ResolutionY;
  }
  return info;
}

// ---------------------------------------------------------------------------
// Kind detection

enum class TKind { Png, Jpeg, Svg, Unknown };

TKind DetectKind(std::string_view Data) {
  static constexpr std::string_view kPng("\x89PNG\r\n\x1a\n", 8);
  static constexpr std::string_view kJpeg("\xFF\xD8\xFF", 3);
  if (Data.starts_with(kPng)) return TKind::Png;
  if (Data.starts_with(kJpeg)) return TKind::Jpeg;
  // An SVG document is XML text whose root element is <svg>: skip a byte-order mark
  // and blanks, expect markup, and look for the root element in the first bytes.
  std::string_view text = Data;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || text[first] != '<') return TKind::Unknown;
  if (text.substr(0, 64 * 1024).find("<svg") != std::string_view::npos) return TKind::Svg;
  return TKind::Unknown;
}

// ---------------------------------------------------------------------------
// PNG through Cairo

struct TMemoryReader {
  const unsigned char* Data;
  size_t Size;
  size_t Pos;
};

cairo_status_t ReadFromMemory(void* Closure, unsigned char* Out, unsigned int Length) {
  auto* reader = static_cast<TMemoryReader*>(Closure);
  if (reader->Size - reader->Pos < Length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(Out, reader->Data + reader->Pos, Length);
  reader->Pos += Length;
  return CAIRO_STATUS_SUCCESS;
}

std::unique_ptr<TGraphic> LoadPng(std::string_view Data, const std::string& Name, const std::string& Key) {
  // The header chunk comes first; its size is checked before any pixel memory is taken.
  const auto* bytes = reinterpret_cast<const unsigned char*>(Data.data());
  if (Data.size() < 33) Fail(Name, "truncated PNG data");
  if (std::memcmp(bytes + 12, "IHDR", 4) != 0) Fail(Name, "invalid PNG data (no header chunk)");
  CheckRasterSize(Name, BigEndian32(bytes + 16), BigEndian32(bytes + 20));

  TMemoryReader reader{bytes, Data.size(), 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadFromMemory, &reader);
  const cairo_status_t status = cairo_surface_status(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    if (status == CAIRO_STATUS_READ_ERROR) Fail(Name, "truncated or corrupt PNG data");
    Fail(Name, std::string("invalid PNG data (") + cairo_status_to_string(status) + ")");
  }
  const TPictureInfo info = ReadPngInfo(Data);
  auto state = std::make_unique<TRaster>();
  state->ResolutionX = info.ResolutionX;
  state->ResolutionY = info.ResolutionY;
  const cairo_format_t format = cairo_image_surface_get_format(surface);
  // Pictures without transparency are kept opaque: vector targets pay for an
  // alpha channel on every use of a picture, even one with nothing transparent.
  const bool opaque = format == CAIRO_FORMAT_RGB24 || (format == CAIRO_FORMAT_ARGB32 && FullyOpaque(surface));
  if (format == (opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32)) {
    state->Surface = surface;
  } else {
    // Other layouts (16-bit, or opaque pixels in an alpha layout) are converted
    // once, so drawing and reading pixels deal with two formats only.
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    cairo_surface_t* argb = nullptr;
    try {
      argb = NewSurface(Name, width, height, opaque);
    } catch (...) {
      cairo_surface_destroy(surface);
      throw;
    }
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    cairo_surface_flush(argb);
    state->Surface = argb;
  }
  return TGraphicFactory::Bitmap(ShareRaster(std::move(state), Key));
}

// ---------------------------------------------------------------------------
// JPEG through libjpeg

// libjpeg reports errors through this record; its default handler would end the
// process, ours jumps back to the decoder with the message kept.
struct TJpegErrors {
  jpeg_error_mgr Public; // first member: libjpeg sees a jpeg_error_mgr
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
  bool Truncated;
};

extern "C" void JpegErrorExit(j_common_ptr Info) {
  auto* errors = reinterpret_cast<TJpegErrors*>(Info->err);
  (*Info->err->format_message)(Info, errors->Message);
  std::longjmp(errors->Jump, 1);
}

// Warnings are ignored except the end of data before the end of the image: libjpeg
// would fill the rest with grey and call it a success.
extern "C" void JpegEmitMessage(j_common_ptr Info, int Level) {
  auto* errors = reinterpret_cast<TJpegErrors*>(Info->err);
  if (Level < 0 && Info->err->msg_code == JWRN_JPEG_EOF) {
    errors->Truncated = true;
    (*Info->err->format_message)(Info, errors->Message);
    std::longjmp(errors->Jump, 1);
  }
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

// Everything the decoder touches lives here, outside the frame that calls setjmp,
// so nothing with a destructor is skipped by the jump and no local is left
// indeterminate after it.
struct TJpegState {
  jpeg_decompress_struct Info;
  TJpegErrors Errors;
  bool Created = false;
  bool TooLarge = false;
  bool OutOfMemory = false;
  int64_t Width = 0;
  int64_t Height = 0;
  int Components = 0;
  cairo_surface_t* Surface = nullptr;
};

// Decodes into State.Surface; false on failure with the reason in State.
bool DecodeJpeg(const unsigned char* Data, size_t Size, TJpegState& State) {
  State.Info.err = jpeg_std_error(&State.Errors.Public);
  State.Errors.Public.error_exit = JpegErrorExit;
  State.Errors.Public.emit_message = JpegEmitMessage;
  State.Errors.Public.output_message = JpegOutputMessage;
  State.Errors.Message[0] = '\0';
  State.Errors.Truncated = false;
  if (setjmp(State.Errors.Jump) != 0) return false;

  jpeg_create_decompress(&State.Info);
  State.Created = true;
  jpeg_mem_src(&State.Info, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&State.Info, TRUE);
  State.Width = State.Info.image_width;
  State.Height = State.Info.image_height;
  if (State.Width <= 0 || State.Height <= 0 || State.Width > TBitmapGraphic::MaxSide ||
      State.Height > TBitmapGraphic::MaxSide ||
      State.Width * State.Height > TBitmapGraphic::MaxPixels) {
    State.TooLarge = true;
    return false;
  }
  const bool cmyk =
      State.Info.jpeg_color_space == JCS_CMYK || State.Info.jpeg_color_space == JCS_YCCK;
  State.Info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&State.Info);
  State.Components = State.Info.output_components;

  State.Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(State.Width),
                                             static_cast<int>(State.Height));
  if (cairo_surface_status(State.Surface) != CAIRO_STATUS_SUCCESS) {
    State.OutOfMemory = true;
    return false;
  }
  cairo_surface_flush(State.Surface);
  unsigned char* pixels = cairo_image_surface_get_data(State.Surface);
  const int stride = cairo_image_surface_get_stride(State.Surface);
  JSAMPARRAY row = (*State.Info.mem->alloc_sarray)(
      reinterpret_cast<j_common_ptr>(&State.Info), JPOOL_IMAGE,
      State.Info.output_width * static_cast<JDIMENSION>(State.Components), 1);
  // Adobe writes CMYK inverted (255 = no ink); others write it as it stands.
  const bool inverted = State.Info.saw_Adobe_marker != 0;
  while (State.Info.output_scanline < State.Info.output_height) {
    const JDIMENSION y = State.Info.output_scanline;
    jpeg_read_scanlines(&State.Info, row, 1);
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
    const unsigned char* in = row[0];
    for (JDIMENSION x = 0; x < State.Info.output_width; ++x) {
      uint32_t r, g, b;
      if (cmyk) {
        uint32_t c = in[0], m = in[1], ye = in[2], k = in[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          ye = 255 - ye;
          k = 255 - k;
        }
        r = (c * k + 127) / 255;
        g = (m * k + 127) / 255;
        b = (ye * k + 127) / 255;
        in += 4;
      } else {
        r = in[0];
        g = in[1];
        b = in[2];
        in += 3;
      }
      out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  jpeg_finish_decompress(&State.Info);
  cairo_surface_mark_dirty(State.Surface);
  return true;
}

std::unique_ptr<TGraphic> LoadJpeg(std::string_view Data, const std::string& Name, const std::string& Key) {
  // The metadata is read first: lying EXIF data is refused before pixels are decoded.
  const TPictureInfo info = ReadJpegInfo(Data, Name);
  auto state = std::make_unique<TJpegState>();
  const bool ok =
      DecodeJpeg(reinterpret_cast<const unsigned char*>(Data.data()), Data.size(), *state);
  if (state->Created) jpeg_destroy_decompress(&state->Info);
  if (!ok) {
    if (state->Surface != nullptr) cairo_surface_destroy(state->Surface);
    if (state->TooLarge) CheckRasterSize(Name, state->Width, state->Height);
    if (state->OutOfMemory) Fail(Name, "cannot hold the pixels (out of memory)");
    if (state->Errors.Truncated) Fail(Name, "truncated JPEG data");
    Fail(Name, std::string("invalid JPEG data (") + state->Errors.Message + ")");
  }
  // Vector targets can embed the original data instead of the decoded pixels; only
  // for grey and RGB data, whose colours every reader agrees on.
  if (state->Components == 1 || state->Components == 3) {
    void* copy = std::malloc(Data.size());
    if (copy != nullptr) {
      std::memcpy(copy, Data.data(), Data.size());
      if (cairo_surface_set_mime_data(state->Surface, CAIRO_MIME_TYPE_JPEG,
                                      static_cast<const unsigned char*>(copy), Data.size(),
                                      std::free, copy) != CAIRO_STATUS_SUCCESS) {
        std::free(copy);
      }
    }
  }
  auto raster = std::make_unique<TRaster>();
  raster->Surface = state->Surface;
  raster->Orientation = info.Orientation;
  raster->ResolutionX = info.ResolutionX;
  raster->ResolutionY = info.ResolutionY;
  return TGraphicFactory::Bitmap(ShareRaster(std::move(raster), Key));
}

// ---------------------------------------------------------------------------
// SVG through librsvg

// Natural pixels from a length in CSS pixels: rounded up, so nothing is cut off.
int64_t NaturalPixels(double Value) {
  if (!std::isfinite(Value) || Value <= 0.0) return 0;
  if (Value > TSvgGraphic::MaxSide + 1.0) return int64_t{TSvgGraphic::MaxSide} + 1;
  // A tiny tolerance keeps 20.0000001 (a float rounding artefact) at 20.
  return static_cast<int64_t>(std::ceil(Value - 1e-6));
}

std::unique_ptr<TGraphic> LoadSvg(std::string_view Data, const std::string& Name) {
  GError* error = nullptr;
  RsvgHandle* handle = rsvg_handle_new_from_data(
      reinterpret_cast<const guint8*>(Data.data()), Data.size(), &error);
  if (handle == nullptr) {
    std::string reason = "invalid SVG data";
    if (error != nullptr) {
      reason += std::string(" (") + error->message + ")";
      g_error_free(error);
    }
    Fail(Name, reason);
  }
  auto state = std::make_unique<TSvgGraphic::Impl>();
  state->Handle = handle;
  state->Key = Digest(Data) + "-svg";
  rsvg_handle_set_dpi(handle, 96.0);

  double width = 0.0;
  double height = 0.0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height)) {
    gboolean hasWidth = FALSE;
    gboolean hasHeight = FALSE;
    gboolean hasViewBox = FALSE;
    RsvgLength w{};
    RsvgLength h{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &w, &hasHeight, &h, &hasViewBox,
                                         &viewBox);
    if (!hasViewBox) {
      Fail(Name, "the SVG has neither a width and height in absolute units nor a viewBox "
                 "to take its size from");
    }
    width = viewBox.width;
    height = viewBox.height;
  }
  const int64_t w = NaturalPixels(width);
  const int64_t h = NaturalPixels(height);
  if (w <= 0 || h <= 0) Fail(Name, "the SVG has an empty size");
  if (w > TSvgGraphic::MaxSide || h > TSvgGraphic::MaxSide) {
    Fail(Name, "the SVG's size " + std::to_string(w) + " x " + std::to_string(h) +
                   " pixels is too large (at most " + std::to_string(TSvgGraphic::MaxSide) +
                   " per side)");
  }
  state->Width = static_cast<int32_t>(w);
  state->Height = static_cast<int32_t>(h);
  return TGraphicFactory::Svg(std::move(state));
}

} // namespace

// ---------------------------------------------------------------------------
// Picture objects

TGraphic::~TGraphic() = default;

double TGraphic::ResolutionX() const { return 0.0; }

double TGraphic::ResolutionY() const { return 0.0; }

TRaster::~TRaster() {
  for (const TReduced& reduced : Reduced) cairo_surface_destroy(reduced.Surface);
  if (Colours != nullptr) cairo_surface_destroy(Colours);
  if (Mask != nullptr) cairo_surface_destroy(Mask);
  if (Surface != nullptr) cairo_surface_destroy(Surface);
  if (!Key.empty()) {
    const std::lock_guard<std::mutex> lock(RasterCacheMutex());
    auto found = RasterCache().find(Key);
    if (found != RasterCache().end() && found->second.expired()) RasterCache().erase(found);
  }
}

namespace {

// The matrix from picture space (the upright picture, one unit per pixel) to
// the stored pixels of Width x Height, for an EXIF orientation.
cairo_matrix_t OrientationMatrix(int Orientation, double Width, double Height) {
  cairo_matrix_t m;
  switch (Orientation) {
  case 2: cairo_matrix_init(&m, -1, 0, 0, 1, Width, 0); break;       // mirrored left to right
  case 3: cairo_matrix_init(&m, -1, 0, 0, -1, Width, Height); break; // half turn
  case 4: cairo_matrix_init(&m, 1, 0, 0, -1, 0, Height); break;      // mirrored top to bottom
  case 5: cairo_matrix_init(&m, 0, 1, 1, 0, 0, 0); break;            // transposed
  case 6: cairo_matrix_init(&m, 0, -1, 1, 0, 0, Height); break;      // stored a quarter turn left
  case 7: cairo_matrix_init(&m, 0, -1, -1, 0, Width, Height); break; // transversed
  case 8: cairo_matrix_init(&m, 0, 1, -1, 0, Width, 0); break;       // stored a quarter turn right
  default: cairo_matrix_init_identity(&m); break;
  }
  return m;
}

} // namespace

TBitmapGraphic::TBitmapGraphic(std::unique_ptr<Impl> State) : impl_(std::move(State)) {}

TBitmapGraphic::TBitmapGraphic(int32_t Width, int32_t Height, const std::vector<uint32_t>& Pixels)
    : impl_(std::make_unique<Impl>()) {
  const std::string name = "pixels in memory";
  CheckRasterSize(name, Width, Height);
  if (Pixels.size() != static_cast<size_t>(Width) * static_cast<size_t>(Height)) {
    Fail(name, std::to_string(Pixels.size()) + " pixels given for a picture of " +
                   std::to_string(Width) + " x " + std::to_string(Height));
  }
  auto raster = std::make_shared<TRaster>();
  raster->Surface = NewSurface(name, Width, Height);
  cairo_surface_flush(raster->Surface);
  unsigned char* data = cairo_image_surface_get_data(raster->Surface);
  const int stride = cairo_image_surface_get_stride(raster->Surface);
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int32_t x = 0; x < Width; ++x) {
      row[x] = Premultiply(Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) +
                                  static_cast<size_t>(x)]);
    }
  }
  cairo_surface_mark_dirty(raster->Surface);
  impl_->Raster = std::move(raster);
}

TBitmapGraphic::~TBitmapGraphic() = default;

int32_t TBitmapGraphic::Width() const {
  const TRaster& r = *impl_->Raster;
  return r.Turned() ? r.StoredHeight() : r.StoredWidth();
}

int32_t TBitmapGraphic::Height() const {
  const TRaster& r = *impl_->Raster;
  return r.Turned() ? r.StoredWidth() : r.StoredHeight();
}

double TBitmapGraphic::ResolutionX() const {
  const TRaster& r = *impl_->Raster;
  return r.Turned() ? r.ResolutionY : r.ResolutionX;
}

double TBitmapGraphic::ResolutionY() const {
  const TRaster& r = *impl_->Raster;
  return r.Turned() ? r.ResolutionX : r.ResolutionY;
}

uint32_t TBitmapGraphic::Pixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  const TRaster& r = *impl_->Raster;
  const cairo_matrix_t m = OrientationMatrix(r.Orientation, r.StoredWidth(), r.StoredHeight());
  double sx = X + 0.5, sy = Y + 0.5;
  cairo_matrix_transform_point(&m, &sx, &sy);
  const int storedX = std::clamp(static_cast<int>(std::floor(sx)), 0, r.StoredWidth() - 1);
  const int storedY = std::clamp(static_cast<int>(std::floor(sy)), 0, r.StoredHeight() - 1);
  // No cairo_surface_flush here: nothing draws into a loaded picture, and a flush
  // would drop the data attached for vector targets (its JPEG bytes, its identity).
  const unsigned char* data = cairo_image_surface_get_data(r.Surface);
  const int stride = cairo_image_surface_get_stride(r.Surface);
  const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(storedY) * stride);
  if (cairo_image_surface_get_format(r.Surface) == CAIRO_FORMAT_RGB24) return 0xFF000000u | row[storedX];
  return Unpremultiply(row[storedX]);
}

TSvgGraphic::TSvgGraphic(std::unique_ptr<Impl> State) : impl_(std::move(State)) {}

TSvgGraphic::~TSvgGraphic() = default;

int32_t TSvgGraphic::Width() const { return impl_->Width; }

int32_t TSvgGraphic::Height() const { return impl_->Height; }

// ---------------------------------------------------------------------------
// Loading

std::unique_ptr<TGraphic> LoadGraphicFromMemory(const void* Data, size_t Size,
                                                const std::string& NameForErrors) {
  if (Data == nullptr || Size == 0) Fail(NameForErrors, "no data (empty)");
  if (Size > MaxGraphicDataSize) {
    Fail(NameForErrors, "the data is too large (" + std::to_string(Size) + " bytes, at most " +
                            std::to_string(MaxGraphicDataSize) + ")");
  }
  const std::string_view data(static_cast<const char*>(Data), Size);
  const TKind kind = DetectKind(data);
  if (kind == TKind::Png || kind == TKind::Jpeg) {
    // The same bytes decode to the same pixels: share them while they are held.
    const std::string key = Digest(data);
    if (std::shared_ptr<TRaster> raster = CachedRaster(key)) return TGraphicFactory::Bitmap(std::move(raster));
    return kind == TKind::Png ? LoadPng(data, NameForErrors, key) : LoadJpeg(data, NameForErrors, key);
  }
  switch (kind) {
  case TKind::Png:
  case TKind::Jpeg:
    break;
  case TKind::Svg:
    return LoadSvg(data, NameForErrors);
  case TKind::Unknown:
    break;
  }
  Fail(NameForErrors, "not a PNG, JPEG or SVG picture");
}

std::unique_ptr<TGraphic> LoadGraphicFromFile(const std::string& Path) {
  TFileIdentity before;
  const bool known = IdentityOf(Path, before);
  if (known) {
    const std::string key = RememberedDigest(Path, before);
    if (!key.empty()) {
      if (std::shared_ptr<TRaster> raster = CachedRaster(key)) return TGraphicFactory::Bitmap(std::move(raster));
    }
  }
  const std::string data = ReadPictureFile(Path);
  if (data.empty()) Fail(Path, "the file is empty");
  std::unique_ptr<TGraphic> graphic = LoadGraphicFromMemory(data.data(), data.size(), Path);
  // Remembered only when the file did not change while it was read.
  TFileIdentity after;
  if (known && IdentityOf(Path, after) && after == before) {
    if (const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(graphic.get()))
      RememberDigest(Path, before, bitmap->Backend().Raster->Key);
  }
  return graphic;
}

// ---------------------------------------------------------------------------
// Drawing

namespace {

// Restores the Cairo state saved at construction, also when drawing throws.
class TCairoSave {
public:
  explicit TCairoSave(cairo_t* Cairo) : cairo_(Cairo) { cairo_save(cairo_); }
  ~TCairoSave() { cairo_restore(cairo_); }
  TCairoSave(const TCairoSave&) = delete;
  TCairoSave& operator=(const TCairoSave&) = delete;

private:
  cairo_t* cairo_;
};


// libjpeg's compressor, with the same error handling as the decoder: the state
// lives outside the frame that calls setjmp.
struct TJpegEncoder {
  jpeg_compress_struct Info;
  TJpegErrors Errors;
  bool Created = false;
  unsigned char* Output = nullptr; // malloc'd by libjpeg
  unsigned long OutputSize = 0;
  std::vector<unsigned char> Row;
};

bool EncodeJpegRows(cairo_surface_t* Surface, int Quality, TJpegEncoder& State) {
  State.Info.err = jpeg_std_error(&State.Errors.Public);
  State.Errors.Public.error_exit = JpegErrorExit;
  State.Errors.Public.emit_message = [](j_common_ptr, int) {};
  State.Errors.Public.output_message = JpegOutputMessage;
  if (setjmp(State.Errors.Jump) != 0) return false;
  jpeg_create_compress(&State.Info);
  State.Created = true;
  jpeg_mem_dest(&State.Info, &State.Output, &State.OutputSize);
  const int width = cairo_image_surface_get_width(Surface);
  const int height = cairo_image_surface_get_height(Surface);
  State.Info.image_width = static_cast<JDIMENSION>(width);
  State.Info.image_height = static_cast<JDIMENSION>(height);
  State.Info.input_components = 3;
  State.Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&State.Info);
  jpeg_set_quality(&State.Info, Quality, TRUE);
  jpeg_start_compress(&State.Info, TRUE);
  cairo_surface_flush(Surface);
  const unsigned char* pixels = cairo_image_surface_get_data(Surface);
  const int stride = cairo_image_surface_get_stride(Surface);
  while (State.Info.next_scanline < State.Info.image_height) {
    const auto* in = reinterpret_cast<const uint32_t*>(pixels + static_cast<ptrdiff_t>(State.Info.next_scanline) * stride);
    for (int x = 0; x < width; ++x) {
      State.Row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(in[x] >> 16);
      State.Row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(in[x] >> 8);
      State.Row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>(in[x]);
    }
    JSAMPROW row = State.Row.data();
    jpeg_write_scanlines(&State.Info, &row, 1);
  }
  jpeg_finish_compress(&State.Info);
  return true;
}

// Attaches a JPEG encoding of an opaque Surface as its data for vector targets, so
// a photo with fewer pixels is still embedded as a photo. Without it (out of
// memory) the target compresses the pixels itself.
void AttachJpeg(cairo_surface_t* Surface) {
  auto state = std::make_unique<TJpegEncoder>();
  state->Row.resize(static_cast<size_t>(cairo_image_surface_get_width(Surface)) * 3);
  const bool ok = EncodeJpegRows(Surface, 90, *state);
  if (state->Created) jpeg_destroy_compress(&state->Info);
  if (ok && state->Output != nullptr &&
      cairo_surface_set_mime_data(Surface, CAIRO_MIME_TYPE_JPEG, state->Output, state->OutputSize, std::free,
                                  state->Output) == CAIRO_STATUS_SUCCESS) {
    return;
  }
  std::free(state->Output);
}

// The stored pixels of Raster at Width x Height (fewer than it has), made once per size.
cairo_surface_t* ReducedSurface(TRaster& Raster, int Width, int Height) {
  for (const TRaster::TReduced& reduced : Raster.Reduced)
    if (reduced.Width == Width && reduced.Height == Height) return reduced.Surface;
  const unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  cairo_surface_get_mime_data(Raster.Surface, CAIRO_MIME_TYPE_JPEG, &jpeg, &jpegSize);
  const bool opaque = cairo_image_surface_get_format(Raster.Surface) == CAIRO_FORMAT_RGB24;
  cairo_surface_t* surface =
      cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, Width, Height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr; // drawn with all its pixels instead
  }
  cairo_t* cairo = cairo_create(surface);
  cairo_scale(cairo, static_cast<double>(Width) / Raster.StoredWidth(),
              static_cast<double>(Height) / Raster.StoredHeight());
  cairo_set_source_surface(cairo, Raster.Surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
  cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cairo);
  cairo_destroy(cairo);
  cairo_surface_flush(surface);
  if (jpeg != nullptr) AttachJpeg(surface);
  if (!Raster.Key.empty())
    SetUniqueId(surface, Raster.Key + "@" + std::to_string(Width) + "x" + std::to_string(Height));
  // A handful of sizes per picture is plenty; the oldest goes (the target keeps
  // its own reference while it still needs it).
  if (Raster.Reduced.size() >= 8) {
    cairo_surface_destroy(Raster.Reduced.front().Surface);
    Raster.Reduced.erase(Raster.Reduced.begin());
  }
  Raster.Reduced.push_back({Width, Height, surface});
  return surface;
}

// The pixels to embed for Raster drawn Width x Height device pixels (upright),
// within Limits: Raster's own surface, or a reduced copy.
cairo_surface_t* SurfaceWithin(TRaster& Raster, double Width, double Height, const TPictureLimits& Limits) {
  if (Limits.MaxDpi <= 0 || Limits.DpiX <= 0 || Limits.DpiY <= 0) return Raster.Surface;
  // Upright pixels wanted across and down: the rectangle's inches at MaxDpi.
  const double wantAcross = std::ceil(Width / Limits.DpiX * Limits.MaxDpi - 1e-9);
  const double wantDown = std::ceil(Height / Limits.DpiY * Limits.MaxDpi - 1e-9);
  const double storedAcross = Raster.Turned() ? Raster.StoredHeight() : Raster.StoredWidth();
  const double storedDown = Raster.Turned() ? Raster.StoredWidth() : Raster.StoredHeight();
  const int across = static_cast<int>(std::clamp(wantAcross, 1.0, storedAcross));
  const int down = static_cast<int>(std::clamp(wantDown, 1.0, storedDown));
  if (across == storedAcross && down == storedDown) return Raster.Surface;
  cairo_surface_t* reduced =
      Raster.Turned() ? ReducedSurface(Raster, down, across) : ReducedSurface(Raster, across, down);
  return reduced != nullptr ? reduced : Raster.Surface;
}

// Gives Raster its Colours and Mask when every pixel of its ARGB32 surface is
// fully opaque or fully clear (a logo on a clear ground, say); false otherwise.
// Why: Cairo's PDF writer reads every pixel of an image with an alpha channel
// again each time the image is drawn, looking for partly clear ones (it keeps no
// verdict between uses), which costs most of the time of a page of logos. Drawn
// as its colours through a one-bit mask, the picture needs no such reading, and
// the document holds the same image with the same one-bit soft mask, once.
bool SplitClearAndOpaque(TRaster& Raster) {
  if (Raster.SplitTried) return Raster.Colours != nullptr;
  Raster.SplitTried = true;
  if (cairo_image_surface_get_format(Raster.Surface) != CAIRO_FORMAT_ARGB32) return false;
  const int width = Raster.StoredWidth(), height = Raster.StoredHeight();
  const unsigned char* data = cairo_image_surface_get_data(Raster.Surface);
  const int stride = cairo_image_surface_get_stride(Raster.Surface);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const uint32_t alpha = row[x] >> 24;
      if (alpha != 0 && alpha != 0xFF) return false;
    }
  }
  cairo_surface_t* colours = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
  if (cairo_surface_status(colours) != CAIRO_STATUS_SUCCESS || cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(colours);
    cairo_surface_destroy(mask);
    return false; // drawn as it is, only slower
  }
  cairo_surface_flush(colours);
  cairo_surface_flush(mask);
  unsigned char* colourData = cairo_image_surface_get_data(colours);
  unsigned char* maskData = cairo_image_surface_get_data(mask);
  const int colourStride = cairo_image_surface_get_stride(colours);
  const int maskStride = cairo_image_surface_get_stride(mask);
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    auto* out = reinterpret_cast<uint32_t*>(colourData + static_cast<ptrdiff_t>(y) * colourStride);
    // A1 packs 32 pixels into each native 32-bit word, the first in the low bit
    // on little-endian machines and in the high bit on big-endian ones.
    auto* bits = reinterpret_cast<uint32_t*>(maskData + static_cast<ptrdiff_t>(y) * maskStride);
    std::fill(bits, bits + (width + 31) / 32, 0u);
    for (int x = 0; x < width; ++x) {
      out[x] = in[x] & 0x00FFFFFFu;
      if ((in[x] >> 24) == 0) continue;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      bits[x / 32] |= 0x80000000u >> (x % 32);
#else
      bits[x / 32] |= 1u << (x % 32);
#endif
    }
  }
  cairo_surface_mark_dirty(colours);
  cairo_surface_mark_dirty(mask);
  if (!Raster.Key.empty()) {
    SetUniqueId(colours, Raster.Key + "/colours");
    SetUniqueId(mask, Raster.Key + "/mask");
  }
  Raster.Colours = colours;
  Raster.Mask = mask;
  return true;
}

// Renders Svg into Cairo's picture space (one unit per natural pixel).
void RenderSvg(const TSvgGraphic::Impl& Svg, cairo_t* Cairo) {
  const RsvgRectangle viewport{0.0, 0.0, static_cast<double>(Svg.Width), static_cast<double>(Svg.Height)};
  GError* error = nullptr;
  if (!rsvg_handle_render_document(Svg.Handle, Cairo, &viewport, &error)) {
    std::string reason = "Cannot draw SVG picture";
    if (error != nullptr) {
      reason += std::string(": ") + error->message;
      g_error_free(error);
    }
    throw EGraphicError(reason);
  }
}

// Svg's drawing recorded once, for PDF targets: drawn from the recording, the
// document holds the drawing once as a form and uses it wherever the picture
// appears, instead of repeating every path per use. The recording carries the
// digest of the document's bytes, so the PDF also shares it between loads of
// the same file. (SVG targets get the paths drawn directly: Cairo's SVG
// writer never gives back some of the recordings it draws from, even when
// each page draws one recording per picture that the page holds until it is
// written.) Null when Cairo cannot record (the picture is then drawn directly).
cairo_surface_t* SvgRecording(const TSvgGraphic::Impl& Svg) {
  if (Svg.Recording != nullptr) return Svg.Recording;
  const cairo_rectangle_t extents{0.0, 0.0, static_cast<double>(Svg.Width), static_cast<double>(Svg.Height)};
  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
  cairo_t* cairo = cairo_create(recording);
  try {
    RenderSvg(Svg, cairo);
  } catch (...) {
    cairo_destroy(cairo);
    cairo_surface_destroy(recording);
    throw;
  }
  const cairo_status_t status = cairo_status(cairo);
  cairo_destroy(cairo);
  if (status != CAIRO_STATUS_SUCCESS || cairo_surface_status(recording) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(recording);
    return nullptr;
  }
  SetUniqueId(recording, Svg.Key);
  Svg.Recording = recording;
  return recording;
}

} // namespace

void PaintGraphic(cairo_t* Cairo, const TGraphic& Graphic, double X, double Y, double Width,
                  double Height, const TPictureLimits& Limits) {
  if (Cairo == nullptr) return;
  if (!std::isfinite(X) || !std::isfinite(Y) || !std::isfinite(Width) ||
      !std::isfinite(Height) || Width <= 0.0 || Height <= 0.0) {
    return; // an empty (or inverted) rectangle shows nothing
  }
  const double naturalWidth = Graphic.Width();
  const double naturalHeight = Graphic.Height();
  if (naturalWidth <= 0.0 || naturalHeight <= 0.0) return;

  TCairoSave saved(Cairo);
  // Picture space: one unit per natural pixel, the rectangle's top-left at the origin.
  cairo_translate(Cairo, X, Y);
  cairo_scale(Cairo, Width / naturalWidth, Height / naturalHeight);
  cairo_rectangle(Cairo, 0, 0, naturalWidth, naturalHeight);

  if (const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(&Graphic)) {
    TRaster& raster = *bitmap->Backend().Raster;
    const bool pixelTarget = DrawsPixels(Cairo);
    cairo_surface_t* surface = pixelTarget ? raster.Surface : SurfaceWithin(raster, Width, Height, Limits);
    // From picture space to the stored pixels (upright first), then to the
    // pixels of a reduced copy.
    cairo_matrix_t matrix = OrientationMatrix(raster.Orientation, raster.StoredWidth(), raster.StoredHeight());
    if (surface != raster.Surface) {
      cairo_matrix_t reduce;
      cairo_matrix_init_scale(&reduce,
                              static_cast<double>(cairo_image_surface_get_width(surface)) / raster.StoredWidth(),
                              static_cast<double>(cairo_image_surface_get_height(surface)) / raster.StoredHeight());
      cairo_matrix_multiply(&matrix, &matrix, &reduce);
    }
    const bool natural = Width == naturalWidth && Height == naturalHeight;
    // At natural size every picture pixel lands on one device pixel; scaled, the
    // picture is smoothed. On pixel targets the edge pixels are repeated outward so
    // a scaled picture does not fade into the background along its border.
    const cairo_filter_t filter = natural ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD;
    if (surface == raster.Surface && cairo_surface_get_type(cairo_get_target(Cairo)) == CAIRO_SURFACE_TYPE_PDF &&
        SplitClearAndOpaque(raster)) {
      cairo_pattern_t* colours = cairo_pattern_create_for_surface(raster.Colours);
      cairo_pattern_t* mask = cairo_pattern_create_for_surface(raster.Mask);
      for (cairo_pattern_t* part : {colours, mask}) {
        cairo_pattern_set_matrix(part, &matrix);
        cairo_pattern_set_filter(part, filter);
      }
      // The mask ends with the picture, so no clip is needed: a clip would cost
      // the writer a clipping path and four numbers on every use.
      cairo_new_path(Cairo);
      cairo_set_source(Cairo, colours);
      cairo_mask(Cairo, mask);
      cairo_pattern_destroy(colours);
      cairo_pattern_destroy(mask);
      return;
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_pattern_set_filter(pattern, filter);
    cairo_set_source(Cairo, pattern);
    cairo_pattern_destroy(pattern);
    if (pixelTarget) {
      cairo_pattern_set_extend(cairo_get_source(Cairo), CAIRO_EXTEND_PAD);
      cairo_fill(Cairo);
    } else {
      // A vector target draws the picture exactly over its rectangle: painted,
      // it needs no clipping path, which the writer would repeat on every use.
      cairo_new_path(Cairo);
      cairo_paint(Cairo);
    }
    return;
  }
  if (const auto* svg = dynamic_cast<const TSvgGraphic*>(&Graphic)) {
    cairo_clip(Cairo);
    if (cairo_surface_get_type(cairo_get_target(Cairo)) == CAIRO_SURFACE_TYPE_PDF) {
      if (cairo_surface_t* recording = SvgRecording(svg->Backend())) {
        cairo_set_source_surface(Cairo, recording, 0.0, 0.0);
        cairo_paint(Cairo);
        return;
      }
    }
    RenderSvg(svg->Backend(), Cairo);
    return;
  }
  cairo_new_path(Cairo);
  throw EGraphicError("Cannot draw a picture of a kind that is neither raster nor SVG");
}

} // namespace mivora
