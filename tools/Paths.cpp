#include "Paths.h"

#include "InputError.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

bool IsWithin(const fs::path& Folder, const fs::path& Path) {
  auto f = Folder.begin(), p = Path.begin();
  for (; f != Folder.end(); ++f, ++p) {
    if (f->empty()) continue;  // a trailing separator
    if (p == Path.end() || *f != *p) return false;
  }
  return true;
}

} // namespace

fs::path ResolveFile(const TPathPolicy& Policy, const std::string& Written, const std::string& Where) {
  if (Written.empty()) throw EInputError(Where + ": the file name is empty");
  if (Written.find('\0') != std::string::npos)
    throw EInputError(Where + ": the file name contains a NUL character");
  const fs::path written(Written);
  std::error_code error;
  const fs::path base = fs::weakly_canonical(fs::absolute(Policy.BaseDir), error);
  const fs::path joined = written.is_absolute() ? written : base / written;
  fs::path resolved = fs::weakly_canonical(joined, error);
  if (error) resolved = joined.lexically_normal();
  if (Policy.AllowOutside) return resolved;
  if (written.is_absolute())
    throw EInputError(Where + ": \"" + Written +
                      "\" is an absolute path; files must lie in the folder of the file that names them"
                      " (or use --allow-outside)");
  if (!IsWithin(base, resolved))
    throw EInputError(Where + ": \"" + Written + "\" leads outside the folder " + base.string() +
                      " (use --allow-outside to permit it)");
  return resolved;
}

std::string ReadWholeFile(const fs::path& Path, size_t MaxBytes, const std::string& What) {
  std::error_code error;
  const fs::file_status status = fs::status(Path, error);
  if (error || !fs::exists(status))
    throw EInputError("Cannot read the " + What + " \"" + Path.string() + "\": no such file");
  if (fs::is_directory(status))
    throw EInputError("Cannot read the " + What + " \"" + Path.string() + "\": not a regular file");
  // Read in pieces rather than by the size the file claims: pipes have none.
  std::ifstream file(Path, std::ios::binary);
  if (!file)
    throw EInputError("Cannot read the " + What + " \"" + Path.string() + "\": " + std::strerror(errno));
  std::string text;
  char buffer[65536];
  while (file) {
    file.read(buffer, sizeof(buffer));
    text.append(buffer, static_cast<size_t>(file.gcount()));
    if (text.size() > MaxBytes)
      throw EInputError("The " + What + " \"" + Path.string() + "\" is larger than " + std::to_string(MaxBytes) +
                        " bytes, the most accepted");
  }
  if (file.bad()) throw EInputError("Cannot read the " + What + " \"" + Path.string() + "\"");
  return text;
}

} // namespace mivora::tool
