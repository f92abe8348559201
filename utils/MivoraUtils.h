// The utility unit: units, cut-value lists, string helpers, the pen, brush and
// font records with their defaults, and the drawing primitives cells draw with.
#pragma once

#include "Types.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mivora {

class TCanvas;
class TGraphic;
class TRichEdit;

// ---------------------------------------------------------------------------
// Units

// The unit of a sheet's geometry. A percentage is a fraction: 1.0 is the whole extent.
enum TMeasurement : uint8_t { mtPixels = 0, mtCentimeters = 1, mtInches = 2, mtPercentage = 3 };

// Converts Value from FromUnit to ToUnit along one axis of a device with the given
// resolution and page extent (both in device pixels). Not rounded to whole pixels.
float ConvertMeasure(TMeasurement FromUnit, TMeasurement ToUnit, int32_t PixelsPerInch,
                     int32_t PageExtent, float Value);

// ---------------------------------------------------------------------------
// Cut-value lists: sizes where a negative entry -n repeats the next value n times.

// A cursor over a cut-value list; reset it before its first use.
struct TCutValueRec {
  int32_t Index = 0;     // the next entry to read
  int32_t Remaining = 0; // repetitions of the current value still to hand out
};

// Puts the cursor at the start of a list.
void ResetCutValueRec(TCutValueRec& Rec);
// How many values the list stands for.
int32_t CutValuesCount(std::span<const float> Values);
// Hands out the next value; false (Value untouched) when the list is used up.
bool CutValue(std::span<const float> Values, TCutValueRec& Rec, float& Value);

// ---------------------------------------------------------------------------
// String helpers

// The first Count characters of S (all of S when shorter, none when Count <= 0).
std::string StrLeft(const std::string& S, int32_t Count);
// The last Count characters of S (all of S when shorter, none when Count <= 0).
std::string StrRight(const std::string& S, int32_t Count);
// True when Pattern is empty or equals S exactly, letter case included.
bool StrMatch(const std::string& Pattern, const std::string& S);
// An object reference as a string of 8 bytes, least significant byte first.
std::string PtrToStr(const void* P);
// The reference PtrToStr encoded; null for a string shorter than 8 bytes.
void* StrToPtr(const std::string& S);

// ---------------------------------------------------------------------------
// Drawing attribute records

// Pen styles: the canvas's own codes.
constexpr uint8_t psSolid = PEN_SOLID;
constexpr uint8_t psDash = PEN_DASH;
constexpr uint8_t psDot = PEN_DOT;
constexpr uint8_t psDashDot = PEN_DASHDOT;
constexpr uint8_t psDashDotDot = PEN_DASHDOTDOT;
constexpr uint8_t psClear = PEN_CLEAR;
// Brush styles.
constexpr uint8_t bsSolid = BRUSH_SOLID;
constexpr uint8_t bsClear = BRUSH_CLEAR;
// Font styles, combined as a bit set.
using TFontStyles = uint8_t;
constexpr TFontStyles fsBold = FONT_BOLD;
constexpr TFontStyles fsItalic = FONT_ITALIC;
constexpr TFontStyles fsUnderline = FONT_UNDERLINE;
constexpr TFontStyles fsStrikeOut = FONT_STRIKEOUT;

// A face name of at most 31 characters; longer names are cut.
class TFontName {
public:
  static constexpr size_t MaxLength = 31;
  constexpr TFontName() = default;
  constexpr TFontName(std::string_view Name) { Assign(Name); } // NOLINT: implicit on purpose
  constexpr TFontName(const char* Name) : TFontName(std::string_view(Name)) {}
  TFontName(const std::string& Name) : TFontName(std::string_view(Name)) {}

  constexpr void Assign(std::string_view Name) {
    length_ = static_cast<uint8_t>(Name.size() < MaxLength ? Name.size() : MaxLength);
    for (size_t i = 0; i < sizeof(chars_); ++i) chars_[i] = i < length_ ? Name[i] : '\0';
  }
  constexpr std::string_view View() const { return {chars_, length_}; }
  std::string Str() const { return std::string(View()); }
  constexpr size_t Length() const { return length_; }
  friend constexpr bool operator==(const TFontName& A, const TFontName& B) {
    return A.View() == B.View();
  }

private:
  uint8_t length_ = 0;
  char chars_[MaxLength] = {};
};

// One pen: an edge of a cell.
struct TPenData {
  uint32_t Reserved = 0;   // carried along, never read
  TColor Color = clBlack;
  int32_t Width = 1;       // device pixels, never converted
  uint8_t Style = psClear;
  friend bool operator==(const TPenData&, const TPenData&) = default;
};

// The fill of a cell.
struct TBrushData {
  uint32_t Reserved = 0;
  TColor Color = clWhite;
  uint32_t Reserved2 = 0;
  uint8_t Style = bsClear;
  friend bool operator==(const TBrushData&, const TBrushData&) = default;
};

// The font of a text cell. Height is in the sheet's measurement (under
// percentages a fraction of the cell's own height).
struct TFontData {
  uint32_t Reserved = 0;
  float Height = 0.0f;
  uint8_t Pitch = 0;       // 0: default pitch
  TFontStyles Style = 0;
  uint8_t Charset = DEFAULT_CHARSET;
  TFontName Name = DefaultFontFace;
  TColor Color = clBlack;
  friend bool operator==(const TFontData&, const TFontData&) = default;
};

inline constexpr TPenData DefaultPenData{};
inline constexpr TBrushData DefaultBrushData{};
inline constexpr TFontData DefaultFontData{};

// ---------------------------------------------------------------------------
// Applying drawing attributes to a canvas

// Sets the canvas pen's colour, width and style from Data.
void AssignPen(TCanvas* Canvas, TPenData Data);
// Resets the pen to solid black width 1, then sets the brush's style and colour.
void AssignBrush(TCanvas* Canvas, TBrushData Data);
// Sets the canvas font to Height pixels, then pitch, style, charset, name, colour.
void AssignFont(TCanvas* Canvas, TFontData Data, int32_t Height);

// ---------------------------------------------------------------------------
// Lines on the printer's canvas

// A line in the current pen from (X1, Y1) to (X2, Y2), the end point not drawn.
void Line(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// A horizontal line Length pixels to the right of (X, Y); solid pens draw a bar.
void LineH(int32_t X, int32_t Y, int32_t Length);
// A vertical line Length pixels down from (X, Y); solid pens draw a bar.
void LineV(int32_t X, int32_t Y, int32_t Length);
// Start and length of a horizontal edge along Rect, trimmed where it is wider
// than a visible neighbour at its left (StartPen) or right (EndPen) end.
void AdjustLineX(TPenData Pen, TPenData StartPen, TPenData EndPen, TRect Rect,
                 int32_t& Start, int32_t& Length);
// The same for a vertical edge, with the neighbours at its top and bottom.
void AdjustLineY(TPenData Pen, TPenData StartPen, TPenData EndPen, TRect Rect,
                 int32_t& Start, int32_t& Length);

// ---------------------------------------------------------------------------
// Text, pictures and rich text

// Draws Text into Rect with a small margin, aligned (0 left, 1 right, 2 centre)
// and laid out (0 top, 1 centre, 2 bottom), wrapped and shrunk as asked.
void ShowText(TCanvas* Canvas, const std::string& Text, TRect Rect, uint8_t Alignment,
              uint8_t Layout, bool WordWrap, bool ShrinkToFit);
// The next smaller font height when text shrinks to fit: round(height x 0.9),
// halves to the even neighbour, from LineHeight when the height is the default
// 0; Height itself once a step would no longer make the font smaller.
int32_t ShrunkFontHeight(int32_t Height, int32_t LineHeight);
// Measures Text in Inner's width with the canvas font and the DrawText Flags
// into Measured, only as far as needed to tell whether it overflows Inner;
// returns whether Measured is that of the whole text (false means it overflows).
bool MeasureTextUntilOverflow(TCanvas* Canvas, const std::string& Text, const TRect& Inner, uint32_t Flags,
                              TRect& Measured);
// Draws Text as one line reading upward, turned 90 degrees.
void ShowTextVertically(TCanvas* Canvas, const std::string& Text, TRect Rect,
                        uint8_t Alignment, uint8_t Layout, bool ShrinkToFit);
// How a picture fits its rectangle.
enum TGraphicFit : uint8_t {
  gfAuto,    // as Stretch says: stretched to the rectangle, or at natural size
             // (stretched only when larger than the rectangle)
  gfNatural, // at the picture's own size in inches where it tells its resolution
             // (one device pixel per picture pixel where it does not), placed by
             // alignment and layout; stretched only when larger than the rectangle
  gfContain, // as large as fits, proportions kept, placed by alignment and layout
  gfCover,   // fills the rectangle, proportions kept, cut off at its edges
};
// Draws Graphic at natural size placed in Rect, or stretched to Rect, or fitted
// as Fit says. Natural size is one device pixel per picture pixel, except with
// gfNatural, where a picture that tells its own resolution keeps its size in inches.
void ShowGraphic(TCanvas* Canvas, TGraphic* Graphic, TRect Rect, bool Stretch,
                 uint8_t Alignment, uint8_t Layout, TGraphicFit Fit = gfAuto);
// Has RichEdit draw as many whole lines of its text as fit into Rect.
void ShowRichEdit(TCanvas* Canvas, TRichEdit* RichEdit, TRect Rect);

} // namespace mivora
