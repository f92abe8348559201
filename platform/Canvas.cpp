#include "Canvas.h"

#include "Barcode_p.h"
#include "DeviceContext_p.h"
#include "Exceptions.h"
#include "Numbers.h"
#include "Picture_p.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <tuple>

namespace mivora {

// ---------------------------------------------------------------------------
// TFont

TFont::TFont() = default;
TFont::~TFont() = default;

// Setting a font attribute to the value it has changes nothing: the text code
// keeps what it resolved for the font (cells set every attribute before they draw).
void TFont::SetHeight(int32_t Value) noexcept {
  if (height_ == Value) return;
  height_ = Value;
  changed_ = true;
}

void TFont::SetPitch(uint8_t Value) noexcept {
  if (pitch_ == Value) return;
  pitch_ = Value;
  changed_ = true;
}

void TFont::SetStyle(uint8_t Value) noexcept {
  if (style_ == Value) return;
  style_ = Value;
  changed_ = true;
}

void TFont::SetCharset(uint8_t Value) noexcept {
  if (charset_ == Value) return;
  charset_ = Value;
  changed_ = true;
}

void TFont::SetName(std::string Value) {
  if (Value.size() > 31) Value.resize(31);
  if (name_ == Value) return;
  name_ = std::move(Value);
  changed_ = true;
}

HFONT TFont::Handle() {
  if (!handle_) handle_ = std::make_unique<TFontObject>(LOGFONTA{});
  if (changed_) {
    LOGFONTA record;
    record.lfHeight = height_;
    record.lfWeight = (style_ & FONT_BOLD) != 0 ? FW_BOLD : FW_NORMAL;
    record.lfItalic = (style_ & FONT_ITALIC) != 0 ? 1 : 0;
    record.lfUnderline = (style_ & FONT_UNDERLINE) != 0 ? 1 : 0;
    record.lfStrikeOut = (style_ & FONT_STRIKEOUT) != 0 ? 1 : 0;
    record.lfCharSet = charset_;
    record.lfPitchAndFamily = pitch_;
    const size_t length = std::min(name_.size(), sizeof(record.lfFaceName) - 1);
    std::copy_n(name_.data(), length, record.lfFaceName);
    record.lfFaceName[length] = '\0';
    // The object keeps its identity, so a device context that has it selected
    // never holds a dangling font; whatever the text code cached for the old
    // record is dropped.
    handle_->LogFont = record;
    if (handle_->Cache != nullptr && handle_->FreeCache != nullptr) handle_->FreeCache(handle_->Cache);
    handle_->Cache = nullptr;
    changed_ = false;
  }
  return handle_.get();
}

// ---------------------------------------------------------------------------
// Drawing helpers

namespace {

// Cairo works in 24.8 fixed point; coordinates far outside any page are pulled
// in so that they cannot wrap around.
constexpr int64_t CoordinateLimit = 4'000'000;

double Clamped(int64_t Value) {
  return static_cast<double>(std::clamp<int64_t>(Value, -CoordinateLimit, CoordinateLimit));
}

void SetSourceColor(cairo_t* Cairo, TColor Color) {
  cairo_set_source_rgb(Cairo, static_cast<double>(Color & 0xFF) / 255.0,
                       static_cast<double>((Color >> 8) & 0xFF) / 255.0,
                       static_cast<double>((Color >> 16) & 0xFF) / 255.0);
}

// Brackets one primitive's changes to the Cairo state.
class TCairoState {
public:
  TCairoState(const TDeviceContext& DC) : cairo_(DC.Cairo) {
    cairo_save(cairo_);
    if (DC.Raster) cairo_set_antialias(cairo_, CAIRO_ANTIALIAS_NONE);
  }
  ~TCairoState() { cairo_restore(cairo_); }
  TCairoState(const TCairoState&) = delete;
  TCairoState& operator=(const TCairoState&) = delete;

private:
  cairo_t* cairo_;
};

// Fills the whole pixels [Left, Right) x [Top, Bottom).
void FillPixels(cairo_t* Cairo, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom) {
  if (Right <= Left || Bottom <= Top) return;
  const double left = Clamped(Left), top = Clamped(Top);
  cairo_rectangle(Cairo, left, top, Clamped(Right) - left, Clamped(Bottom) - top);
  cairo_fill(Cairo);
}

// On and off run lengths of a dashed style, in units of the dash module.
std::span<const int64_t> DashPattern(uint8_t Style) {
  static constexpr std::array<int64_t, 2> dash{6, 2};
  static constexpr std::array<int64_t, 2> dot{1, 1};
  static constexpr std::array<int64_t, 4> dashDot{3, 2, 1, 2};
  static constexpr std::array<int64_t, 6> dashDotDot{3, 1, 1, 1, 1, 1};
  switch (Style) {
  case PEN_DASH: return dash;
  case PEN_DOT: return dot;
  case PEN_DASHDOT: return dashDot;
  case PEN_DASHDOTDOT: return dashDotDot;
  default: return {};
  }
}

bool IsDashed(uint8_t Style) { return !DashPattern(Style).empty(); }

// The dash module in pixels: three dots of a 96 dpi screen at the device's
// resolution, and never less than the pen width, so a dashed line looks alike
// on every target.
int64_t DashModule(int32_t Dpi, int32_t PenWidth) {
  const int64_t screenDot = std::max<int64_t>(1, std::llround(Dpi / 96.0));
  return std::max<int64_t>(3 * screenDot, PenWidth);
}

// The pixels of a pen band of Width across a line through pixel Position:
// [Position - a, Position - a + Width).
int64_t BandStart(int64_t Position, int32_t Width) { return Position - (Width - 1) / 2; }

// Draws the pixels Along from the start pixel Start in direction Step (+1 or
// -1), Count of them, across [Across, Across + Width), dashed as Style with the
// pattern starting at Phase pixels. Horizontal when Horizontal is true.
// Returns the phase after the last pixel, so a frame's dashes run on around it.
int64_t DrawRun(cairo_t* Cairo, bool Horizontal, int64_t Start, int Step, int64_t Count,
                int64_t Across, int32_t Width, uint8_t Style, int64_t Module, int64_t Phase) {
  auto fill = [&](int64_t first, int64_t n) {
    // Pixels first, first + Step, ... (n of them) as one rectangle.
    const int64_t low = Step > 0 ? first : first - n + 1;
    if (Horizontal)
      FillPixels(Cairo, low, Across, low + n, Across + Width);
    else
      FillPixels(Cairo, Across, low, Across + Width, low + n);
  };
  if (Count <= 0) return Phase;
  const std::span<const int64_t> pattern = DashPattern(Style);
  if (pattern.empty()) {
    fill(Start, Count);
    return Phase + Count;
  }
  int64_t period = 0;
  for (int64_t part : pattern) period += part * Module;
  // Lines longer than any page are cut to what can be seen.
  Count = std::min<int64_t>(Count, 2 * CoordinateLimit);
  int64_t done = 0;
  int64_t offset = Phase % period;
  while (done < Count) {
    // Find the run of the pattern that holds offset.
    int64_t runStart = 0;
    size_t index = 0;
    while (runStart + pattern[index] * Module <= offset) {
      runStart += pattern[index] * Module;
      index = (index + 1) % pattern.size();
    }
    const int64_t runLeft = runStart + pattern[index] * Module - offset;
    const int64_t n = std::min(runLeft, Count - done);
    if (index % 2 == 0) fill(Start + Step * done, n);
    done += n;
    offset = (offset + n) % period;
  }
  return Phase + Count;
}

std::string ColorText(TColor Color) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", static_cast<unsigned>(Color & 0xFFFFFF));
  return buffer;
}

std::string PenStyleText(uint8_t Style) {
  switch (Style) {
  case PEN_DASH: return "dash";
  case PEN_DOT: return "dot";
  case PEN_DASHDOT: return "dashdot";
  case PEN_DASHDOTDOT: return "dashdotdot";
  case PEN_CLEAR: return "clear";
  default: return "solid";
  }
}

// The pen as the recording target writes it: "pen solid 1 0x000000".
std::string PenText(const TDeviceContext& DC) {
  return "pen " + PenStyleText(DC.PenStyle) + " " + std::to_string(DC.PenWidth) + " " +
         ColorText(DC.PenColor);
}

// The brush as the recording target writes it: "brush solid 0xFFFFFF".
std::string BrushText(const TDeviceContext& DC) {
  return std::string("brush ") + (DC.BrushStyle == BRUSH_CLEAR ? "clear " : "solid ") +
         ColorText(DC.BrushColor);
}

} // namespace

// ---------------------------------------------------------------------------
// TCanvas

TCanvas::TCanvas(HDC DC) : dc_(DC) {}

TCanvas::~TCanvas() {
  if (dc_ != nullptr && dc_->Font == font_.Handle()) dc_->Font = nullptr;
}

HDC TCanvas::GetHandle() {
  FlushFigure();
  SelectPenAndBrush();
  dc_->Font = static_cast<TFontObject*>(font_.Handle());
  dc_->TextColor = font_.Color();
  return dc_;
}

void TCanvas::SelectPenAndBrush() {
  dc_->PenColor = pen_.Color();
  dc_->PenWidth = pen_.Width();
  dc_->PenStyle = pen_.Style();
  dc_->BrushColor = brush_.Color();
  dc_->BrushStyle = brush_.Style();
}

void TCanvas::CheckCanDraw(const char* Operation) const {
  if (dc_->Idle || dc_->Cairo == nullptr)
    throw EPrinterError(std::string("Cannot draw ") + Operation + ": no print job is open");
}

TPoint TCanvas::PenPos() const noexcept { return dc_->PenPos; }

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  dc_->PenPos = TPoint{X, Y};
  dc_->Record("MoveTo", {X, Y});
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  CheckCanDraw("LineTo");
  FlushFigure();
  SelectPenAndBrush();
  const TPoint from = dc_->PenPos;
  dc_->PenPos = TPoint{X, Y};
  if (dc_->Log != nullptr) dc_->Record("LineTo", {X, Y}, PenText(*dc_));
  if (dc_->PenStyle == PEN_CLEAR || (from.X == X && from.Y == Y)) return;

  const int32_t width = std::max<int32_t>(1, dc_->PenWidth);
  TCairoState state(*dc_);
  SetSourceColor(dc_->Cairo, dc_->PenColor);
  if (from.Y == Y) {
    const int step = X > from.X ? 1 : -1;
    DrawRun(dc_->Cairo, true, from.X, step, std::abs(int64_t{X} - from.X), BandStart(Y, width), width,
            dc_->PenStyle, DashModule(dc_->DpiX, width), 0);
  } else if (from.X == X) {
    const int step = Y > from.Y ? 1 : -1;
    DrawRun(dc_->Cairo, false, from.Y, step, std::abs(int64_t{Y} - from.Y), BandStart(X, width), width,
            dc_->PenStyle, DashModule(dc_->DpiY, width), 0);
  } else {
    // A slanted line runs between pixel centres and stops half a pixel short
    // of the end point, so the end pixel stays clear.
    const double x1 = Clamped(from.X) + 0.5, y1 = Clamped(from.Y) + 0.5;
    double x2 = Clamped(X) + 0.5, y2 = Clamped(Y) + 0.5;
    const double length = std::hypot(x2 - x1, y2 - y1);
    x2 -= (x2 - x1) / length * 0.5;
    y2 -= (y2 - y1) / length * 0.5;
    cairo_set_line_width(dc_->Cairo, width);
    cairo_set_line_cap(dc_->Cairo, CAIRO_LINE_CAP_BUTT);
    const std::span<const int64_t> pattern = DashPattern(dc_->PenStyle);
    if (!pattern.empty()) {
      const int64_t module = DashModule(std::max(dc_->DpiX, dc_->DpiY), width);
      std::array<double, 6> dashes{};
      for (size_t i = 0; i < pattern.size(); ++i) dashes[i] = static_cast<double>(pattern[i] * module);
      cairo_set_dash(dc_->Cairo, dashes.data(), static_cast<int>(pattern.size()), 0.0);
    }
    cairo_move_to(dc_->Cairo, x1, y1);
    cairo_line_to(dc_->Cairo, x2, y2);
    cairo_stroke(dc_->Cairo);
  }
}

void TCanvas::Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  CheckCanDraw("Rectangle");
  SelectPenAndBrush();
  if (dc_->Log != nullptr)
    dc_->Record("Rectangle", {Left, Top, Right, Bottom}, PenText(*dc_) + ", " + BrushText(*dc_));
  const int64_t left = std::min(Left, Right), right = std::max(Left, Right);
  const int64_t top = std::min(Top, Bottom), bottom = std::max(Top, Bottom);
  if (left == right || top == bottom) return;

  const int32_t width = std::max<int32_t>(1, dc_->PenWidth);
  // A band of width w about a frame pixel reaches a pixels outwards and
  // b inwards; for even widths the extra pixel lies inside.
  const int64_t a = (width - 1) / 2;
  const int64_t b = width - 1 - a;
  const bool solidFrame = dc_->PenStyle != PEN_CLEAR && !IsDashed(dc_->PenStyle);
  // A fill framed in its own colour (how solid edges are drawn as bars) covers
  // exactly the rectangle grown by the frame's outer reach, unless it is so
  // small that the frame's bands stick out across it: one figure instead of
  // five, which keeps vector pages small and quick to write.
  const bool bar = solidFrame && dc_->BrushStyle != BRUSH_CLEAR && dc_->BrushColor == dc_->PenColor &&
                   right - left > b - a && bottom - top > b - a;
  if (bar && AddToFigure(left - a, top - a, right + a, bottom + a, dc_->BrushColor)) return;
  if (dc_->PenStyle == PEN_CLEAR && dc_->BrushStyle != BRUSH_CLEAR &&
      AddToFigure(left, top, right, bottom, dc_->BrushColor))
    return;
  FlushFigure();

  TCairoState state(*dc_);
  cairo_t* cairo = dc_->Cairo;
  if (bar) {
    SetSourceColor(cairo, dc_->BrushColor);
    FillPixels(cairo, left - a, top - a, right + a, bottom + a);
    return;
  }
  if (dc_->BrushStyle != BRUSH_CLEAR) {
    SetSourceColor(cairo, dc_->BrushColor);
    FillPixels(cairo, left, top, right, bottom);
  }
  if (dc_->PenStyle == PEN_CLEAR) return;

  SetSourceColor(cairo, dc_->PenColor);
  if (!IsDashed(dc_->PenStyle)) {
    FillPixels(cairo, left - a, top - a, right + a, top + b + 1);
    FillPixels(cairo, left - a, bottom - 1 - b, right + a, bottom + a);
    FillPixels(cairo, left - a, top - a, left + b + 1, bottom + a);
    FillPixels(cairo, right - 1 - b, top - a, right + a, bottom + a);
    return;
  }
  // Dashed: once round clockwise from the top-left corner, the pattern running on.
  const int64_t moduleX = DashModule(dc_->DpiX, width), moduleY = DashModule(dc_->DpiY, width);
  const int64_t across = right - left, down = bottom - top;
  int64_t phase = 0;
  phase = DrawRun(cairo, true, left, 1, across, top - a, width, dc_->PenStyle, moduleX, phase);
  phase = DrawRun(cairo, false, top + 1, 1, down - 1, right - 1 - b, width, dc_->PenStyle, moduleY, phase);
  if (down > 1)
    phase = DrawRun(cairo, true, right - 2, -1, across - 1, bottom - 1 - b, width, dc_->PenStyle,
                    moduleX, phase);
  if (across > 1) DrawRun(cairo, false, bottom - 2, -1, down - 2, left - a, width, dc_->PenStyle, moduleY, phase);
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  CheckCanDraw("Draw");
  FlushFigure();
  if (Graphic == nullptr) return;
  const int32_t width = Graphic->Width(), height = Graphic->Height();
  dc_->Record("Draw", {X, Y, width, height});
  if (width <= 0 || height <= 0) return;
  if (const auto* barcode = dynamic_cast<const TBarcodeGraphic*>(Graphic)) {
    PaintBarcode(dc_->Cairo, *barcode, X, Y, width, height);
    return;
  }
  PaintGraphic(dc_->Cairo, *Graphic, X, Y, width, height, {dc_->MaxPictureDpi, dc_->DpiX, dc_->DpiY});
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  CheckCanDraw("StretchDraw");
  FlushFigure();
  if (Graphic == nullptr) return;
  dc_->Record("StretchDraw", {Rect.Left, Rect.Top, Rect.Right, Rect.Bottom});
  const int64_t width = int64_t{Rect.Right} - Rect.Left, height = int64_t{Rect.Bottom} - Rect.Top;
  if (width <= 0 || height <= 0) return;
  if (const auto* barcode = dynamic_cast<const TBarcodeGraphic*>(Graphic)) {
    PaintBarcode(dc_->Cairo, *barcode, Rect.Left, Rect.Top, static_cast<double>(width),
                 static_cast<double>(height));
    return;
  }
  PaintGraphic(dc_->Cairo, *Graphic, Rect.Left, Rect.Top, static_cast<double>(width),
               static_cast<double>(height), {dc_->MaxPictureDpi, dc_->DpiX, dc_->DpiY});
}

void TCanvas::BeginFigures() noexcept { ++figureDepth_; }

void TCanvas::EndFigures() noexcept {
  if (figureDepth_ == 0) return;
  if (--figureDepth_ == 0) FlushFigure();
}

bool TCanvas::AddToFigure(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom, TColor Color) {
  if (figureDepth_ == 0) return false;
  if (!figure_.empty() && Color != figureColor_) FlushFigure();
  figure_.push_back({Left, Top, Right, Bottom});
  figureColor_ = Color;
  return true;
}

namespace {

using TBox = std::array<int64_t, 4>; // Left, Top, Right, Bottom

// Up to this many boxes of a figure are filled one by one (see FlushFigure).
constexpr size_t kBoxesFilledOneByOne = 256;

// The four bars of one frame in any order (a full-height bar on the left and
// on the right, a full-width bar at the top and at the bottom), all as wide as
// Width, around a hole: the frame's outer box, or false.
bool FindFrame(std::span<const TBox> Bars, TBox& Outer, int64_t& Width) {
  if (Bars.size() != 4) return false;
  Outer = Bars[0];
  for (const TBox& bar : Bars) {
    Outer = {std::min(Outer[0], bar[0]), std::min(Outer[1], bar[1]), std::max(Outer[2], bar[2]),
             std::max(Outer[3], bar[3])};
  }
  bool found[4] = {false, false, false, false};
  Width = -1;
  for (const TBox& bar : Bars) {
    const bool tall = bar[1] == Outer[1] && bar[3] == Outer[3];
    const bool wide = bar[0] == Outer[0] && bar[2] == Outer[2];
    int side = -1;
    int64_t width = 0;
    if (tall && bar[0] == Outer[0] && !found[0]) side = 0, width = bar[2] - bar[0];
    else if (wide && bar[1] == Outer[1] && !found[1]) side = 1, width = bar[3] - bar[1];
    else if (tall && bar[2] == Outer[2] && !found[2]) side = 2, width = bar[2] - bar[0];
    else if (wide && bar[3] == Outer[3] && !found[3]) side = 3, width = bar[3] - bar[1];
    if (side < 0 || (Width >= 0 && width != Width)) return false;
    found[side] = true;
    Width = width;
  }
  return Outer[2] - Outer[0] > 2 * Width && Outer[3] - Outer[1] > 2 * Width;
}

// Joins boxes that lie in one band and touch or overlap along it into one
// box: first along rows, then along columns. Each join covers exactly the
// pixels of its parts, so the union stays the same; the edges of a grid of
// cells become one bar per grid line.
void JoinBoxes(std::vector<TBox>& Boxes) {
  const auto join = [&Boxes](int Along) {
    const int across = 1 - Along;
    std::sort(Boxes.begin(), Boxes.end(), [&](const TBox& A, const TBox& B) {
      return std::tie(A[across], A[across + 2], A[Along]) < std::tie(B[across], B[across + 2], B[Along]);
    });
    size_t kept = 0;
    for (size_t i = 0; i < Boxes.size(); ++i) {
      TBox& last = Boxes[kept == 0 ? 0 : kept - 1];
      const TBox& box = Boxes[i];
      if (kept > 0 && last[across] == box[across] && last[across + 2] == box[across + 2] &&
          box[Along] <= last[Along + 2]) {
        last[Along + 2] = std::max(last[Along + 2], box[Along + 2]);
      } else {
        Boxes[kept++] = box;
      }
    }
    Boxes.resize(kept);
  };
  join(0);
  join(1);
}

} // namespace

void TCanvas::FlushFigure() noexcept {
  if (figure_.empty()) return;
  if (dc_->Cairo != nullptr) {
    TCairoState state(*dc_);
    cairo_t* cairo = dc_->Cairo;
    cairo_new_path(cairo);
    SetSourceColor(cairo, figureColor_);
    TBox outer{};
    int64_t width = 0;
    if (FindFrame(figure_, outer, width)) {
      // One frame (a cell's four edges) goes to the page as one stroked
      // rectangle, which a vector page holds as one short operation; its pen
      // covers exactly the bars' pixels.
      const double half = static_cast<double>(width) / 2;
      const double left = Clamped(outer[0]) + half, top = Clamped(outer[1]) + half;
      cairo_rectangle(cairo, left, top, Clamped(outer[2]) - half - left, Clamped(outer[3]) - half - top);
      cairo_set_line_width(cairo, static_cast<double>(width));
      cairo_set_line_join(cairo, CAIRO_LINE_JOIN_MITER);
      cairo_set_miter_limit(cairo, 10.0);
      cairo_set_dash(cairo, nullptr, 0, 0);
      cairo_stroke(cairo);
    } else {
      if (figure_.size() > 4) JoinBoxes(figure_);
      // A few boxes (a grid's lines once joined) are filled one by one, which a
      // vector page writes as its shortest operation and viewers snap to their
      // pixels as they did before; many go as one path, held as one operation.
      const bool oneByOne = figure_.size() <= kBoxesFilledOneByOne;
      for (const TBox& box : figure_) {
        const double left = Clamped(box[0]), top = Clamped(box[1]);
        cairo_rectangle(cairo, left, top, Clamped(box[2]) - left, Clamped(box[3]) - top);
        if (oneByOne) cairo_fill(cairo);
      }
      if (!oneByOne) cairo_fill(cairo);
    }
  }
  figure_.clear();
}

// Text is measured by the device's own operation, in the canvas's font.
int32_t TCanvas::TextWidth(const std::string& Text) {
  TSize size;
  GetTextExtentPoint32A(GetHandle(), Text.data(), ClampToInt32(static_cast<int64_t>(Text.size())), &size);
  return size.cx;
}

int32_t TCanvas::TextHeight(const std::string& Text) {
  TSize size;
  GetTextExtentPoint32A(GetHandle(), Text.data(), ClampToInt32(static_cast<int64_t>(Text.size())), &size);
  return size.cy;
}

} // namespace mivora
