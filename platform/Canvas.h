// The canvas of a device: the pen, brush and font that drawing uses, and the
// drawing operations themselves, all in device pixels.
#pragma once

#include "Gdi.h"
#include "Types.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mivora {

class TFontObject;
class TGraphic;

// The pen that draws lines and rectangle frames. Widths are device pixels; a
// width below 1 draws as 1.
class TPen {
public:
  // Colour of lines and frames.
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor Value) noexcept { color_ = Value; }
  // Width in device pixels.
  int32_t Width() const noexcept { return width_; }
  void SetWidth(int32_t Value) noexcept { width_ = Value; }
  // One of the PEN_* styles.
  uint8_t Style() const noexcept { return style_; }
  void SetStyle(uint8_t Value) noexcept { style_ = Value; }

private:
  TColor color_ = clBlack;
  int32_t width_ = 1;
  uint8_t style_ = PEN_SOLID;
};

// The brush that fills rectangles (and the background of opaque text).
class TBrush {
public:
  // Fill colour.
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor Value) noexcept { color_ = Value; }
  // BRUSH_SOLID or BRUSH_CLEAR.
  uint8_t Style() const noexcept { return style_; }
  void SetStyle(uint8_t Value) noexcept { style_ = Value; }

private:
  TColor color_ = clWhite;
  uint8_t style_ = BRUSH_SOLID;
};

// The font text is drawn in. Height is in device pixels: a positive height is
// the cell height (ascent + descent), a negative one the character height
// (cell height less internal leading), and 0 the default: 10 points at the
// device's vertical resolution. Defaults: "Arial", height 0, default pitch,
// no styles, charset 1, black.
class TFont {
public:
  TFont();
  ~TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  // Height in device pixels (see above).
  int32_t Height() const noexcept { return height_; }
  void SetHeight(int32_t Value) noexcept;
  // DEFAULT_PITCH, FIXED_PITCH or VARIABLE_PITCH, passed to the font as is.
  uint8_t Pitch() const noexcept { return pitch_; }
  void SetPitch(uint8_t Value) noexcept;
  // Bit set of FONT_BOLD, FONT_ITALIC, FONT_UNDERLINE, FONT_STRIKEOUT.
  uint8_t Style() const noexcept { return style_; }
  void SetStyle(uint8_t Value) noexcept;
  // Character set; 1 is the default character set.
  uint8_t Charset() const noexcept { return charset_; }
  void SetCharset(uint8_t Value) noexcept;
  // Face name; only the first 31 characters are kept.
  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string Value);
  // Text colour.
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor Value) noexcept { color_ = Value; }

  // The font object describing the current font, owned by this TFont. The same
  // object for the TFont's whole life; its record is brought up to date here
  // after any change, so select it again (or call TCanvas::GetHandle) after
  // changing the font.
  HFONT Handle();

private:
  int32_t height_ = 0;
  uint8_t pitch_ = DEFAULT_PITCH;
  uint8_t style_ = 0;
  uint8_t charset_ = DEFAULT_CHARSET;
  std::string name_ = DefaultFontFace;
  TColor color_ = clBlack;
  bool changed_ = true;
  std::unique_ptr<TFontObject> handle_;
};

// Drawing on a device context with a pen, a brush and a font. Coordinates are
// device pixels; rectangles have right and bottom exclusive.
class TCanvas {
public:
  // A canvas drawing on DC, which must outlive it.
  explicit TCanvas(HDC DC);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The pen for lines and frames.
  TPen* Pen() noexcept { return &pen_; }
  // The brush for fills.
  TBrush* Brush() noexcept { return &brush_; }
  // The font for text.
  TFont* Font() noexcept { return &font_; }

  // The device context with this canvas's pen, brush and font selected and
  // the text colour set to the font's colour.
  HDC GetHandle();

  // Width in pixels of Text in the current font.
  int32_t TextWidth(const std::string& Text);
  // Height in pixels of Text in the current font.
  int32_t TextHeight(const std::string& Text);

  // Moves the pen to (X, Y) without drawing.
  void MoveTo(int32_t X, int32_t Y);
  // Draws a line from the pen position to (X, Y) in the current pen, without
  // its end pixel, and moves the pen there. A pen of width w covers w pixels
  // across the line, the extra pixel of an even width below or right of it.
  // Dashed styles repeat in modules of three dots of a 96-dpi screen at the
  // device's resolution (never less than the pen width): dash 6 on 2 off,
  // dot 1/1, dash-dot 3/2/1/2, dash-dot-dot 3/1/1/1/1/1, starting at the line's
  // first pixel.
  void LineTo(int32_t X, int32_t Y);
  // The pen's position.
  TPoint PenPos() const noexcept;
  // Fills the rectangle with the brush (unless BRUSH_CLEAR) and frames it with
  // the pen (unless PEN_CLEAR). A width-1 pen's frame covers exactly the
  // outermost pixels of the rectangle; wider pens grow about that frame.
  void Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  // Draws Graphic at its natural size with its top-left at (X, Y).
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  // Draws Graphic scaled to fill Rect.
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);

  // Between BeginFigures and EndFigures (calls nest), rectangles that draw as
  // one solid colour, one after the other in the same colour, go to the page
  // as one figure: the same pixels, but one drawing operation instead of one
  // each, which a vector page holds in memory until it is written. Any other
  // drawing through this canvas, or asking for its handle, draws the figure
  // first; device operations on a handle asked for before must not be mixed in.
  void BeginFigures() noexcept;
  void EndFigures() noexcept;

private:
  void SelectPenAndBrush();
  void CheckCanDraw(const char* Operation) const;
  // Adds [Left, Right) x [Top, Bottom) in Color to the open figure; false when
  // no figures are being collected.
  bool AddToFigure(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom, TColor Color);
  // Draws the figure collected so far, if any.
  void FlushFigure() noexcept;

  // The open figure's rectangles, {Left, Top, Right, Bottom} in device
  // pixels; its path is built when it is drawn, so that a cell's four edges can
  // go to the page as one frame and a grid's edges as one bar per line.
  int figureDepth_ = 0;
  std::vector<std::array<int64_t, 4>> figure_;
  TColor figureColor_ = clBlack;

  HDC dc_;
  TPen pen_;
  TBrush brush_;
  TFont font_;
};

// Collects a canvas's solid fills into figures for as long as it lives (see
// TCanvas::BeginFigures); the last figure is drawn when it ends.
class TCanvasFigures {
public:
  explicit TCanvasFigures(TCanvas* Canvas) noexcept : canvas_(Canvas) { canvas_->BeginFigures(); }
  ~TCanvasFigures() { canvas_->EndFigures(); }
  TCanvasFigures(const TCanvasFigures&) = delete;
  TCanvasFigures& operator=(const TCanvasFigures&) = delete;

private:
  TCanvas* canvas_;
};

} // namespace mivora
