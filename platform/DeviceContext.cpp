// The device-context operations that are not text: device figures, clipping,
// font objects, rectangle arithmetic, the mapping mode and window messages.
#include "DeviceContext_p.h"

#include "Controls.h"
#include "Numbers.h"
#include "RasterPage_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace mivora {

namespace {

// Font objects made by CreateFontIndirectA: only these may DeleteObject destroy.
std::unordered_set<const TGdiObject*>& CreatedObjects() {
  static std::unordered_set<const TGdiObject*> objects;
  return objects;
}

std::unordered_set<const TDeviceContext*>& DeviceContexts() {
  static std::unordered_set<const TDeviceContext*> contexts;
  return contexts;
}

} // namespace

TFontObject::~TFontObject() {
  if (Cache != nullptr && FreeCache != nullptr) FreeCache(Cache);
}

std::string TDrawOp::ToString() const {
  std::string text = Name + "(";
  for (size_t i = 0; i < Args.size(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(Args[i]);
  }
  text += ")";
  if (!Text.empty()) text += " \"" + Text + "\"";
  return text;
}

void RegisterDeviceContext(TDeviceContext* DC) { DeviceContexts().insert(DC); }

void UnregisterDeviceContext(TDeviceContext* DC) { DeviceContexts().erase(DC); }

void ResetDeviceClip(TDeviceContext& DC) {
  if (DC.Cairo == nullptr) return;
  cairo_reset_clip(DC.Cairo);
  if (DC.Idle || DC.PageWidth <= 0 || DC.PageHeight <= 0) return;
  // Nothing lands outside the printable area, as on paper. Only the sides with
  // paper beyond them need the clip: where the area reaches the paper's edge
  // (no margin there) the page ends anyway. Leaving those sides open matters for
  // speed: on vector pages a clip along an edge that falls between whole points
  // of the page makes Cairo clip and emit again every figure that touches it.
  //
  // Without a clip, Cairo answers the page's extents in device pixels (unbounded
  // ones for a recording, which keep the whole clip). They are exact for pixel
  // pages and at the top left of vector pages; at the right and bottom of a
  // vector page they are rounded up to a whole point, so there a margin
  // narrower than a point and a pixel counts as none.
  double paperLeft = 0, paperTop = 0, paperRight = 0, paperBottom = 0;
  cairo_clip_extents(DC.Cairo, &paperLeft, &paperTop, &paperRight, &paperBottom);
  double slackX = 0, slackY = 0;
  if (!DrawsPixels(DC.Cairo)) {
    slackX = 1;
    slackY = 1;
    cairo_device_to_user_distance(DC.Cairo, &slackX, &slackY);
  }
  const double width = DC.PageWidth, height = DC.PageHeight;
  const bool clipLeft = paperLeft <= -1.0, clipTop = paperTop <= -1.0;
  const bool clipRight = paperRight >= width + std::fabs(slackX) + 1.0;
  const bool clipBottom = paperBottom >= height + std::fabs(slackY) + 1.0;
  if (!clipLeft && !clipTop && !clipRight && !clipBottom) return;
  const double left = clipLeft ? 0.0 : paperLeft, top = clipTop ? 0.0 : paperTop;
  const double right = clipRight ? width : paperRight, bottom = clipBottom ? height : paperBottom;
  cairo_rectangle(DC.Cairo, left, top, right - left, bottom - top);
  cairo_clip(DC.Cairo);
}

int GetDeviceCaps(HDC DC, int Index) {
  if (DC == nullptr) return 0;
  switch (Index) {
  case HORZRES: return DC->PageWidth;
  case VERTRES: return DC->PageHeight;
  case LOGPIXELSX: return DC->DpiX;
  case LOGPIXELSY: return DC->DpiY;
  default: return 0;
  }
}

int IntersectClipRect(HDC DC, int Left, int Top, int Right, int Bottom) {
  if (DC == nullptr || DC->Cairo == nullptr) return RGN_ERROR;
  DC->Record("IntersectClipRect", {Left, Top, Right, Bottom});
  const double width = std::max(0.0, static_cast<double>(Right) - Left);
  const double height = std::max(0.0, static_cast<double>(Bottom) - Top);
  cairo_rectangle(DC->Cairo, Left, Top, width, height);
  cairo_clip(DC->Cairo);
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(DC->Cairo, &x1, &y1, &x2, &y2);
  return x2 > x1 && y2 > y1 ? SIMPLEREGION : NULLREGION;
}

int SelectClipRgn(HDC DC, HRGN Region) {
  if (DC == nullptr || DC->Cairo == nullptr) return RGN_ERROR;
  // Only the null region is known here: it removes the clip.
  if (Region != nullptr) return RGN_ERROR;
  DC->Record("SelectClipRgn", {0});
  ResetDeviceClip(*DC);
  return SIMPLEREGION;
}

int GetObjectA(HGDIOBJ Object, int Size, void* Buffer) {
  const auto* font = dynamic_cast<const TFontObject*>(Object);
  if (font == nullptr) return 0;
  if (Buffer == nullptr) return static_cast<int>(sizeof(LOGFONTA));
  if (Size <= 0) return 0;
  const size_t count = std::min(static_cast<size_t>(Size), sizeof(LOGFONTA));
  std::memcpy(Buffer, &font->LogFont, count);
  return static_cast<int>(count);
}

HFONT CreateFontIndirectA(const LOGFONTA* LogFont) {
  if (LogFont == nullptr) return nullptr;
  LOGFONTA record = *LogFont;
  record.lfFaceName[sizeof(record.lfFaceName) - 1] = '\0';
  auto* font = new TFontObject(record);
  CreatedObjects().insert(font);
  return font;
}

HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object) {
  if (DC == nullptr) return nullptr;
  auto* font = dynamic_cast<TFontObject*>(Object);
  if (font == nullptr) return nullptr;
  TFontObject* previous = DC->Font;
  DC->Font = font;
  return previous;
}

bool DeleteObject(HGDIOBJ Object) {
  if (Object == nullptr || CreatedObjects().count(Object) == 0) return false;
  // An object still selected somewhere stays alive: deleting it would leave
  // that context drawing with freed memory.
  for (const TDeviceContext* context : DeviceContexts())
    if (context->Font == Object) return false;
  CreatedObjects().erase(Object);
  delete Object;
  return true;
}

bool OffsetRect(TRect* Rect, int DX, int DY) {
  if (Rect == nullptr) return false;
  Rect->Left = ClampToInt32(int64_t{Rect->Left} + DX);
  Rect->Right = ClampToInt32(int64_t{Rect->Right} + DX);
  Rect->Top = ClampToInt32(int64_t{Rect->Top} + DY);
  Rect->Bottom = ClampToInt32(int64_t{Rect->Bottom} + DY);
  return true;
}

bool InflateRect(TRect* Rect, int DX, int DY) {
  if (Rect == nullptr) return false;
  Rect->Left = ClampToInt32(int64_t{Rect->Left} - DX);
  Rect->Right = ClampToInt32(int64_t{Rect->Right} + DX);
  Rect->Top = ClampToInt32(int64_t{Rect->Top} - DY);
  Rect->Bottom = ClampToInt32(int64_t{Rect->Bottom} + DY);
  return true;
}

int SetMapMode(HDC DC, int Mode) {
  if (DC == nullptr) return 0;
  DC->Record("SetMapMode", {Mode});
  const int previous = DC->MapMode;
  DC->MapMode = Mode;
  return previous;
}

intptr_t SendMessageA(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  if (Wnd == nullptr) return 0;
  return Wnd->Perform(Msg, WParam, LParam);
}

} // namespace mivora
