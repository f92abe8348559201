// Windowed controls as far as the library needs them: a parent, a visibility
// switch, and the application's main form as the default parent.
#pragma once

#include "Component.h"

#include <cstdint>

namespace mivora {

// A control that can have a parent control and be shown or hidden.
class TWinControl : public TComponent {
public:
  explicit TWinControl(TComponent* AOwner) : TComponent(AOwner) {}
  ~TWinControl() override;

  // The control this one sits in, or null.
  TWinControl* Parent() const noexcept { return parent_; }
  // Places the control in AParent (null detaches it).
  void SetParent(TWinControl* AParent) noexcept { parent_ = AParent; }
  // Whether the control is shown.
  bool Visible() const noexcept { return visible_; }
  void SetVisible(bool Value) noexcept { visible_ = Value; }
  // Answers a window message (see SendMessageA); 0 for messages it does not know.
  virtual intptr_t Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

private:
  TWinControl* parent_ = nullptr;
  bool visible_ = true;
};

// A top-level window; the application keeps one as its main form.
class TForm : public TWinControl {
public:
  explicit TForm(TComponent* AOwner) : TWinControl(AOwner) {}
};

} // namespace mivora
