// The entry point every fuzzer of the project defines: libFuzzer calls it with
// each input, and the replay driver (ReplayMain.cpp) with each file of a corpus.
// It must return 0 and may not keep anything of the input.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);
