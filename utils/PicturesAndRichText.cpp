// Pictures and rich text in a cell's rectangle: a picture at its natural size or
// stretched, and a rich-edit control formatting its text straight onto the device.
#include "MivoraUtils.h"

#include "Barcode.h"
#include "Canvas.h"
#include "DeviceClip_p.h"
#include "Gdi.h"
#include "Numbers.h"
#include "Picture.h"
#include "RichEdit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace mivora {

namespace {

// A device coordinate in twips (1440 per inch): the exact product over the
// resolution, rounded to the nearest whole twip, halves to the even neighbour.
int32_t ToTwips(int32_t Value, int Resolution) {
  const int64_t product = int64_t{Value} * 1440;
  return ClampToInt32(static_cast<int64_t>(
      std::nearbyint(static_cast<double>(product) / static_cast<double>(Resolution))));
}

// Puts the device context's mapping mode back when it goes out of scope.
class TMapModeRestorer {
public:
  TMapModeRestorer(HDC DC, int Mode) : dc_(DC), mode_(Mode) {}
  ~TMapModeRestorer() { SetMapMode(dc_, mode_); }
  TMapModeRestorer(const TMapModeRestorer&) = delete;
  TMapModeRestorer& operator=(const TMapModeRestorer&) = delete;

private:
  HDC dc_;
  int mode_;
};

// A picture's natural size in device pixels: one per picture pixel, or, when
// OwnResolution is set and the picture tells its resolution, its own inches at
// the device's resolution.
struct TNaturalSize {
  double Width;
  double Height;
  bool OnePixelPerPixel;
};

TNaturalSize NaturalSize(TCanvas* Canvas, const TGraphic& Graphic, bool OwnResolution) {
  const double width = Graphic.Width(), height = Graphic.Height();
  const double resolutionX = Graphic.ResolutionX(), resolutionY = Graphic.ResolutionY();
  if (!OwnResolution || !(resolutionX > 0.0) || !(resolutionY > 0.0)) return {width, height, true};
  const HDC dc = Canvas->GetHandle();
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  if (dpiX <= 0 || dpiY <= 0) return {width, height, true};
  return {width * dpiX / resolutionX, height * dpiY / resolutionY, false};
}

// A Width x Height rectangle placed in Rect by alignment (0 left, 1 right,
// 2 centre) and layout (0 top, 1 centre, 2 bottom). Halves truncate toward zero:
// an odd leftover puts the extra pixel at the right and bottom.
TRect Placed(const TRect& Rect, int64_t Width, int64_t Height, uint8_t Alignment, uint8_t Layout) {
  const int64_t spareX = int64_t{Rect.Right} - Rect.Left - Width;
  const int64_t spareY = int64_t{Rect.Bottom} - Rect.Top - Height;
  int64_t dx = 0;
  if (Alignment == 1) dx = spareX;
  if (Alignment == 2) dx = spareX / 2;
  int64_t dy = 0;
  if (Layout == 1) dy = spareY / 2;
  if (Layout == 2) dy = spareY;
  const int64_t left = Rect.Left + dx, top = Rect.Top + dy;
  return TRect{ClampToInt32(left), ClampToInt32(top), ClampToInt32(left + Width), ClampToInt32(top + Height)};
}

} // namespace

void ShowGraphic(TCanvas* Canvas, TGraphic* Graphic, TRect Rect, bool Stretch, uint8_t Alignment,
                 uint8_t Layout, TGraphicFit Fit) {
  if (Canvas == nullptr || Graphic == nullptr) return;
  // A barcode is sized to its cell on whole device pixels, whatever Stretch says.
  if (const auto* barcode = dynamic_cast<const TBarcodeGraphic*>(Graphic)) {
    DrawBarcode(Canvas->GetHandle(), Canvas->Font()->Color(), *barcode, Rect, Alignment, Layout);
    return;
  }
  const int64_t width = int64_t{Rect.Right} - Rect.Left;
  const int64_t height = int64_t{Rect.Bottom} - Rect.Top;
  // Only an explicit natural fit reads the picture's resolution: by default a
  // picture pixel is a device pixel, as callers of Stretch have always had it.
  const TNaturalSize natural = NaturalSize(Canvas, *Graphic, Fit != gfAuto);

  if (Fit == gfContain || Fit == gfCover) {
    if (width <= 0 || height <= 0 || !(natural.Width > 0.0) || !(natural.Height > 0.0)) return;
    const double scaleX = static_cast<double>(width) / natural.Width;
    const double scaleY = static_cast<double>(height) / natural.Height;
    const double scale = Fit == gfContain ? std::min(scaleX, scaleY) : std::max(scaleX, scaleY);
    int64_t w = std::llround(std::min(natural.Width * scale, 1e12));
    int64_t h = std::llround(std::min(natural.Height * scale, 1e12));
    // Rounding may miss the rectangle's side by a pixel: the side that fits stays exact.
    if (Fit == gfContain) {
      w = std::clamp<int64_t>(w, 1, width);
      h = std::clamp<int64_t>(h, 1, height);
    } else {
      w = std::max(w, width);
      h = std::max(h, height);
    }
    const TRect target = Placed(Rect, w, h, Alignment, Layout);
    if (w <= width && h <= height) {
      Canvas->StretchDraw(target, Graphic);
      return;
    }
    // Covering: what lies outside the rectangle is cut off.
    const HDC dc = Canvas->GetHandle();
    IntersectClipRect(dc, Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
    const TClipReset restorer(dc);
    Canvas->StretchDraw(target, Graphic);
    return;
  }

  const int64_t naturalWidth = std::max<int64_t>(1, std::llround(std::min(natural.Width, 1e12)));
  const int64_t naturalHeight = std::max<int64_t>(1, std::llround(std::min(natural.Height, 1e12)));
  if (Stretch || naturalWidth > width || naturalHeight > height) {
    Canvas->StretchDraw(Rect, Graphic);
    return;
  }
  const TRect target = Placed(Rect, naturalWidth, naturalHeight, Alignment, Layout);
  if (natural.OnePixelPerPixel)
    Canvas->Draw(target.Left, target.Top, Graphic);
  else
    Canvas->StretchDraw(target, Graphic);
}

void ShowRichEdit(TCanvas* Canvas, TRichEdit* RichEdit, TRect Rect) {
  if (Canvas == nullptr || RichEdit == nullptr) return;
  const HDC dc = Canvas->GetHandle();
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  if (dpiX <= 0 || dpiY <= 0) {
    throw ERichEditError("Cannot print rich text on a device with resolution " +
                         std::to_string(dpiX) + " x " + std::to_string(dpiY) +
                         " dots per inch");
  }

  // A margin of a twentieth of an inch on each side.
  InflateRect(&Rect, -(dpiX / 20), -(dpiY / 20));
  RichEdit->PageRect = TRect{ToTwips(Rect.Left, dpiX), ToTwips(Rect.Top, dpiY),
                             ToTwips(Rect.Right, dpiX), ToTwips(Rect.Bottom, dpiY)};

  FORMATRANGE range{};
  range.hdc = dc;
  range.hdcTarget = dc;
  range.rc = RichEdit->PageRect;
  range.rcPage = RichEdit->PageRect;
  range.chrg.cpMin = 0;
  range.chrg.cpMax = -1;

  const TMapModeRestorer restorer(dc, SetMapMode(dc, MM_TEXT));
  try {
    SendMessageA(RichEdit, EM_FORMATRANGE, 0, 0);
    // The reply, the first character that did not fit, is not needed: the rest
    // of the text is not printed.
    SendMessageA(RichEdit, EM_FORMATRANGE, 1, reinterpret_cast<intptr_t>(&range));
  } catch (...) {
    // The control still releases its formatting; the caller sees the first failure.
    try {
      SendMessageA(RichEdit, EM_FORMATRANGE, 0, 0);
    } catch (...) {
    }
    throw;
  }
  SendMessageA(RichEdit, EM_FORMATRANGE, 0, 0);
}

} // namespace mivora
