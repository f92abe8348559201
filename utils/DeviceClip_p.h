// Clipping the drawing primitives use, shared by the utils' .cpp files only.
#pragma once

#include "Gdi.h"

namespace mivora {

// Takes every clip off the device context when it goes out of scope, however
// the drawing ends.
class TClipReset {
public:
  explicit TClipReset(HDC DC) : dc_(DC) {}
  ~TClipReset() { SelectClipRgn(dc_, nullptr); }
  TClipReset(const TClipReset&) = delete;
  TClipReset& operator=(const TClipReset&) = delete;

private:
  HDC dc_;
};

} // namespace mivora
