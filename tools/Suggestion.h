// "Did you mean ...?": the closest of the names a user could have meant.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mivora::tool {

// The number of single-character insertions, deletions and replacements that
// turn A into B, letter case ignored.
size_t EditDistance(const std::string& A, const std::string& B);

// "; did you mean "X"?" for the closest of Candidates to Written, when one is
// close enough to be a likely misspelling; empty otherwise.
std::string Suggestion(const std::string& Written, const std::vector<std::string>& Candidates);

} // namespace mivora::tool
