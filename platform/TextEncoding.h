// Strings are 8-bit clean. They are read as UTF-8; a byte that does not start a
// valid UTF-8 sequence is read as the Windows-1252 character of that byte.
#pragma once

#include <string>
#include <string_view>

namespace mivora {

// The string as valid UTF-8, invalid bytes replaced by their Windows-1252 character.
std::string ToUtf8(std::string_view Text);

// A key under which names that differ only in letter case (any script) are equal.
std::string FoldCase(std::string_view Text);

} // namespace mivora
