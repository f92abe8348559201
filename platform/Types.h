// Plain device types shared by the platform layer and the drawing code.
#pragma once

#include <cstdint>

namespace mivora {

// A colour as 0x00BBGGRR: 0 is black, 0x00FFFFFF white.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// Pen styles of TPen::Style(); any other value draws as solid.
constexpr uint8_t PEN_SOLID = 0;
constexpr uint8_t PEN_DASH = 1;
constexpr uint8_t PEN_DOT = 2;
constexpr uint8_t PEN_DASHDOT = 3;
constexpr uint8_t PEN_DASHDOTDOT = 4;
constexpr uint8_t PEN_CLEAR = 5;  // draws nothing

// Brush styles of TBrush::Style(); any other value fills as solid.
constexpr uint8_t BRUSH_SOLID = 0;
constexpr uint8_t BRUSH_CLEAR = 1;  // fills nothing

// Font style bits of TFont::Style().
constexpr uint8_t FONT_BOLD = 0x01;
constexpr uint8_t FONT_ITALIC = 0x02;
constexpr uint8_t FONT_UNDERLINE = 0x04;
constexpr uint8_t FONT_STRIKEOUT = 0x08;

// The face of a font that names none, and the default character set.
inline constexpr const char* DefaultFontFace = "Arial";
constexpr uint8_t DEFAULT_CHARSET = 1;

// A device rectangle in pixels; right and bottom are exclusive.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Unprintable margins of the paper in millimetres, as the page lies.
struct TPrinterMargins {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  friend bool operator==(const TPrinterMargins&, const TPrinterMargins&) = default;
};

} // namespace mivora
