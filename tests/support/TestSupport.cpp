#include "TestSupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

namespace mivora::test {

std::string OutputDir() {
  const auto dir = std::filesystem::current_path() / "test-output";
  std::filesystem::create_directories(dir);
  return dir.string();
}

TCommandResult RunCommandWithStatus(const std::string& Command) {
  TCommandResult result;
  FILE* pipe = ::popen(Command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string RunCommand(const std::string& Command) { return RunCommandWithStatus(Command + " 2>&1").Output; }

} // namespace mivora::test
