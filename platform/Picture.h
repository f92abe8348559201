// Pictures: an image with a natural size in pixels that a canvas can draw at that
// size or scaled into a rectangle.
#pragma once

#include "Component.h"

#include <cstdint>

namespace mivora {

// Base of every picture kind. A cell that shows a picture owns it.
class TGraphic : public TObject {
public:
  ~TGraphic() override;
  // Natural width in pixels.
  virtual int32_t Width() const = 0;
  // Natural height in pixels.
  virtual int32_t Height() const = 0;
};

} // namespace mivora
