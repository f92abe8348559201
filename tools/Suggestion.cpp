#include "Suggestion.h"

#include <algorithm>
#include <cctype>

namespace mivora::tool {

size_t EditDistance(const std::string& A, const std::string& B) {
  std::vector<size_t> row(B.size() + 1);
  for (size_t j = 0; j <= B.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= A.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= B.size(); ++j) {
      const size_t above = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(A[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(B[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[B.size()];
}

std::string Suggestion(const std::string& Written, const std::vector<std::string>& Candidates) {
  std::string best;
  size_t bestDistance = std::max<size_t>(2, Written.size() / 3) + 1;
  for (const std::string& candidate : Candidates) {
    const size_t distance = EditDistance(Written, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best.empty() ? std::string() : "; did you mean \"" + best + "\"?";
}

} // namespace mivora::tool
