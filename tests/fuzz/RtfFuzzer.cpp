// The RTF reader on any bytes.
#include "FuzzTarget.h"
#include "RtfReader_p.h"

#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    mivora::ReadRtf(std::string_view(reinterpret_cast<const char*>(Data), Size), "\"fuzz.rtf\"");
  } catch (const std::exception&) {
  }
  return 0;
}
