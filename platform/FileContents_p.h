// Reading a whole file into memory; shared by the platform's .cpp files only.
#pragma once

#include <cstdint>
#include <string>

namespace mivora {

// The outcome of ReadFileContents: the bytes read, or why they could not be read.
struct TFileContents {
  std::string Data;  // the file's bytes, when Error is empty
  std::string Error; // the reason the file could not be read; empty on success
};

// Reads the whole regular file at Path, which must hold at most MaxBytes bytes.
// Refuses anything but a regular file; a file that shrinks while it is read yields
// the bytes that were there. The Error texts are:
//   the system's message for a failed open, fstat or read,
//   "not a regular file",
//   "the file is too large (<size> bytes, at most <MaxBytes>)".
TFileContents ReadFileContents(const std::string& Path, uint64_t MaxBytes);

} // namespace mivora
