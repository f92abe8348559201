// Files named inside a layout or a data file: relative to that file's folder,
// and kept inside it unless the user allows otherwise.
#pragma once

#include <filesystem>
#include <string>

namespace mivora::tool {

// Where the files a document names may lie.
struct TPathPolicy {
  std::filesystem::path BaseDir;  // the folder of the layout or data file
  bool AllowOutside = false;      // --allow-outside: absolute paths and ".." allowed
};

// The file Written (as written in the document) resolved against the policy's
// folder. Raises EInputError with "Where: ..." when it is empty, absolute or
// leads outside the folder (symbolic links followed) while that is not allowed.
// Whether the file exists is not checked here.
std::filesystem::path ResolveFile(const TPathPolicy& Policy, const std::string& Written,
                                  const std::string& Where);

// The whole content of a file of at most MaxBytes; raises EInputError naming
// the file when it is missing, unreadable, not a regular file or too large.
std::string ReadWholeFile(const std::filesystem::path& Path, size_t MaxBytes, const std::string& What);

} // namespace mivora::tool
