// Horizontal and vertical text in a cell's rectangle: a small inner margin,
// placement by alignment and layout, and shrinking the font until the text fits.
#include "MivoraUtils.h"

#include "Canvas.h"
#include "DeviceClip_p.h"
#include "Gdi.h"
#include "Numbers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace mivora {

namespace {

constexpr double kShrinkFactor = 0.9;

// DrawTextA alignment flags indexed by Alignment (0 left, 1 right, 2 centre).
constexpr uint32_t kAlignmentFlags[3] = {DT_LEFT, DT_RIGHT, DT_CENTER};

int CountOf(const std::string& Text) {
  return static_cast<int>(std::min(Text.size(), static_cast<size_t>(INT_MAX)));
}

// The rectangle moved in by the given margins on each side. 64-bit arithmetic:
// a rectangle near the ends of the coordinate range must not overflow.
TRect Inset(const TRect& Rect, int64_t Horizontal, int64_t Vertical) {
  return TRect{ClampToInt32(Rect.Left + Horizontal), ClampToInt32(Rect.Top + Vertical),
               ClampToInt32(Rect.Right - Horizontal), ClampToInt32(Rect.Bottom - Vertical)};
}

TRect Moved(const TRect& Rect, int64_t DX, int64_t DY) {
  return TRect{ClampToInt32(Rect.Left + DX), ClampToInt32(Rect.Top + DY), ClampToInt32(Rect.Right + DX),
               ClampToInt32(Rect.Bottom + DY)};
}

int64_t WidthOf(const TRect& Rect) { return int64_t{Rect.Right} - Rect.Left; }
int64_t HeightOf(const TRect& Rect) { return int64_t{Rect.Bottom} - Rect.Top; }

// A copy of the canvas font turned by 90 degrees, selected into the device
// context for as long as it lives; the font it replaced is selected again and the
// copy destroyed at the end, also when drawing fails.
class TRotatedFont {
public:
  TRotatedFont(HDC DC, TFont* Font) : dc_(DC) {
    font_ = Make(Font);
    previous_ = SelectObject(dc_, font_);
  }
  ~TRotatedFont() { Release(); }
  TRotatedFont(const TRotatedFont&) = delete;
  TRotatedFont& operator=(const TRotatedFont&) = delete;

  // Replaces the rotated copy with one of the canvas font's current attributes.
  void Remake(TFont* Font) {
    Release();
    font_ = Make(Font);
    SelectObject(dc_, font_);
  }

private:
  static HFONT Make(TFont* Font) {
    LOGFONTA record;
    GetObjectA(Font->Handle(), static_cast<int>(sizeof(record)), &record);
    record.lfEscapement = 900;
    return CreateFontIndirectA(&record);
  }
  void Release() {
    if (font_ == nullptr) return;
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    font_ = nullptr;
  }

  HDC dc_;
  HGDIOBJ previous_ = nullptr;
  HFONT font_ = nullptr;
};

} // namespace

// The next smaller font height: round(height × 0.9), halves to the even neighbour.
// The default height 0 has no size to take a tenth of, so it shrinks from the
// line height LineHeight that it stands for; a negative (character) height shrinks
// toward 0 like a positive one. Returns Height itself when a step would no longer
// make the font smaller (from 4 pixels or less): shrinking stops there.
int32_t ShrunkFontHeight(int32_t Height, int32_t LineHeight) {
  const int64_t from = Height != 0 ? Height : LineHeight;
  const auto next = static_cast<int64_t>(std::nearbyint(static_cast<double>(from) * kShrinkFactor));
  if (next == 0 || std::llabs(next) >= std::llabs(from)) return Height;
  return static_cast<int32_t>(next);
}

// Measures Text in Inner's width into Measured, as far as needed to tell whether
// it overflows Inner; returns whether Measured is that of the whole text. The
// lines of a start of the text that ends before a space or a line break are the
// text's first lines, the last one perhaps shorter, so a start that overflows
// means the text does. Starts growing fourfold are tried before the whole: a
// long text in a small cell is measured as far as the cell reaches at each size
// it shrinks through, and in full only at the size where it fits.
bool MeasureTextUntilOverflow(TCanvas* Canvas, const std::string& Text, const TRect& Inner, uint32_t Flags,
                              TRect& Measured) {
  constexpr size_t kFirstStart = 4096;
  for (size_t length = kFirstStart; length < Text.size(); length *= 4) {
    const size_t cut = Text.find_first_of(" \r\n", length);
    if (cut == std::string::npos || cut > static_cast<size_t>(INT_MAX)) break;
    Measured = Inner;
    DrawTextA(Canvas->GetHandle(), Text.data(), static_cast<int>(cut), &Measured, Flags | DT_CALCRECT);
    if (Measured.Right > Inner.Right || Measured.Bottom > Inner.Bottom) return false;
    length = cut;
  }
  Measured = Inner;
  DrawTextA(Canvas->GetHandle(), Text.data(), CountOf(Text), &Measured, Flags | DT_CALCRECT);
  return true;
}

void ShowText(TCanvas* Canvas, const std::string& Text, TRect Rect, uint8_t Alignment,
              uint8_t Layout, bool WordWrap, bool ShrinkToFit) {
  if (Canvas == nullptr || Text.empty()) return;
  // An alignment outside the table formats as left-aligned, as it is placed.
  const uint32_t flags = (Alignment < 3 ? kAlignmentFlags[Alignment] : DT_LEFT) | DT_EXPANDTABS |
                         DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : 0);
  const int count = CountOf(Text);

  // Inner rectangle: half a space in from the sides, a twelfth of a line from top and bottom.
  const int32_t space = Canvas->TextWidth(" ");
  const int32_t lineHeight = Canvas->TextHeight(" ");
  const int32_t v = lineHeight / 6;
  const TRect inner = Inset(Rect, space / 2, v / 2);
  const int64_t W = WidthOf(inner);
  const int64_t H = HeightOf(inner);

  TRect textRect = inner;
  // A text that may shrink is measured only as far as it overflows, at this
  // size as at every smaller one.
  bool whole = true;  // textRect measures the whole text, not a start of it
  if (ShrinkToFit)
    whole = MeasureTextUntilOverflow(Canvas, Text, inner, flags, textRect);
  else
    DrawTextA(Canvas->GetHandle(), Text.data(), count, &textRect, flags | DT_CALCRECT);

  if (ShrinkToFit) {
    while (textRect.Right > inner.Right || textRect.Bottom > inner.Bottom) {
      TFont* font = Canvas->Font();
      const int32_t next = ShrunkFontHeight(font->Height(), lineHeight);
      if (next == font->Height()) break;  // as small as it gets: draw clipped
      font->SetHeight(next);
      whole = MeasureTextUntilOverflow(Canvas, Text, inner, flags, textRect);
    }
    if (!whole) {
      textRect = inner;
      DrawTextA(Canvas->GetHandle(), Text.data(), count, &textRect, flags | DT_CALCRECT);
    }
  }

  const int64_t w = WidthOf(textRect);
  const int64_t h = HeightOf(textRect);
  int64_t dy = 0;
  if (Layout == 1) dy = (H - h) / 2;
  if (Layout == 2) dy = H - h;
  int64_t dx = 0;
  if (Alignment == 1) dx = W - w;
  if (Alignment == 2) dx = (W - w) / 2;
  textRect = Moved(textRect, dx, dy);

  // Text wider than the inner rectangle (a word longer than a line, or a font that
  // could not shrink enough) is drawn into a rectangle of the inner width on the
  // side the lines are aligned to, so that its lines break exactly where they
  // were measured and the vertical placement matches them.
  TRect drawRect = textRect;
  if (WordWrap && w > W) {
    if (Alignment == 1) {
      drawRect.Left = ClampToInt32(drawRect.Right - W);
    } else if (Alignment == 2) {
      drawRect.Left = ClampToInt32(drawRect.Left + (w - W) / 2);
      drawRect.Right = ClampToInt32(drawRect.Left + W);
    } else {
      drawRect.Right = ClampToInt32(drawRect.Left + W);
    }
  }

  HDC dc = Canvas->GetHandle();
  TClipReset clipReset(dc);
  IntersectClipRect(dc, inner.Left, inner.Top, inner.Right, inner.Bottom);
  DrawTextA(dc, Text.data(), count, &drawRect, flags);
}

void ShowTextVertically(TCanvas* Canvas, const std::string& Text, TRect Rect, uint8_t Alignment,
                        uint8_t Layout, bool ShrinkToFit) {
  if (Canvas == nullptr || Text.empty()) return;
  const int count = CountOf(Text);

  // The margins are measured in the unturned font: a space's width along the
  // line, a sixth of its height across it. Measured before the turned font is
  // selected, because the canvas selects its own font when asked for its handle.
  const int32_t space = Canvas->TextWidth(" ");
  const int32_t lineHeight = Canvas->TextHeight(" ");
  const int32_t v = lineHeight / 6;

  HDC dc = Canvas->GetHandle();
  TFont* font = Canvas->Font();
  TRotatedFont rotated(dc, font);

  TRect inner = Inset(Rect, v / 2, space / 2);
  const int64_t W = WidthOf(inner);
  const int64_t H = HeightOf(inner);

  TSize extent;
  GetTextExtentPoint32A(dc, Text.data(), count, &extent);
  if (ShrinkToFit) {
    while (H < extent.cx || W < extent.cy) {
      const int32_t next = ShrunkFontHeight(font->Height(), lineHeight);
      if (next == font->Height()) break;  // as small as it gets: draw clipped
      font->SetHeight(next);
      rotated.Remake(font);
      GetTextExtentPoint32A(dc, Text.data(), count, &extent);
    }
  }
  const int64_t L = extent.cx;
  const int64_t T = extent.cy;

  int64_t dx = 0;
  if (Alignment == 1) dx = W - T;
  if (Alignment == 2) dx = (W - T) / 2;
  int64_t dy = 0;
  if (Layout == 0) dy = -(H - L);
  if (Layout == 1) dy = -((H - L) / 2);
  inner = Moved(inner, dx, dy);

  ExtTextOutA(dc, inner.Left, inner.Bottom, ETO_CLIPPED, &inner, Text.data(),
              static_cast<uint32_t>(count), nullptr);
}

} // namespace mivora
