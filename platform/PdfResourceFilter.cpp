#include "PdfResourceFilter_p.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace mivora {

namespace {

constexpr std::string_view DictionaryOpening = "/XObject <<";
// An entry is "/name number number R"; anything longer is not one.
constexpr size_t LongestEntry = 64;

bool IsBlank(unsigned char C) { return C == ' ' || C == '\n' || C == '\r' || C == '\t'; }

bool AllDigits(std::string_view Text) {
  if (Text.empty()) return false;
  for (const char c : Text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Whether Text is one whole entry: a name, an object number, a generation and R.
bool IsWholeEntry(std::string_view Text) {
  std::string_view parts[5];
  size_t count = 0;
  size_t at = 0;
  while (at < Text.size()) {
    while (at < Text.size() && IsBlank(static_cast<unsigned char>(Text[at]))) ++at;
    if (at == Text.size()) break;
    const size_t end = Text.find_first_of(" \n\r\t", at);
    if (count == 5) return false;
    parts[count++] = Text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? Text.size() : end;
  }
  return count == 4 && parts[0].size() > 1 && parts[0][0] == '/' && AllDigits(parts[1]) && AllDigits(parts[2]) &&
         parts[3] == "R";
}

} // namespace

cairo_status_t TPdfResourceFilter::Write(void* Closure, const unsigned char* Data, unsigned int Length) {
  return static_cast<TPdfResourceFilter*>(Closure)->Take(Data, Length);
}

cairo_status_t TPdfResourceFilter::Take(const unsigned char* Data, unsigned int Length) {
  out_.clear();
  size_t i = 0;
  while (i < Length) {
    if (!inDictionary_) {
      if (matched_ == 0) {
        // Nothing of the opening seen: pass everything up to the next '/' on at once.
        const void* slash = std::memchr(Data + i, '/', Length - i);
        const size_t next = slash == nullptr ? Length : static_cast<size_t>(static_cast<const unsigned char*>(slash) - Data);
        out_.append(reinterpret_cast<const char*>(Data + i), next - i);
        i = next;
        if (i == Length) break;
      }
      const unsigned char c = Data[i++];
      out_.push_back(static_cast<char>(c));
      if (c == static_cast<unsigned char>(DictionaryOpening[matched_])) {
        if (++matched_ == DictionaryOpening.size()) {
          matched_ = 0;
          inDictionary_ = true;
          seen_.clear();
        }
      } else {
        matched_ = c == '/' ? 1 : 0;
      }
      continue;
    }
    const unsigned char c = Data[i++];
    if (pending_.empty()) {
      if (c == '/') {
        pending_.push_back('/');
      } else {
        out_.push_back(static_cast<char>(c));
        if (!IsBlank(c)) inDictionary_ = false; // its end (">>"), or something this filter does not know
      }
      continue;
    }
    pending_.push_back(static_cast<char>(c));
    if (c == 'R' && IsWholeEntry(pending_)) {
      EndEntry();
    } else if (pending_.size() > LongestEntry || !(std::isalnum(c) != 0 || IsBlank(c))) {
      // Not an entry after all: passed on as it came, and the dictionary left.
      out_ += pending_;
      pending_.clear();
      inDictionary_ = false;
    }
  }
  if (out_.empty()) return CAIRO_STATUS_SUCCESS;
  return sink_(closure_, reinterpret_cast<const unsigned char*>(out_.data()), static_cast<unsigned int>(out_.size()));
}

void TPdfResourceFilter::EndEntry() {
  // Compared with its blanks made single spaces, so that "/x7 14 0 R" matches
  // however it was spaced.
  std::string key;
  for (const char c : pending_) {
    if (!IsBlank(static_cast<unsigned char>(c)))
      key.push_back(c);
    else if (!key.empty() && key.back() != ' ')
      key.push_back(' ');
  }
  if (!seen_.insert(key).second) pending_.assign(pending_.size(), ' ');
  out_ += pending_;
  pending_.clear();
}

cairo_status_t TPdfResourceFilter::Flush() {
  inDictionary_ = false;
  if (pending_.empty()) return CAIRO_STATUS_SUCCESS;
  const std::string rest = std::move(pending_);
  pending_.clear();
  return sink_(closure_, reinterpret_cast<const unsigned char*>(rest.data()), static_cast<unsigned int>(rest.size()));
}

} // namespace mivora
