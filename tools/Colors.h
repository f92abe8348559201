// Colours as layouts and data write them.
#pragma once

#include "Types.h"

#include <string>
#include <vector>

namespace mivora::tool {

// Parses "#RGB", "#RRGGBB" or a CSS colour name such as "orange" (letter case
// ignored) into Color; false, leaving Color as it was, when Text is none of them.
bool ParseColor(const std::string& Text, TColor& Color);

// The CSS colour names, lower case, in alphabetical order.
std::vector<std::string> ColorNames();

} // namespace mivora::tool
