// Picture loading (PNG, JPEG, SVG told by their content) on any bytes, and the
// natural size of what loads.
#include "FuzzTarget.h"
#include "Picture.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    auto graphic = mivora::LoadGraphicFromMemory(Data, Size, "fuzz picture");
    if (graphic != nullptr && (graphic->Width() < 0 || graphic->Height() < 0)) __builtin_trap();
  } catch (const std::exception&) {
  }
  return 0;
}
