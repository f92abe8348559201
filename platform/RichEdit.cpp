#include "RichEdit.h"

namespace mivora {

TRichEdit::TRichEdit(TComponent* AOwner) : TWinControl(AOwner) {}

TRichEdit::~TRichEdit() = default;

} // namespace mivora
