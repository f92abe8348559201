// Pictures and rich text in a cell's rectangle: a picture at its natural size or
// stretched, and a rich-edit control formatting its text straight onto the device.
#include "MivoraUtils.h"

#include "Canvas.h"
#include "Gdi.h"
#include "Picture.h"
#include "RichEdit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace mivora {

namespace {

int32_t Clamp32(int64_t Value) {
  return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

// A device coordinate in twips (1440 per inch): the exact product over the
// resolution, rounded to the nearest whole twip, halves to the even neighbour.
int32_t ToTwips(int32_t Value, int Resolution) {
  const int64_t product = int64_t{Value} * 1440;
  return Clamp32(static_cast<int64_t>(
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

} // namespace

void ShowGraphic(TCanvas* Canvas, TGraphic* Graphic, TRect Rect, bool Stretch, uint8_t Alignment,
                 uint8_t Layout) {
  if (Canvas == nullptr || Graphic == nullptr) return;
  const int64_t width = int64_t{Rect.Right} - Rect.Left;
  const int64_t height = int64_t{Rect.Bottom} - Rect.Top;
  const int64_t naturalWidth = Graphic->Width();
  const int64_t naturalHeight = Graphic->Height();
  if (Stretch || naturalWidth > width || naturalHeight > height) {
    Canvas->StretchDraw(Rect, Graphic);
    return;
  }
  // Halves truncate: an odd leftover puts the extra pixel at the right and bottom.
  int64_t dx = 0;
  if (Alignment == 1) dx = width - naturalWidth;
  if (Alignment == 2) dx = (width - naturalWidth) / 2;
  int64_t dy = 0;
  if (Layout == 1) dy = (height - naturalHeight) / 2;
  if (Layout == 2) dy = height - naturalHeight;
  OffsetRect(&Rect, Clamp32(dx), Clamp32(dy));
  Canvas->Draw(Rect.Left, Rect.Top, Graphic);
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
