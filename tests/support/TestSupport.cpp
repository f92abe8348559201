#include "TestSupport.h"

#include <filesystem>

namespace mivora::test {

std::string OutputDir() {
  const auto dir = std::filesystem::current_path() / "test-output";
  std::filesystem::create_directories(dir);
  return dir.string();
}

} // namespace mivora::test
