#include "Mivora.h"

#include "Application.h"
#include "Picture.h"
#include "RichEdit.h"

#include <cmath>

namespace mivora {

namespace {

// Pen slot read for an edge: edBorders (and anything beyond) reads the left pen.
size_t ReadSlot(TEdge Edge) { return Edge < edBorders ? Edge : edLeft; }

} // namespace

TCell::TCell(TMivora* ASheet) : sheet_(ASheet) {}

TCell::~TCell() {
  if (cellType_ != ctText) FreeObject();
}

float TCell::GetWidth() const noexcept { return right_ - left_; }

float TCell::GetHeight() const noexcept { return bottom_ - top_; }

void TCell::RaiseInvalidProperty(const char* Suffix) const {
  throw ECellError("Invalid property error - " + GetName() + Suffix);
}

void TCell::SetEdge(float& Field, float Value, bool Rejected, const char* Suffix) {
  if (Rejected) RaiseInvalidProperty(Suffix);
  Field = Value;
}

// Each edge setter: nothing without a sheet; whole pixels in mtPixels; the value
// may not pass the opposite edge while CheckBounds is on.
void TCell::SetLeft(float Value) {
  if (sheet_ == nullptr) return;
  if (sheet_->Measurement() == mtPixels) Value = std::trunc(Value);
  SetEdge(left_, Value, CheckBounds && Value > right_, ".Left");
}

void TCell::SetTop(float Value) {
  if (sheet_ == nullptr) return;
  if (sheet_->Measurement() == mtPixels) Value = std::trunc(Value);
  SetEdge(top_, Value, CheckBounds && Value > bottom_, ".Top");
}

void TCell::SetRight(float Value) {
  if (sheet_ == nullptr) return;
  if (sheet_->Measurement() == mtPixels) Value = std::trunc(Value);
  SetEdge(right_, Value, CheckBounds && Value < left_, ".Right");
}

void TCell::SetBottom(float Value) {
  if (sheet_ == nullptr) return;
  if (sheet_->Measurement() == mtPixels) Value = std::trunc(Value);
  SetEdge(bottom_, Value, CheckBounds && Value < top_, ".Bottom");
}

void TCell::SetWidth(float Value) {
  if (CheckBounds && Value < 0.0f) RaiseInvalidProperty(".Width");
  SetRight(static_cast<float>(static_cast<long double>(left_) + Value));
}

void TCell::SetHeight(float Value) {
  if (CheckBounds && Value < 0.0f) RaiseInvalidProperty(".Height");
  SetBottom(static_cast<float>(static_cast<long double>(top_) + Value));
}

void TCell::SetCellType(TCellType Value) {
  if (cellType_ != ctText) FreeObject();
  text_.clear();
  cellType_ = Value;
}

void TCell::SetText(std::string Value) {
  SetCellType(ctText);
  text_ = std::move(Value);
}

void TCell::StoreContent(std::unique_ptr<TObject> Object) {
  content_ = std::move(Object);
}

void TCell::SetGraphic(TGraphic* Value) {
  // Handing over the picture the cell already holds keeps it: release it from
  // our care before the type change would free it.
  if (Value != nullptr && Value == content_.get()) (void)content_.release();
  SetCellType(ctGraphic);
  StoreContent(std::unique_ptr<TObject>(Value));
}

void TCell::SetRichEdit(TRichEdit* Value) {
  if (Value != nullptr && Value == content_.get()) (void)content_.release();
  SetCellType(ctRichEdit);
  if (Value == nullptr) return;
  // The cell destroys the control from now on, not the component that made it.
  Value->DetachFromOwner();
  StoreContent(std::unique_ptr<TObject>(Value));
  if (Value->Parent() == nullptr) {
    Value->SetVisible(false);
    Value->SetParent(Application->MainForm());
  }
}

TGraphic* TCell::GetGraphic() const noexcept {
  return cellType_ == ctGraphic ? static_cast<TGraphic*>(content_.get()) : nullptr;
}

TRichEdit* TCell::GetRichEdit() const noexcept {
  return cellType_ == ctRichEdit ? static_cast<TRichEdit*>(content_.get()) : nullptr;
}

void TCell::FreeObject() { content_.reset(); }

std::string TCell::GetName() const {
  if (sheet_ == nullptr) return std::string();
  return sheet_->GetCellName(this);
}

void TCell::SetName(const std::string& Value) {
  if (sheet_ == nullptr) throw ECellError("Invalid cell");
  sheet_->ChangeCellName(this, Value);
}

TColor TCell::GetPenColor(TEdge Edge) const { return Pens[ReadSlot(Edge)].Color; }

int32_t TCell::GetPenWidth(TEdge Edge) const { return Pens[ReadSlot(Edge)].Width; }

uint8_t TCell::GetPenStyle(TEdge Edge) const { return Pens[ReadSlot(Edge)].Style; }

TPenData TCell::GetPenData(TEdge Edge) const { return Pens[ReadSlot(Edge)]; }

// Writing edBorders (or anything beyond) writes all four pens.
template <typename F>
static void ForPens(std::array<TPenData, 4>& Pens, TEdge Edge, F&& Write) {
  if (Edge < edBorders) {
    Write(Pens[Edge]);
  } else {
    for (TPenData& pen : Pens) Write(pen);
  }
}

void TCell::SetPenColor(TEdge Edge, TColor Color) {
  ForPens(Pens, Edge, [&](TPenData& p) { p.Color = Color; });
}

void TCell::SetPenWidth(TEdge Edge, int32_t Width) {
  ForPens(Pens, Edge, [&](TPenData& p) { p.Width = Width; });
}

void TCell::SetPenStyle(TEdge Edge, uint8_t Style) {
  ForPens(Pens, Edge, [&](TPenData& p) { p.Style = Style; });
}

void TCell::SetPenData(TEdge Edge, TPenData Data) {
  ForPens(Pens, Edge, [&](TPenData& p) { p = Data; });
}

} // namespace mivora
