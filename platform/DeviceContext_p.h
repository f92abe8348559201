// The device context behind HDC: the Cairo context of the open page and the
// state selected into it. Shared by the platform's .cpp files only.
#pragma once

#include "Gdi.h"

#include <cairo.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace mivora {

// Anything SelectObject and DeleteObject accept.
class TGdiObject {
public:
  virtual ~TGdiObject() = default;
};

// A font: its logical record. Text code may cache backend data in Cache.
class TFontObject : public TGdiObject {
public:
  explicit TFontObject(const LOGFONTA& Record) : LogFont(Record) {}
  ~TFontObject() override;
  LOGFONTA LogFont;
  void* Cache = nullptr;                 // owned by the text code; freed in the destructor
  void (*FreeCache)(void*) = nullptr;
};

class TDeviceContext {
public:
  cairo_t* Cairo = nullptr;      // the page; user space is device pixels (1 unit = 1 dot)
  int32_t DpiX = 600;
  int32_t DpiY = 600;
  int32_t MaxPictureDpi = 0;     // pictures finer than this are reduced on vector targets; 0: never
  int32_t PageWidth = 0;         // printable area in device pixels
  int32_t PageHeight = 0;
  bool Raster = false;           // a pixel target: lines and fills without antialiasing
  bool Idle = false;             // no print job is open: Cairo only measures, drawing is refused

  // State selected into the context (the canvas selects its own before drawing).
  TFontObject* Font = nullptr;   // never null while a page is open
  TColor TextColor = clBlack;
  TColor PenColor = clBlack;
  int32_t PenWidth = 1;
  uint8_t PenStyle = 0;          // psSolid
  TColor BrushColor = clWhite;
  uint8_t BrushStyle = 0;        // bsSolid
  TPoint PenPos;
  int MapMode = MM_TEXT;

  // Non-null on the recording target: every operation is appended here.
  std::vector<TDrawOp>* Log = nullptr;

  // Appends an operation to the log when recording.
  void Record(const char* Name, std::initializer_list<int64_t> Args, std::string Text = {}) {
    if (Log != nullptr) Log->push_back(TDrawOp{Name, std::vector<int64_t>(Args), std::move(Text)});
  }
};

// Device contexts whose selected objects DeleteObject must not destroy.
void RegisterDeviceContext(TDeviceContext* DC);
void UnregisterDeviceContext(TDeviceContext* DC);

// Clips DC to its printable area, or removes every clip when it has none.
void ResetDeviceClip(TDeviceContext& DC);

} // namespace mivora
