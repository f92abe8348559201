#include "LazyLibrary_p.h"

#include "Exceptions.h"

#include <dlfcn.h>

namespace mivora {

namespace {

// The loader's last error, or Fallback when it has none.
std::string LoaderError(const char* Fallback) {
  const char* error = dlerror();
  return error != nullptr ? error : Fallback;
}

} // namespace

void TLazyLibrary::Fail(const std::string& Message) const {
  raise_(Message);
  // Raise always throws; should it return, the error is not lost.
  throw Exception(Message);
}

void TLazyLibrary::Open() {
  dlerror();
  // Every symbol is bound now, so that a broken installation is reported here as an
  // error, not as a crash in the middle of a page. Local: its names do not mix
  // with the program's.
  void* handle = dlopen(soName_, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // The loader's own reason is the one worth reporting; the folder the library
    // was built against is only a second chance (an installation outside the
    // loader's paths).
    const std::string reason = LoaderError("the loader gave no reason");
    if (folder_[0] != '\0') handle = dlopen((std::string(folder_) + "/" + soName_).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) Fail(std::string("Cannot load ") + soName_ + " " + purpose_ + ": " + reason);
  }
  // Kept open for the life of the process, as a linked library would be.
  handle_ = handle;
}

void* TLazyLibrary::Function(const char* Name) {
  // A failed attempt leaves the flag unset: the next call tries again and raises
  // the same error (or succeeds, once the library is installed).
  std::call_once(opened_, &TLazyLibrary::Open, this);
  dlerror();
  void* function = dlsym(handle_, Name);
  if (function == nullptr) {
    Fail(std::string(soName_) + " " + purpose_ + " has no function " + Name + " (" +
         LoaderError("not found") + "); a newer version of the library is needed");
  }
  return function;
}

} // namespace mivora
