#include "Mivora.h"

#include <cmath>

namespace mivora {

namespace {

// Switches a cell's validation off for a compound edit and on again at the end,
// also when the edit is left by an error.
class TUncheckedEdit {
public:
  explicit TUncheckedEdit(TCell& Cell) : cell_(Cell) { cell_.CheckBounds = false; }
  ~TUncheckedEdit() { cell_.CheckBounds = true; }
  TUncheckedEdit(const TUncheckedEdit&) = delete;
  TUncheckedEdit& operator=(const TUncheckedEdit&) = delete;

private:
  TCell& cell_;
};

float Half(float Edge, float Delta, int Sign) {
  return static_cast<float>(static_cast<long double>(Edge) + Sign * (Delta * 0.5L));
}

} // namespace

void TCell::Inflate(float DX, float DY) {
  if (sheet_ == nullptr) return;
  if (sheet_->Measurement() == mtPercentage) {
    DX = DX * GetWidth();
    DY = DY * GetHeight();
  }
  if (-DX > GetWidth()) DX = -GetWidth();
  if (-DY > GetHeight()) DY = -GetHeight();

  TUncheckedEdit unchecked(*this);
  SetLeft(Half(left_, DX, -1));
  SetRight(Half(right_, DX, +1));
  if (right_ < left_) SetRight(left_);
  SetTop(Half(top_, DY, -1));
  SetBottom(Half(bottom_, DY, +1));
  if (bottom_ < top_) SetBottom(top_);
}

void TCell::CenterOnPage(TCellCenter Center) {
  if (sheet_ == nullptr) return;
  // Ask the printer first: its errors leave the cell as it was.
  const float pageW = Center != ccVertical ? sheet_->PageW() : 0.0f;
  const float pageH = Center != ccHorizontal ? sheet_->PageH() : 0.0f;

  TUncheckedEdit unchecked(*this);
  if (Center != ccVertical) {
    const float w = GetWidth();
    SetLeft(static_cast<float>((static_cast<long double>(pageW) - w) * 0.5L));
    SetWidth(w);
  }
  if (Center != ccHorizontal) {
    const float h = GetHeight();
    SetTop(static_cast<float>((static_cast<long double>(pageH) - h) * 0.5L));
    SetHeight(h);
  }
}

void TCell::Magnification(float Factor, bool ScaleFont) {
  TUncheckedEdit unchecked(*this);
  const long double f = Factor;
  SetLeft(static_cast<float>(left_ * f));
  SetTop(static_cast<float>(top_ * f));
  SetRight(static_cast<float>(right_ * f));
  SetBottom(static_cast<float>(bottom_ * f));
  if (ScaleFont) Font.Height = static_cast<float>(std::nearbyint(Font.Height * f));
}

} // namespace mivora
