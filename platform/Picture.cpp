#include "Picture.h"

#include "FileContents_p.h"
#include "Picture_p.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

// libjpeg's header needs size_t and FILE declared before it.
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace mivora {

// ---------------------------------------------------------------------------
// Backend state

// An ARGB32 image surface (premultiplied alpha), owned.
struct TBitmapGraphic::Impl {
  cairo_surface_t* Surface = nullptr;
  ~Impl() {
    if (Surface != nullptr) cairo_surface_destroy(Surface);
  }
};

// A loaded SVG document with its natural size, owned.
struct TSvgGraphic::Impl {
  RsvgHandle* Handle = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  ~Impl() {
    if (Handle != nullptr) g_object_unref(Handle);
  }
};

// Builds the picture objects; the only code that may call their private constructors.
class TGraphicFactory {
public:
  static std::unique_ptr<TGraphic> Bitmap(std::unique_ptr<TBitmapGraphic::Impl> State) {
    return std::unique_ptr<TGraphic>(new TBitmapGraphic(std::move(State)));
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

// A new ARGB32 surface of the given size; raises when Cairo cannot make it.
cairo_surface_t* NewSurface(const std::string& Name, int32_t Width, int32_t Height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, Width, Height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    const std::string reason = cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    Fail(Name, "cannot hold the pixels (" + reason + ")");
  }
  return surface;
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

uint32_t BigEndian32(const unsigned char* P) {
  return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | uint32_t{P[3]};
}

std::unique_ptr<TGraphic> LoadPng(std::string_view Data, const std::string& Name) {
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
  auto state = std::make_unique<TBitmapGraphic::Impl>();
  if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32) {
    state->Surface = surface;
  } else {
    // Other layouts (opaque, 16-bit) are converted once, so drawing and reading
    // pixels deal with a single format.
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    cairo_surface_t* argb = nullptr;
    try {
      argb = NewSurface(Name, width, height);
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
  return TGraphicFactory::Bitmap(std::move(state));
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

  State.Surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(State.Width),
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

std::unique_ptr<TGraphic> LoadJpeg(std::string_view Data, const std::string& Name) {
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
  auto bitmap = std::make_unique<TBitmapGraphic::Impl>();
  bitmap->Surface = state->Surface;
  return TGraphicFactory::Bitmap(std::move(bitmap));
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

TBitmapGraphic::TBitmapGraphic(std::unique_ptr<Impl> State) : impl_(std::move(State)) {}

TBitmapGraphic::TBitmapGraphic(int32_t Width, int32_t Height, const std::vector<uint32_t>& Pixels)
    : impl_(std::make_unique<Impl>()) {
  const std::string name = "pixels in memory";
  CheckRasterSize(name, Width, Height);
  if (Pixels.size() != static_cast<size_t>(Width) * static_cast<size_t>(Height)) {
    Fail(name, std::to_string(Pixels.size()) + " pixels given for a picture of " +
                   std::to_string(Width) + " x " + std::to_string(Height));
  }
  impl_->Surface = NewSurface(name, Width, Height);
  cairo_surface_flush(impl_->Surface);
  unsigned char* data = cairo_image_surface_get_data(impl_->Surface);
  const int stride = cairo_image_surface_get_stride(impl_->Surface);
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int32_t x = 0; x < Width; ++x) {
      row[x] = Premultiply(Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) +
                                  static_cast<size_t>(x)]);
    }
  }
  cairo_surface_mark_dirty(impl_->Surface);
}

TBitmapGraphic::~TBitmapGraphic() = default;

int32_t TBitmapGraphic::Width() const { return cairo_image_surface_get_width(impl_->Surface); }

int32_t TBitmapGraphic::Height() const { return cairo_image_surface_get_height(impl_->Surface); }

uint32_t TBitmapGraphic::Pixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  cairo_surface_flush(impl_->Surface);
  const unsigned char* data = cairo_image_surface_get_data(impl_->Surface);
  const int stride = cairo_image_surface_get_stride(impl_->Surface);
  const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(Y) * stride);
  return Unpremultiply(row[X]);
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
  switch (DetectKind(data)) {
  case TKind::Png:
    return LoadPng(data, NameForErrors);
  case TKind::Jpeg:
    return LoadJpeg(data, NameForErrors);
  case TKind::Svg:
    return LoadSvg(data, NameForErrors);
  case TKind::Unknown:
    break;
  }
  Fail(NameForErrors, "not a PNG, JPEG or SVG picture");
}

std::unique_ptr<TGraphic> LoadGraphicFromFile(const std::string& Path) {
  const std::string data = ReadPictureFile(Path);
  if (data.empty()) Fail(Path, "the file is empty");
  return LoadGraphicFromMemory(data.data(), data.size(), Path);
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

} // namespace

void PaintGraphic(cairo_t* Cairo, const TGraphic& Graphic, double X, double Y, double Width,
                  double Height) {
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
    cairo_set_source_surface(Cairo, bitmap->Backend().Surface, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(Cairo);
    const bool natural = Width == naturalWidth && Height == naturalHeight;
    // At natural size every picture pixel lands on one device pixel; scaled, the
    // picture is smoothed. On pixel targets the edge pixels are repeated outward so
    // a scaled picture does not fade into the background along its border.
    cairo_pattern_set_filter(pattern, natural ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    if (cairo_surface_get_type(cairo_get_target(Cairo)) == CAIRO_SURFACE_TYPE_IMAGE) {
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    }
    cairo_fill(Cairo);
    return;
  }
  if (const auto* svg = dynamic_cast<const TSvgGraphic*>(&Graphic)) {
    cairo_clip(Cairo);
    const RsvgRectangle viewport{0.0, 0.0, naturalWidth, naturalHeight};
    GError* error = nullptr;
    if (!rsvg_handle_render_document(svg->Backend().Handle, Cairo, &viewport, &error)) {
      std::string reason = "Cannot draw SVG picture";
      if (error != nullptr) {
        reason += std::string(": ") + error->message;
        g_error_free(error);
      }
      throw EGraphicError(reason);
    }
    return;
  }
  cairo_new_path(Cairo);
  throw EGraphicError("Cannot draw a picture of a kind that is neither raster nor SVG");
}

} // namespace mivora
