#include "FontCatalog.h"

#include "TextEncoding.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>

namespace mivora {

namespace {

struct TPatternFree {
  void operator()(FcPattern* Pattern) const { FcPatternDestroy(Pattern); }
};
using TPattern = std::unique_ptr<FcPattern, TPatternFree>;

const FcChar8* Fc(const std::string& Text) { return reinterpret_cast<const FcChar8*>(Text.c_str()); }
std::string Str(const FcChar8* Text) { return Text != nullptr ? reinterpret_cast<const char*>(Text) : ""; }

// The names every fontconfig setup maps to a face of its choice.
bool IsGenericFamily(const std::string& Family) {
  static constexpr std::array<std::string_view, 10> generic = {
      "sans-serif", "sans", "serif", "monospace", "mono", "cursive", "fantasy", "system-ui", "emoji", "math"};
  const std::string folded = FoldCase(Family);
  return std::find(generic.begin(), generic.end(), folded) != generic.end();
}

// Family as the text engine asks for it: UTF-8, the default face when empty.
std::string EngineFamily(const std::string& Family) {
  const std::string utf8 = ToUtf8(Family);
  return utf8.empty() ? std::string("sans-serif") : utf8;
}

// The pattern the text engine's request becomes after fontconfig's substitutions.
TPattern Substituted(const std::string& Family) {
  TPattern pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, Fc(Family));
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

// The family names of the font fontconfig matches for Pattern (a font may carry
// several, such as localised ones); the first is its usual name.
std::vector<std::string> MatchedFamilies(FcPattern* Pattern) {
  FcResult result = FcResultNoMatch;
  TPattern match(FcFontMatch(nullptr, Pattern, &result));
  std::vector<std::string> names;
  if (!match) return names;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i)
    names.push_back(Str(name));
  return names;
}

// Family names compare as fontconfig compares them: letter case and blanks ignored.
std::string FamilyKey(const std::string& Family) {
  std::string key;
  for (const char c : FoldCase(Family)) {
    if (c != ' ') key.push_back(c);
  }
  return key;
}

bool SameFamily(const std::string& A, const std::string& B) { return FamilyKey(A) == FamilyKey(B); }

// Whether the substitutions put Family into the request with a binding that
// declares it equivalent to what was asked for (an alias with binding "same" or
// "strong"), rather than as a weak fallback.
bool BoundAsEquivalent(FcPattern* Request, const std::string& Family) {
  FcValue value;
  FcValueBinding binding = FcValueBindingWeak;
  for (int i = 0; FcPatternGetWithBinding(Request, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
    if (value.type != FcTypeString) continue;
    if (SameFamily(Str(value.u.s), Family)) return binding != FcValueBindingWeak;
  }
  return false;
}

} // namespace

std::string ResolvedFontFamily(const std::string& Family) {
  const TPattern request = Substituted(EngineFamily(Family));
  const std::vector<std::string> names = MatchedFamilies(request.get());
  return names.empty() ? std::string() : names.front();
}

bool FontFamilyReplaced(const std::string& Family, std::string& Replacement) {
  const std::string family = EngineFamily(Family);
  if (IsGenericFamily(family)) return false;
  const TPattern request = Substituted(family);
  const std::vector<std::string> names = MatchedFamilies(request.get());
  if (names.empty()) {
    Replacement.clear();
    return true;
  }
  for (const std::string& name : names) {
    if (SameFamily(name, family)) return false;
  }
  if (BoundAsEquivalent(request.get(), names.front())) return false;
  Replacement = names.front();
  return true;
}

TFontFiles::~TFontFiles() {
  if (files_.empty()) return;
  FcConfigAppFontClear(nullptr);
}

void TFontFiles::Add(const std::string& Path) {
  // fontconfig says only yes or no: find out why a file is refused first.
  std::ifstream probe(Path, std::ios::binary);
  if (!probe) {
    throw EFontError("Cannot read the font file \"" + Path + "\": " + std::strerror(errno));
  }
  int count = 0;
  TPattern face(FcFreeTypeQuery(Fc(Path), 0, nullptr, &count));
  if (!face || count < 1) {
    throw EFontError("The file \"" + Path + "\" is not a font that can be used (TrueType, OpenType or Type 1)");
  }
  if (FcConfigAppFontAddFile(nullptr, Fc(Path)) != FcTrue) {
    throw EFontError("Cannot add the font file \"" + Path + "\"");
  }
  files_.push_back(Path);
}

std::vector<std::string> TFontFiles::Families() const {
  std::vector<std::string> families;
  for (const std::string& path : files_) {
    int count = 0;
    TPattern face(FcFreeTypeQuery(Fc(path), 0, nullptr, &count));
    FcChar8* name = nullptr;
    if (face && FcPatternGetString(face.get(), FC_FAMILY, 0, &name) == FcResultMatch) {
      const std::string family = Str(name);
      if (std::find(families.begin(), families.end(), family) == families.end()) families.push_back(family);
    }
  }
  return families;
}

} // namespace mivora
