#include "TextEncoding.h"

#include <glib.h>

#include <cstdint>

namespace mivora {

namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the range maps to itself.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Cp1252(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80];
  return b;
}

void AppendUtf8(std::string& out, char32_t cp) {
  char buf[6];
  const int n = g_unichar_to_utf8(static_cast<gunichar>(cp), buf);
  out.append(buf, static_cast<size_t>(n));
}

// Calls f(code point) for every character of Text, decoding as described above.
template <typename F>
void ForEachCodePoint(std::string_view Text, F&& f) {
  const char* p = Text.data();
  const char* end = p + Text.size();
  while (p < end) {
    const auto b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
      f(static_cast<char32_t>(b));
      ++p;
      continue;
    }
    const gunichar cp = g_utf8_get_char_validated(p, end - p);
    if (cp == static_cast<gunichar>(-1) || cp == static_cast<gunichar>(-2)) {
      f(Cp1252(b));
      ++p;
    } else {
      f(static_cast<char32_t>(cp));
      p = g_utf8_next_char(p);
    }
  }
}

} // namespace

std::string ToUtf8(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  ForEachCodePoint(Text, [&](char32_t cp) { AppendUtf8(out, cp); });
  return out;
}

std::string FoldCase(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  bool ascii = true;
  for (char c : Text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    for (char c : Text) out.push_back(g_ascii_tolower(c));
    return out;
  }
  ForEachCodePoint(Text, [&](char32_t cp) {
    AppendUtf8(out, static_cast<char32_t>(g_unichar_tolower(static_cast<gunichar>(cp))));
  });
  return out;
}

} // namespace mivora
