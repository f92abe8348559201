#include "MivoraUtils.h"

#include <cstdint>

namespace mivora {

std::string StrLeft(const std::string& S, int32_t Count) {
  if (Count <= 0) return {};
  return S.substr(0, static_cast<size_t>(Count));
}

std::string StrRight(const std::string& S, int32_t Count) {
  if (Count <= 0) return {};
  const size_t n = static_cast<size_t>(Count);
  if (n >= S.size()) return S;
  return S.substr(S.size() - n);
}

bool StrMatch(const std::string& Pattern, const std::string& S) {
  return Pattern.empty() || Pattern == S;
}

namespace {
constexpr size_t kRefBytes = 8; // every reference is stored as 64 bits
static_assert(sizeof(uintptr_t) <= kRefBytes);
} // namespace

std::string PtrToStr(const void* P) {
  const uint64_t bits = reinterpret_cast<uintptr_t>(P);
  std::string s(kRefBytes, '\0');
  for (size_t i = 0; i < kRefBytes; ++i)
    s[i] = static_cast<char>(static_cast<unsigned char>((bits >> (8 * i)) & 0xFFu));
  return s;
}

void* StrToPtr(const std::string& S) {
  if (S.size() < kRefBytes) return nullptr;
  uint64_t bits = 0;
  for (size_t i = 0; i < kRefBytes; ++i)
    bits |= static_cast<uint64_t>(static_cast<unsigned char>(S[i])) << (8 * i);
  return reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}

} // namespace mivora
