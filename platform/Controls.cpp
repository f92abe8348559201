#include "Controls.h"

namespace mivora {

TWinControl::~TWinControl() = default;

intptr_t TWinControl::Perform(uint32_t, uintptr_t, intptr_t) { return 0; }

} // namespace mivora
