// Form descriptions on any text: reading, writing what was read and reading it
// back (which must give the same objects), and creating the components.
#include "FormDescription.h"
#include "FuzzTarget.h"
#include "Mivora.h"

#include <exception>
#include <string>
#include <vector>

using namespace mivora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The sheet is on the palette, so descriptions of sheets create real ones.
  static const bool registered = [] {
    Register();
    return true;
  }();
  static_cast<void>(registered);
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  try {
    const std::vector<TFormObject> objects = ParseFormDescription(text);
    const std::vector<TFormObject> again = ParseFormDescription(FormatFormDescription(objects));
    if (again.size() != objects.size()) __builtin_trap();
    for (size_t i = 0; i < objects.size(); ++i) {
      if (again[i].Name != objects[i].Name || again[i].Properties.size() != objects[i].Properties.size()) {
        __builtin_trap();
      }
    }
  } catch (const std::exception&) {
  }
  try {
    for (const TNamedComponent& named : LoadComponents(text, nullptr)) delete named.Component;
  } catch (const std::exception&) {
  }
  return 0;
}
