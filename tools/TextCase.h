// Letter case of the ASCII words the command reads: keywords, extensions,
// column and cell names compared without case.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace mivora::tool {

// Text with the ASCII letters A to Z in lower case; other bytes as they are.
inline std::string Lower(std::string_view Text) {
  std::string lower(Text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

} // namespace mivora::tool
