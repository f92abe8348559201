// The rich-edit control: formatted text that draws itself onto a device in answer
// to a formatting request.
#pragma once

#include "Controls.h"

#include <string>

namespace mivora {

class TRichEdit : public TWinControl {
public:
  explicit TRichEdit(TComponent* AOwner);
  ~TRichEdit() override;

  // The plain text of the control.
  const std::string& Text() const noexcept { return text_; }
  void SetText(std::string Value) { text_ = std::move(Value); }

private:
  std::string text_;
};

} // namespace mivora
