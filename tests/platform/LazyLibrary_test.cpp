#include "LazyLibrary_p.h"

#include "Barcode.h"
#include "Cups.h"
#include "Exceptions.h"
#include "Picture.h"
#include "TestSupport.h"

#include <link.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace mivora {
namespace {

// The path of a library loaded in this process whose file name starts with Name;
// empty when there is none.
std::string LoadedPath(const std::string& Name) {
  struct TSearch {
    std::string Name;
    std::string Path;
  } search{Name, ""};
  dl_iterate_phdr(
      [](dl_phdr_info* Info, size_t, void* Data) {
        auto* s = static_cast<TSearch*>(Data);
        const std::string path = Info->dlpi_name != nullptr ? Info->dlpi_name : "";
        const std::string file = path.substr(path.find_last_of('/') + 1);
        if (file.rfind(s->Name, 0) == 0) s->Path = path;
        return 0;
      },
      &search);
  return search.Path;
}

bool Loaded(const std::string& Name) { return !LoadedPath(Name).empty(); }

[[noreturn]] void RaiseGraphicError(const std::string& Message) { throw EGraphicError(Message); }

// A program that prints text to a file must not pay for binding the libraries of
// pictures, barcodes and printer queues: each is loaded by its first use.
TEST(LazyLibrary, PictureBarcodeAndQueueLibrariesAreLoadedOnlyByTheirFirstUse) {
  const char* libraries[] = {"librsvg-2.so", "libjpeg.so", "libzint.so", "libcups.so"};
  for (const char* library : libraries) EXPECT_FALSE(Loaded(library)) << library << " is loaded at start-up";

  const auto jpeg = LoadGraphicFromFile(MIVORA_TEST_DATA_DIR "/picture.jpg");
  EXPECT_GT(jpeg->Width(), 0);
  EXPECT_TRUE(Loaded("libjpeg.so"));
  EXPECT_FALSE(Loaded("librsvg-2.so"));

  // librsvg brings its picture loaders, and with them libjpeg: hence this order.
  const auto svg = LoadGraphicFromFile(MIVORA_TEST_DATA_DIR "/picture.svg");
  EXPECT_GT(svg->Width(), 0);
  EXPECT_TRUE(Loaded("librsvg-2.so"));
  EXPECT_FALSE(Loaded("libzint.so"));

  const TBarcodeGraphic code(TSymbology::QrCode, "lazy");
  EXPECT_TRUE(code.Dark(0, 0)); // the finder pattern's corner
  EXPECT_TRUE(Loaded("libzint.so"));
  EXPECT_FALSE(Loaded("libcups.so"));

  EXPECT_FALSE(CupsServerName().empty());
  EXPECT_TRUE(Loaded("libcups.so"));
}

TEST(LazyLibrary, MissingLibraryRaisesTheCallersErrorNamingItEveryTime) {
  TLazyLibrary library("libmivora-absent.so.7", "", "for testing", RaiseGraphicError);
  const std::string expected = "Cannot load libmivora-absent.so.7 for testing: libmivora-absent.so.7: "
                               "cannot open shared object file: No such file or directory";
  EXPECT_THROW_MSG(library.Function("cos"), EGraphicError, expected);
  // Not remembered as loaded: the second call fails the same way instead of crashing.
  EXPECT_THROW_MSG(library.Function("cos"), EGraphicError, expected);
}

TEST(LazyLibrary, LibraryOutsideTheLoadersPathsIsFoundInTheFolderItWasBuiltAgainst) {
  // The maths library under a name the loader cannot find on its own.
  const std::string libm = LoadedPath("libm.so");
  ASSERT_FALSE(libm.empty());
  const std::filesystem::path folder = std::filesystem::path(test::OutputDir()) / "lazy-library";
  std::filesystem::create_directories(folder);
  std::filesystem::remove(folder / "libmivora-maths.so.1");
  std::filesystem::create_symlink(libm, folder / "libmivora-maths.so.1");

  TLazyLibrary library("libmivora-maths.so.1", folder.c_str(), "for testing", RaiseGraphicError);
  const auto cos = library.Function<double (*)(double)>("cos");
  EXPECT_EQ(cos(0.0), 1.0);
  // Without the folder the loader's own reason is reported.
  TLazyLibrary unknown("libmivora-maths.so.1", "", "for testing", RaiseGraphicError);
  EXPECT_THROW_MSG(unknown.Function("cos"), EGraphicError,
                   "Cannot load libmivora-maths.so.1 for testing: libmivora-maths.so.1: cannot open "
                   "shared object file: No such file or directory");
}

TEST(LazyLibrary, FunctionMissingFromTheLibraryIsNamedInTheError) {
  TLazyLibrary library("libm.so.6", "", "for testing", RaiseGraphicError);
  try {
    library.Function("mivora_no_such_function");
    FAIL() << "no error";
  } catch (const EGraphicError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("libm.so.6 for testing has no function mivora_no_such_function (", 0), 0u)
        << e.what();
  }
}

TEST(LazyLibrary, ThreadsCallingFirstAtOnceGetTheSameFunction) {
  TLazyLibrary library("libm.so.6", "", "for testing", RaiseGraphicError);
  using TCos = double (*)(double);
  std::vector<TCos> found(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < found.size(); ++i)
    threads.emplace_back([&, i] { found[i] = library.Function<TCos>("cos"); });
  for (std::thread& thread : threads) thread.join();
  for (TCos cos : found) {
    ASSERT_NE(cos, nullptr);
    EXPECT_EQ(cos, found[0]);
  }
  EXPECT_EQ(found[0](0.0), 1.0);
}

} // namespace
} // namespace mivora
