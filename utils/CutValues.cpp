#include "MivoraUtils.h"

#include "Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mivora {

namespace {

bool IsMarker(float Entry) { return Entry < 0.0f; }

// How many times a repeat marker hands out its value: the marker's absolute value
// rounded to the nearest integer (halves to even), at least 1. Counts beyond the
// range of a 32-bit integer are held at its maximum rather than overflowing.
int32_t RepeatCount(float Marker) {
  return std::max(1, RoundToInt32(std::fabs(static_cast<double>(Marker))));
}

} // namespace

void ResetCutValueRec(TCutValueRec& Rec) {
  Rec.Index = 0;
  Rec.Remaining = 0;
}

int32_t CutValuesCount(std::span<const float> Values) {
  const size_t size = Values.size();
  int64_t count = 0;
  size_t i = 0;
  while (i < size) {
    if (!IsMarker(Values[i])) {
      ++count;
      ++i;
      continue;
    }
    // Only the last marker of a run counts; a run at the very end stands for nothing.
    while (i + 1 < size && IsMarker(Values[i + 1])) ++i;
    if (i + 1 >= size) break;
    count += RepeatCount(Values[i]);
    i += 2;
  }
  return ClampToInt32(count);
}

bool CutValue(std::span<const float> Values, TCutValueRec& Rec, float& Value) {
  const int64_t high = static_cast<int64_t>(Values.size()) - 1;
  if (Rec.Index < 0 || Rec.Index > high) return false;

  auto at = [&](int64_t i) { return Values[static_cast<size_t>(i)]; };
  if (!IsMarker(at(Rec.Index))) {
    Value = at(Rec.Index);
    Rec.Remaining = 0;
    ++Rec.Index;
    return true;
  }
  while (Rec.Index < high && IsMarker(at(Rec.Index + 1))) ++Rec.Index;
  if (Rec.Index == high) return false; // markers with no value after them end the list

  if (Rec.Remaining <= 0) Rec.Remaining = RepeatCount(at(Rec.Index));
  Value = at(Rec.Index + 1);
  if (--Rec.Remaining == 0) Rec.Index += 2;
  return true;
}

} // namespace mivora
