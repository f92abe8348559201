// Helpers shared by the test suite.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Expects statement to throw exception_type whose what() equals message exactly.
#define EXPECT_THROW_MSG(statement, exception_type, message)                       \
  do {                                                                              \
    bool mivora_caught_ = false;                                                    \
    try {                                                                           \
      statement;                                                                    \
    } catch (const exception_type& mivora_e_) {                                     \
      mivora_caught_ = true;                                                        \
      EXPECT_EQ(std::string(mivora_e_.what()), std::string(message));               \
    } catch (const std::exception& mivora_e_) {                                     \
      ADD_FAILURE() << "threw another exception: " << mivora_e_.what();             \
      mivora_caught_ = true;                                                        \
    }                                                                               \
    if (!mivora_caught_) ADD_FAILURE() << "expected " #exception_type ": " << message; \
  } while (false)

namespace mivora::test {

// A folder for files a test writes, below the build tree; created on demand.
std::string OutputDir();

// What a shell command wrote and how it ended.
struct TCommandResult {
  int ExitCode = -1;  // -1 when the command could not start or did not exit normally
  std::string Output; // what it wrote to standard output
};

// Runs Command with the shell and collects its standard output; standard error goes
// where Command sends it (append "2>&1" to collect it too).
TCommandResult RunCommandWithStatus(const std::string& Command);

// Runs Command with the shell; what it wrote to standard output and standard error.
std::string RunCommand(const std::string& Command);

} // namespace mivora::test
