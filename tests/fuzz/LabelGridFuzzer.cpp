// Label grids and merge settings on any text: the "labels" and "merge" objects
// of a layout read in each unit of length, every label's rectangle of the grid
// taken, and the "records" member read as a --records selection.
#include "FuzzTarget.h"
#include "Merge.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <string>

using namespace mivora::tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const nlohmann::json top = nlohmann::json::parse(Data, Data + Size, nullptr, false);
  if (top.is_discarded() || !top.is_object()) return 0;
  const auto member = [&](const char* Key) -> const nlohmann::json* {
    const auto it = top.find(Key);
    return it == top.end() ? nullptr : &*it;
  };
  // Pixels and points have no fixed length (0); centimetres, millimetres, inches.
  for (const double mmPerUnit : {0.0, 10.0, 1.0, 25.4}) {
    try {
      const TMergeLayout merge = ParseMergeLayout(member("labels"), member("merge"), "fuzz.json", mmPerUnit);
      if (merge.Grid) {
        const int32_t count = std::min<int32_t>(merge.Grid->Count(), 4096);
        double sum = 0;
        for (int32_t i = 0; i < count; ++i) {
          const TLabelRect rect = LabelRect(*merge.Grid, i);
          sum += rect.Left + rect.Top + rect.Width + rect.Height;
        }
        if (sum < 0) return 0;
      }
    } catch (const std::exception&) {
    }
  }
  if (const nlohmann::json* records = member("records"); records != nullptr && records->is_string()) {
    try {
      const TRecordSelection selection = TRecordSelection::Parse(records->get<std::string>());
      const size_t largest = selection.Largest();
      for (const size_t record : {size_t{0}, size_t{1}, largest, largest + 1, SIZE_MAX}) selection.Contains(record);
    } catch (const std::exception&) {
    }
  }
  return 0;
}
