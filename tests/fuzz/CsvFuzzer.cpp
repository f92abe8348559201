// The data-file reader on any bytes: the whole-text reader with a comma, the
// streaming reader with the separator the first byte picks.
#include "Csv.h"
#include "FuzzTarget.h"

#include <exception>
#include <memory>
#include <sstream>
#include <string>

using namespace mivora::tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  try {
    ParseCsv(text, "fuzz.csv", ',');
  } catch (const std::exception&) {
  }
  if (Size > 0) {
    static const char kSeparators[] = {',', ';', '\t', '|', '"', '\n'};
    const char separator = kSeparators[Data[0] % sizeof(kSeparators)];
    try {
      TCsvReader reader(std::make_unique<std::istringstream>(text.substr(1)), "fuzz.csv", separator);
      TCsvRecord record;
      while (reader.Next(record)) {
      }
    } catch (const std::exception&) {
    }
  }
  return 0;
}
