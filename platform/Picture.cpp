#include "Picture.h"

namespace mivora {

TGraphic::~TGraphic() = default;

} // namespace mivora
