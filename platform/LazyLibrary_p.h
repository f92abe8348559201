// Libraries that only some jobs need (pictures, barcodes, printer queues) are not
// linked: they are opened the first time one of their functions is called, so a
// job that prints one text cell to a file does not pay for binding them at start-up.
//
// Each such library has one file, Lazy<Library>.cpp, that defines the functions the
// project calls with the signatures of the library's own header (the header is
// included, so the compiler checks them). Each definition finds the real function
// in the library on its first call and calls it. Calling a function of the library
// that is not defined there fails to link: add it to that file.
#pragma once

#include <mutex>
#include <string>

namespace mivora {

// A shared library opened on first use, by its run-time name (its SONAME).
class TLazyLibrary {
public:
  // Raise throws the error its caller expects for a library it cannot use.
  using TRaise = void (*)(const std::string& Message);

  // SoName is opened on first use, from the loader's usual places or else from
  // Folder (where it was found at build time; may be empty). Purpose ("for SVG
  // pictures") goes into the error when it cannot be opened. Nothing is done
  // before the first use.
  constexpr TLazyLibrary(const char* SoName, const char* Folder, const char* Purpose,
                         TRaise Raise) noexcept
      : soName_(SoName), folder_(Folder), purpose_(Purpose), raise_(Raise) {}
  TLazyLibrary(const TLazyLibrary&) = delete;
  TLazyLibrary& operator=(const TLazyLibrary&) = delete;

  // The address of the function Name in the library, opening the library first if
  // needed. Raises "Cannot load <SoName> <Purpose>: <reason>" when the library
  // cannot be opened and "<SoName> has no function <Name>" when it lacks it.
  void* Function(const char* Name);

  // The function Name as a pointer of the type Function (the header's own type).
  template <typename TFunction> TFunction Function(const char* Name) {
    return reinterpret_cast<TFunction>(Function(Name));
  }

private:
  void Open();
  [[noreturn]] void Fail(const std::string& Message) const;

  const char* soName_;
  const char* folder_;
  const char* purpose_;
  TRaise raise_;
  std::once_flag opened_;
  void* handle_ = nullptr;
};

} // namespace mivora

// Inside the definition of a library's function: finds the real Name in Library once
// (thread-safe; a failure is raised again on the next call) and calls it with the
// given arguments.
#define MIVORA_LAZY_CALL(Library, Name, ...)                                                       \
  static const auto real = (Library).Function<decltype(&::Name)>(#Name);                          \
  return real(__VA_ARGS__)
