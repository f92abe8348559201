// The device-context operations the drawing code calls, with the names and
// argument conventions it expects: device pixels, rectangles with right and
// bottom exclusive, 8-bit strings (UTF-8; invalid bytes read as Windows-1252).
#pragma once

#include "Types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mivora {

class TDeviceContext;
class TGdiObject;
class TWinControl;

using HDC = TDeviceContext*;
using HGDIOBJ = TGdiObject*;
using HFONT = TGdiObject*;
using HRGN = TGdiObject*;
using HWND = TWinControl*;

// GetDeviceCaps indexes.
constexpr int HORZRES = 8;      // printable width in pixels
constexpr int VERTRES = 10;     // printable height in pixels
constexpr int LOGPIXELSX = 88;  // pixels per inch across
constexpr int LOGPIXELSY = 90;  // pixels per inch down

// DrawTextA format flags.
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;

// ExtTextOutA options.
constexpr uint32_t ETO_OPAQUE = 0x2;
constexpr uint32_t ETO_CLIPPED = 0x4;

// Mapping modes.
constexpr int MM_TEXT = 1;

// Messages.
constexpr uint32_t EM_FORMATRANGE = 0x439;

// Font weights.
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;

// Pitch in the low bits of lfPitchAndFamily.
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;

// Region kinds answered by the clipping operations.
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;

// The logical-font record: 60 bytes, as the rotated-font code copies it whole.
struct LOGFONTA {
  int32_t lfHeight = 0;       // >0 cell height, <0 character height, 0 default (pixels)
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;   // tenths of a degree, counter-clockwise
  int32_t lfOrientation = 0;
  int32_t lfWeight = FW_NORMAL;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = DEFAULT_CHARSET;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};
static_assert(sizeof(LOGFONTA) == 60, "the logical-font record is 60 bytes");

struct CHARRANGE {
  int32_t cpMin = 0;
  int32_t cpMax = 0;
};

// The formatting request of EM_FORMATRANGE; rectangles are in twips.
struct FORMATRANGE {
  HDC hdc = nullptr;
  HDC hdcTarget = nullptr;
  TRect rc;
  TRect rcPage;
  CHARRANGE chrg;
};

// One device operation as the recording target keeps it.
struct TDrawOp {
  std::string Name;           // the operation, e.g. "Rectangle", "ExtTextOut"
  std::vector<int64_t> Args;  // its arguments in order
  std::string Text;           // text drawn, or the state it was drawn with
  std::string ToString() const;
};

// Pixels per inch (LOGPIXELSX/Y) or printable size (HORZRES/VERTRES) of the device.
int GetDeviceCaps(HDC DC, int Index);
// Draws (or with DT_CALCRECT measures) Count bytes of Text into Rect; -1: up to NUL.
// Measuring sets Rect's right and bottom to bound the formatted text. Returns the height.
int DrawTextA(HDC DC, const char* Text, int Count, TRect* Rect, uint32_t Format);
// Narrows the clip to the rectangle.
int IntersectClipRect(HDC DC, int Left, int Top, int Right, int Bottom);
// With a null region removes all clipping.
int SelectClipRgn(HDC DC, HRGN Region);
// Copies the object's logical record (a LOGFONTA for a font) into Buffer; bytes copied.
int GetObjectA(HGDIOBJ Object, int Size, void* Buffer);
// A new font object from the record; the caller deletes it with DeleteObject.
HFONT CreateFontIndirectA(const LOGFONTA* LogFont);
// Selects Object into the device context; returns the one selected before.
HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object);
// Destroys an object made by CreateFontIndirectA.
bool DeleteObject(HGDIOBJ Object);
// Extent of Count bytes of Text in the selected font, along its baseline.
bool GetTextExtentPoint32A(HDC DC, const char* Text, int Count, TSize* Size);
// Text with its cell's top-left at (X, Y) in the selected font and escapement;
// ETO_CLIPPED clips to Rect, ETO_OPAQUE fills Rect with the background first.
bool ExtTextOutA(HDC DC, int X, int Y, uint32_t Options, const TRect* Rect, const char* Text,
                 uint32_t Count, const int* Dx);
bool OffsetRect(TRect* Rect, int DX, int DY);
bool InflateRect(TRect* Rect, int DX, int DY);
// Sets the mapping mode; returns the previous one.
int SetMapMode(HDC DC, int Mode);
// Sends a message to a window; its answer.
intptr_t SendMessageA(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam);

} // namespace mivora
