// The device's text operations: formatted text in a rectangle, the extent of one
// line, and one line at a point in the selected font's direction.
#include "Gdi.h"

#include "DeviceContext_p.h"
#include "Exceptions.h"
#include "Numbers.h"
#include "TextLayout_p.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>

namespace mivora {

namespace {

// How many line heights beyond the clip a line is still drawn.
constexpr double kInkOverhangLines = 4.0;

// Count bytes of Text; a negative Count reads up to the terminating NUL.
std::string_view TextOf(const char* Text, int64_t Count) {
  if (Text == nullptr || Count == 0) return {};
  if (Count < 0) return std::string_view(Text);
  return std::string_view(Text, static_cast<size_t>(Count));
}

// Drawing needs an open print job; measuring does not.
void CheckCanDraw(const TDeviceContext& DC, const char* Operation) {
  if (DC.Idle) throw EPrinterError(std::string("Cannot draw ") + Operation + ": no print job is open");
}

} // namespace

// Lines are drawn from the rectangle's top, one line height apart, each aligned
// within the rectangle's width. Measuring works at any time; drawing without an
// open print job raises EPrinterError. DrawTextA always draws horizontally: the
// escapement of the selected font applies to ExtTextOutA only.
int DrawTextA(HDC DC, const char* Text, int Count, TRect* Rect, uint32_t Format) {
  if (DC == nullptr || Rect == nullptr) return 0;
  const std::string_view text = TextOf(Text, Count);
  const TTextFont& font = TextFontOf(*DC);
  TFormatOptions options;
  options.MaxWidth = static_cast<double>(int64_t{Rect->Right} - Rect->Left);
  options.WordBreak = (Format & DT_WORDBREAK) != 0;
  options.ExpandTabs = (Format & DT_EXPANDTABS) != 0;
  options.NoPrefix = (Format & DT_NOPREFIX) != 0;
  const std::vector<TTextLine> lines = FormatLines(font, text, options);
  const int64_t lineHeight = font.LineHeight();
  const int64_t height = static_cast<int64_t>(lines.size()) * lineHeight;

  if ((Format & DT_CALCRECT) != 0) {
    int64_t widest = 0;
    for (const TTextLine& line : lines) widest = std::max<int64_t>(widest, WholePixels(line.Width));
    Rect->Right = ClampToInt32(Rect->Left + widest);
    Rect->Bottom = ClampToInt32(Rect->Top + height);
    return ClampToInt32(height);
  }

  CheckCanDraw(*DC, "DrawText");
  DC->Record("DrawText", {Rect->Left, Rect->Top, Rect->Right, Rect->Bottom, Format},
             std::string(text));
  if (DC->Cairo == nullptr || lines.empty()) return ClampToInt32(height);
  cairo_t* cairo = DC->Cairo;
  cairo_save(cairo);
  SetSourceColor(cairo, DC->TextColor);
  const double left = Rect->Left;
  const double right = Rect->Right;
  // Only the lines that reach into the clip are drawn: a long text in a small
  // cell costs the lines that show, and the file holds no text nobody can see.
  // Glyphs may stand out of their line (stacked accents), so lines a few line
  // heights beyond the clip are drawn as well.
  double clipLeft = 0;
  double clipTop = 0;
  double clipRight = 0;
  double clipBottom = 0;
  cairo_clip_extents(cairo, &clipLeft, &clipTop, &clipRight, &clipBottom);
  const double top = Rect->Top;
  const double overhang = kInkOverhangLines * static_cast<double>(lineHeight);
  const double above = clipTop - overhang - top;
  const size_t firstShown =
      above > 0 ? static_cast<size_t>(std::min(std::floor(above / static_cast<double>(lineHeight)),
                                               static_cast<double>(lines.size())))
                : 0;
  for (size_t i = firstShown; i < lines.size(); ++i) {
    const TTextLine& line = lines[i];
    if (top + static_cast<double>(i) * static_cast<double>(lineHeight) >= clipBottom + overhang) break;
    // A line found without being laid out is laid out now, as it is drawn.
    const double width = line.Estimated ? font.LineWidth(line.Text, options.ExpandTabs) : line.Width;
    double x = left;
    if ((Format & DT_RIGHT) != 0) {
      x = right - width;
    } else if ((Format & DT_CENTER) != 0) {
      x = left + (right - left - width) / 2.0;
    }
    const double y = static_cast<double>(Rect->Top) + static_cast<double>(i) * lineHeight;
    font.ShowLine(cairo, line.Text, options.ExpandTabs, x, y);
  }
  cairo_restore(cairo);
  return ClampToInt32(height);
}

// One line: line breaks and tabs count as spaces here.
bool GetTextExtentPoint32A(HDC DC, const char* Text, int Count, TSize* Size) {
  if (DC == nullptr || Size == nullptr || Count < 0 || (Text == nullptr && Count > 0)) return false;
  const TTextFont& font = TextFontOf(*DC);
  Size->cx = WholePixels(font.LineWidth(SingleLine(TextOf(Text, Count)), false));
  Size->cy = font.LineHeight();
  return true;
}

// The reference point is the top-left of the line's cell in the font's own frame,
// turned by the escapement (tenths of a degree, counter-clockwise): at 900 the
// text runs upward from (X, Y) with the tops of its characters facing left. The
// spacing array is not used: glyphs keep the font's own advances.
bool ExtTextOutA(HDC DC, int X, int Y, uint32_t Options, const TRect* Rect, const char* Text,
                 uint32_t Count, const int* Dx) {
  static_cast<void>(Dx);
  if (DC == nullptr) return false;
  CheckCanDraw(*DC, "ExtTextOut");
  const std::string_view text = TextOf(Text, Count);
  if (Rect != nullptr) {
    DC->Record("ExtTextOut", {X, Y, Options, Rect->Left, Rect->Top, Rect->Right, Rect->Bottom},
               std::string(text));
  } else {
    DC->Record("ExtTextOut", {X, Y, Options}, std::string(text));
  }
  if (DC->Cairo == nullptr) return true;
  cairo_t* cairo = DC->Cairo;
  cairo_save(cairo);
  if (Rect != nullptr && (Options & ETO_OPAQUE) != 0 && Rect->Right > Rect->Left &&
      Rect->Bottom > Rect->Top) {
    SetSourceColor(cairo, DC->BrushColor);
    cairo_rectangle(cairo, Rect->Left, Rect->Top, static_cast<double>(int64_t{Rect->Right} - Rect->Left),
                    static_cast<double>(int64_t{Rect->Bottom} - Rect->Top));
    cairo_fill(cairo);
  }
  if (!text.empty()) {
    if (Rect != nullptr && (Options & ETO_CLIPPED) != 0) {
      // An empty or inverted rectangle clips everything away.
      const double width = std::max(0.0, static_cast<double>(int64_t{Rect->Right} - Rect->Left));
      const double height = std::max(0.0, static_cast<double>(int64_t{Rect->Bottom} - Rect->Top));
      cairo_rectangle(cairo, Rect->Left, Rect->Top, width, height);
      cairo_clip(cairo);
    }
    const TTextFont& font = TextFontOf(*DC);
    const int32_t escapement = DC->Font != nullptr ? DC->Font->LogFont.lfEscapement : 0;
    SetSourceColor(cairo, DC->TextColor);
    cairo_translate(cairo, X, Y);
    if (escapement % 3600 != 0) {
      // Cairo's y axis points down, so a counter-clockwise turn is a negative angle.
      cairo_rotate(cairo, -static_cast<double>(escapement % 3600) * std::numbers::pi / 1800.0);
    }
    font.ShowLine(cairo, SingleLine(text), false, 0.0, 0.0);
  }
  cairo_restore(cairo);
  return true;
}

} // namespace mivora
