// The text engine beneath the device's text operations: fonts resolved from a
// logical-font record, line breaking as the device formats text, and drawing of
// single lines. Shared by the platform's .cpp files only.
//
// Every measurement is made in one shared Pango context at 72 units per inch whose
// user space is device pixels, with hinting off, so the same text breaks into the
// same lines at the same positions on every target (PDF, PNG, SVG, PostScript).
// Drawing renders the laid-out lines on the page's cairo_t without updating the
// context from it, so the target's transformation never changes a measurement.
#pragma once

#include "DeviceContext_p.h"

#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

class TTextFace;

// A line too wide for the text engine to lay out as one: where its pieces begin
// (and its end), and the width of each at the face's reference size.
struct TLongLine {
  std::vector<size_t> Pieces;
  std::vector<double> Widths;
};

// A font resolved for one logical-font record at one vertical resolution.
//
// Heights follow the device semantics: lfHeight > 0 is the cell height (ascent +
// descent) in pixels, lfHeight < 0 the character (em) height, 0 the default of
// 10 points at the vertical resolution. Tab stops lie every 8 average character
// widths from the start of a line.
//
// Fonts of one face share its layouts: a face is laid out once at a reference
// size and a font scales those layouts to its own size. With hinting off, glyph
// outlines and advances are proportional to the size, so this is what laying out
// at each size would give; and shrinking text step by step measures the same
// lines again instead of making a font (and a font match) for every step.
class TTextFont {
public:
  TTextFont(const LOGFONTA& LogFont, int32_t DpiY);
  ~TTextFont();
  TTextFont(const TTextFont&) = delete;
  TTextFont& operator=(const TTextFont&) = delete;

  // Whether this font was made for exactly this record and resolution.
  bool Matches(const LOGFONTA& LogFont, int32_t DpiY) const;

  // Em size, ascent and descent in device pixels.
  double EmSize() const { return emSize_; }
  double Ascent() const { return ascent_; }
  double Descent() const { return descent_; }
  // The face this font scales; fonts of one face and size lay out alike.
  const std::shared_ptr<TTextFace>& Face() const { return face_; }
  // Height of one line in whole pixels: ascent + descent, no extra leading.
  int32_t LineHeight() const { return lineHeight_; }

  // Advance width in pixels of one line of UTF-8 text (it must hold no line breaks).
  // A line of thousands of ems is measured as the sum of its pieces.
  double LineWidth(std::string_view Utf8, bool ExpandTabs) const;
  // The same width as LineWidth, measured without keeping a layout of the line
  // for drawing: about twice as fast for a line that will not be drawn.
  double MeasuredWidth(std::string_view Utf8, bool ExpandTabs) const;
  // Estimated pen positions in pixels before each byte of UTF-8 Text and after its
  // last: the sum of the advances of the characters before it, from the start of
  // Text, CR and LF advancing nothing. Laid out in pieces, so a line's width seen
  // from them (the difference of two positions) may differ slightly from
  // LineWidth's, by kerning or shaping across the ends or by tab stops.
  std::vector<double> PenPositions(const std::string& Utf8, bool ExpandTabs) const;
  // Draws one line of UTF-8 text in the current source of Cairo with the top-left of
  // its cell at (X, Y) of the current user space.
  void ShowLine(cairo_t* Cairo, std::string_view Utf8, bool ExpandTabs, double X, double Y) const;

private:
  // Width of a line laid out as one, at the reference size.
  double ReferenceWidth(std::string_view Utf8, bool ExpandTabs) const;
  // Draws a layout of the face with its baseline one ascent below the top, X along.
  void ShowLayout(cairo_t* Cairo, PangoLayout* Layout, double X) const;

  LOGFONTA logFont_;
  int32_t dpiY_;
  std::shared_ptr<TTextFace> face_;
  double emSize_ = 0;
  double scale_ = 1;  // from the face's reference size to this font's
  double ascent_ = 0;
  double descent_ = 0;
  int32_t lineHeight_ = 1;
};

// Sets a Pango context up as every text of the device is laid out: 72 units
// per inch, so that user space is device pixels, no hinting and fractional
// glyph positions, so that lines break alike on every target.
void SetUpTextContext(PangoContext* Context);

// The resolved font of the font selected into DC; a default font (Arial, default
// height) when none is selected. Cached in the font object; valid until the font
// object changes or is destroyed.
const TTextFont& TextFontOf(const TDeviceContext& DC);

// One formatted line: its UTF-8 text and advance width in pixels.
//
// A line of a long text may be found without being laid out (Estimated): its
// Width is then an estimate, and the line is narrower than the widest line of
// its text, whose width is always laid out. Drawing it where its width matters
// (aligned right or centred) takes TTextFont::LineWidth of its Text.
struct TTextLine {
  std::string Text;
  double Width = 0;
  bool Estimated = false;
};

// How DrawTextA formats: the DT_* flags that matter for line breaking.
struct TFormatOptions {
  double MaxWidth = 0;     // the rectangle's width; used with WordBreak
  bool WordBreak = false;  // break lines at spaces to fit MaxWidth
  bool ExpandTabs = false; // tabs advance to the next tab stop (else they read as spaces)
  bool NoPrefix = false;   // '&' prints as itself (else "&&" prints '&' and a lone '&' vanishes)
};

// Splits 8-bit Text into the lines DrawTextA prints. A carriage return, a line feed
// and the pair CR LF each start a new line; a break at the very end adds no empty
// line. With WordBreak, lines break at spaces only: spaces at a break are dropped,
// and a word wider than MaxWidth stays whole on its own line and overflows.
std::vector<TTextLine> FormatLines(const TTextFont& Font, std::string_view Text,
                                   const TFormatOptions& Options);

// 8-bit Text as the single line of the one-line operations, in UTF-8: each CR, LF
// or CR LF and each tab reads as one space.
std::string SingleLine(std::string_view Text);

// A width in pixels as whole pixels, rounded up so that the text fits.
int32_t WholePixels(double Width);

// Sets Cairo's source to a 0x00BBGGRR colour.
void SetSourceColor(cairo_t* Cairo, TColor Color);

// The family a logical-font record names, as UTF-8; "sans-serif" when it names none.
std::string FaceName(const LOGFONTA& LogFont);

} // namespace mivora
