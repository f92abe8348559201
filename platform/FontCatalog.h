// The fonts the text engine can use: which face a family name really gets, and
// font files made available for the length of one job.
#pragma once

#include "Component.h"

#include <string>
#include <vector>

namespace mivora {

// A font file that cannot be used: missing, unreadable, or not a font. The
// message names the file.
class EFontError : public Exception {
public:
  using Exception::Exception;
};

// The family that text asked for in Family is drawn with: Family itself when a
// font of that name is installed, otherwise what fontconfig substitutes.
std::string ResolvedFontFamily(const std::string& Family);

// Whether Family is drawn with a font that is not that family and not one
// fontconfig declares equivalent to it (a metric-compatible alias such as
// Liberation Sans for Arial, or a generic name such as "sans-serif"). When it is
// replaced, Replacement receives the family used instead.
bool FontFamilyReplaced(const std::string& Family, std::string& Replacement);

// Font files added to the fonts the text engine sees, for as long as the object
// lives. Add before any text using their families is measured or drawn.
class TFontFiles {
public:
  TFontFiles() = default;
  // Takes the added files away again.
  ~TFontFiles();
  TFontFiles(const TFontFiles&) = delete;
  TFontFiles& operator=(const TFontFiles&) = delete;

  // Makes the font file at Path available. Raises EFontError naming Path when it
  // cannot be read or holds no font.
  void Add(const std::string& Path);
  // The files added, in order.
  const std::vector<std::string>& Files() const noexcept { return files_; }
  // The families the added files provide.
  std::vector<std::string> Families() const;

private:
  std::vector<std::string> files_;
};

} // namespace mivora
