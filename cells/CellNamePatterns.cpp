#include "Mivora.h"

#include <string_view>

namespace mivora {

namespace {

// The shapes a name pattern can take, by where its asterisks stand.
enum class TPatternShape { Exact, StartsWith, EndsWith, Contains, PrefixAndSuffix };

bool StartsWith(std::string_view Name, std::string_view Prefix) {
  return Name.size() >= Prefix.size() && Name.substr(0, Prefix.size()) == Prefix;
}

bool EndsWith(std::string_view Name, std::string_view Suffix) {
  return Name.size() >= Suffix.size() && Name.substr(Name.size() - Suffix.size()) == Suffix;
}

} // namespace

bool TMivora::StringMatchCellName(const std::string& Pattern, const TCell* Cell) const {
  // Only an asterisk at either end, or the first one inside, is a wildcard;
  // every other character, asterisks included, stands for itself.
  std::string_view p = Pattern;
  TPatternShape shape = TPatternShape::Exact;
  if (!p.empty() && p.front() == '*') {
    shape = TPatternShape::EndsWith;
    p.remove_prefix(1);
  }
  if (!p.empty() && p.back() == '*') {
    shape = shape == TPatternShape::Exact ? TPatternShape::StartsWith : TPatternShape::Contains;
    p.remove_suffix(1);
  }
  size_t star = std::string_view::npos;
  if (shape == TPatternShape::Exact) {
    star = p.find('*');
    if (star != std::string_view::npos) shape = TPatternShape::PrefixAndSuffix;
  }

  const std::string_view name = GetCellName(Cell);
  switch (shape) {
  case TPatternShape::Exact:
    return name == p;
  case TPatternShape::StartsWith:
    return StartsWith(name, p);
  case TPatternShape::EndsWith:
    return EndsWith(name, p); // an empty rest ("*" alone) matches every name
  case TPatternShape::Contains:
    return !p.empty() && name.find(p) != std::string_view::npos;
  case TPatternShape::PrefixAndSuffix:
    // The two ends are tested independently, so they may overlap in the name.
    return StartsWith(name, p.substr(0, star)) && EndsWith(name, p.substr(star + 1));
  }
  return false;
}

} // namespace mivora
