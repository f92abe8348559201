// Small numeric helpers shared by every layer: saturating conversions to the
// 32-bit device integers, and numbers written the same way in every locale.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

namespace mivora {

// Value clamped to the range of int32_t.
inline int32_t ClampToInt32(int64_t Value) noexcept {
  return static_cast<int32_t>(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Value rounded to the nearest integer, halves to the even neighbour, and held
// within the range of int32_t; not a number gives 0.
inline int32_t RoundToInt32(double Value) noexcept {
  if (std::isnan(Value)) return 0;
  const double r = std::nearbyint(Value);
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

// Value as the shortest usual decimal text ("2.5", "1e+06"), with a point as the
// decimal separator whatever the process's locale; Precision significant digits
// (6 by default, as printf's %g).
inline std::string FormatNumber(double Value, int Precision = 6) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text.precision(Precision);
  text << Value;
  return text.str();
}

} // namespace mivora
