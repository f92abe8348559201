#include "Csv.h"

#include "InputError.h"
#include "TextEncoding.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

constexpr size_t ChunkBytes = 64 * 1024;

enum class TEncoding : uint8_t { Utf8, Utf16Le, Utf16Be };

bool ValidUtf8(const std::string& Text) {
  size_t i = 0;
  const size_t n = Text.size();
  while (i < n) {
    const auto b = static_cast<unsigned char>(Text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      cp = b & 0x07u;
    } else {
      return false;
    }
    if (i + length > n) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(Text[i + k]);
      if ((c & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

void AppendUtf8(std::string& Out, uint32_t Cp) {
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

std::string Plural(size_t N, const char* One, const char* Many) {
  return std::to_string(N) + " " + (N == 1 ? One : Many);
}

} // namespace

// The characters of the stream as UTF-8, and the records made of them.
class TCsvReader::TParser {
public:
  TParser(std::unique_ptr<std::istream> In, const std::string& Label, char Separator)
      : in_(std::move(In)), label_(Label), sep_(Separator) {
    DetectEncoding();
  }

  [[noreturn]] void Fail(size_t Line, const std::string& Message) const {
    throw EInputError(label_ + ":" + std::to_string(Line) + ": " + Message);
  }

  // Reads the next record's fields; false at the end. Blank lines are skipped.
  bool Next(TCsvRecord& Record) {
    Record.Fields.clear();
    for (;;) {
      const int c = Peek();
      if (c < 0) return false;
      if (c == '\n' || c == '\r') {
        SkipLineEnd();
        continue;
      }
      break;
    }
    Record.Line = line_;
    ReadRecord(Record);
    return true;
  }

  size_t Line() const noexcept { return line_; }

private:
  // --- Characters, decoded to UTF-8 a chunk at a time.

  void DetectEncoding() {
    Fill();
    const auto at = [&](size_t i) { return static_cast<unsigned char>(buffer_[i]); };
    if (buffer_.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
      pos_ = 3;
    } else if (buffer_.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
      encoding_ = TEncoding::Utf16Le;
      raw_ = buffer_.substr(2);
      buffer_.clear();
      Fill();
    } else if (buffer_.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
      encoding_ = TEncoding::Utf16Be;
      raw_ = buffer_.substr(2);
      buffer_.clear();
      Fill();
    }
  }

  // Refills buffer_ from the stream; false when the stream is exhausted.
  bool Fill() {
    buffer_.clear();
    pos_ = 0;
    if (encoding_ == TEncoding::Utf8) {
      buffer_.resize(ChunkBytes);
      in_->read(buffer_.data(), static_cast<std::streamsize>(ChunkBytes));
      buffer_.resize(static_cast<size_t>(in_->gcount()));
      CheckStream();
      return !buffer_.empty();
    }
    // UTF-16: raw_ holds bytes not decoded yet (at most three left over).
    const size_t kept = raw_.size();
    raw_.resize(kept + ChunkBytes);
    in_->read(raw_.data() + kept, static_cast<std::streamsize>(ChunkBytes));
    raw_.resize(kept + static_cast<size_t>(in_->gcount()));
    CheckStream();
    const bool last = in_->eof() || in_->gcount() == 0;
    DecodeUtf16(last);
    return !buffer_.empty();
  }

  void CheckStream() const {
    if (in_->bad()) throw EInputError(label_ + ": cannot read the file (after line " + std::to_string(line_) + ")");
  }

  void DecodeUtf16(bool Last) {
    const bool le = encoding_ == TEncoding::Utf16Le;
    const auto unit = [&](size_t i) -> uint32_t {
      const auto a = static_cast<unsigned char>(raw_[i]), b = static_cast<unsigned char>(raw_[i + 1]);
      return le ? (a | (b << 8u)) : ((a << 8u) | b);
    };
    size_t i = 0;
    while (i + 1 < raw_.size()) {
      const uint32_t u = unit(i);
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (i + 3 >= raw_.size()) break;  // the pair's second half is in the next chunk
        const uint32_t low = unit(i + 2);
        if (low < 0xDC00 || low > 0xDFFF) FailUtf16(u);
        AppendUtf8(buffer_, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 4;
        continue;
      }
      if (u >= 0xDC00 && u <= 0xDFFF) FailUtf16(u);
      AppendUtf8(buffer_, u == 0 ? 0xFFFD : u);
      i += 2;
    }
    raw_.erase(0, i);
    if (Last && !raw_.empty()) {
      if (raw_.size() == 1)
        Fail(DecodedLine(), "the UTF-16 file ends in the middle of a character (an odd number of bytes)");
      FailUtf16(unit(0));
    }
  }

  // The line of the next character not yet handed out, counting the lines of
  // what is decoded but not read yet: errors of decoding name it.
  size_t DecodedLine() const {
    size_t line = line_;
    for (size_t i = pos_; i < buffer_.size(); ++i)
      if (buffer_[i] == '\n' || (buffer_[i] == '\r' && (i + 1 >= buffer_.size() || buffer_[i + 1] != '\n'))) ++line;
    return line;
  }

  [[noreturn]] void FailUtf16(uint32_t Unit) const {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(Unit));
    Fail(DecodedLine(), std::string("the UTF-16 file holds a lone surrogate 0x") + hex +
                            " (half of a character); save it again as UTF-8 or UTF-16");
  }

  int Peek() {
    if (pos_ >= buffer_.size() && !Fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
  }

  void Advance() { ++pos_; }

  void SkipLineEnd() {
    const int c = Peek();
    Advance();
    if (c == '\r' && Peek() == '\n') Advance();
    ++line_;
  }

  // --- Records.

  void ReadRecord(TCsvRecord& Record) {
    const size_t start = line_;
    size_t bytes = 0;
    for (;;) {
      if (Record.Fields.size() >= MaxCsvColumns)
        Fail(start, "more than " + std::to_string(MaxCsvColumns) + " fields in one record");
      Record.Fields.emplace_back();
      ReadField(Record.Fields.back(), start);
      bytes += Record.Fields.back().size();
      if (bytes > MaxCsvRecordBytes)
        Fail(start, "a record of more than " + std::to_string(MaxCsvRecordBytes) + " bytes");
      const int c = Peek();
      if (c < 0) return;
      if (c == sep_) {
        Advance();
        if (Peek() < 0) {  // a separator at the very end: one more empty field
          Record.Fields.emplace_back();
          return;
        }
        continue;
      }
      SkipLineEnd();  // ReadField stops only at a separator or a line end
      return;
    }
  }

  void Append(std::string& Field, char C, size_t Start) const {
    if (Field.size() >= MaxCsvFieldBytes)
      Fail(Start, "a field of more than " + std::to_string(MaxCsvFieldBytes) + " bytes");
    Field += C;
  }

  void ReadField(std::string& Field, size_t Start) {
    int c = Peek();
    if (c == '"') {
      const size_t openLine = line_;
      Advance();
      for (;;) {
        c = Peek();
        if (c < 0) Fail(openLine, "a quoted field is not closed (the closing \" is missing)");
        Advance();
        if (c == '"') {
          if (Peek() == '"') {
            Advance();
            Append(Field, '"', Start);
            continue;
          }
          break;
        }
        if (c == '\n' || (c == '\r' && Peek() != '\n')) ++line_;
        Append(Field, static_cast<char>(c), Start);
      }
      c = Peek();
      if (c >= 0 && c != sep_ && c != '\n' && c != '\r')
        Fail(line_, std::string("unexpected character '") + static_cast<char>(c) +
                        "' after a closing quote (write \"\" for a quote inside a quoted field)");
    } else {
      // A quote inside an unquoted field (5" screen) stands for itself.
      while (c >= 0 && c != sep_ && c != '\n' && c != '\r') {
        Append(Field, static_cast<char>(c), Start);
        Advance();
        c = Peek();
      }
    }
    if (encoding_ == TEncoding::Utf8 && !ValidUtf8(Field)) Field = ToUtf8(Field);
  }

  std::unique_ptr<std::istream> in_;
  const std::string& label_;
  const char sep_;
  TEncoding encoding_ = TEncoding::Utf8;
  std::string buffer_;  // UTF-8 characters, read from pos_
  size_t pos_ = 0;
  std::string raw_;     // UTF-16 bytes not decoded yet
  size_t line_ = 1;
};

char ParseSeparator(const std::string& Written) {
  if (Written == "tab" || Written == "\\t" || Written == "\t") return '\t';
  if (Written.size() != 1)
    throw EInputError("--separator takes one character, \"tab\" or \"\\t\", not \"" + Written + "\"");
  const char c = Written[0];
  if (c == '"' || c == '\n' || c == '\r' || c == '\0')
    throw EInputError("--separator cannot be a quote or a line break");
  return c;
}

char DefaultSeparator(const fs::path& File) {
  std::string extension = File.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".tsv" ? '\t' : ',';
}

TCsvReader::TCsvReader(const fs::path& Path, const std::string& Label, char Separator) : label_(Label) {
  const std::string what = "Cannot read the data file \"" + label_ + "\": ";
  std::error_code error;
  if (!fs::exists(Path, error)) throw EInputError(what + "no such file");
  if (fs::is_directory(Path, error)) throw EInputError(what + "it is a folder");
  auto file = std::make_unique<std::ifstream>(Path, std::ios::binary);
  if (!*file) throw EInputError(what + std::strerror(errno));
  if (Separator == '"' || Separator == '\n' || Separator == '\r' || Separator == '\0')
    throw EInputError(label_ + ": the separator cannot be a quote, a line break or NUL");
  parser_ = std::make_unique<TParser>(std::move(file), label_, Separator);
  ReadHeader(Separator);
}

TCsvReader::TCsvReader(std::unique_ptr<std::istream> In, const std::string& Label, char Separator)
    : label_(Label) {
  if (Separator == '"' || Separator == '\n' || Separator == '\r' || Separator == '\0')
    throw EInputError(label_ + ": the separator cannot be a quote, a line break or NUL");
  parser_ = std::make_unique<TParser>(std::move(In), label_, Separator);
  ReadHeader(Separator);
}

TCsvReader::~TCsvReader() = default;

void TCsvReader::ReadHeader(char Separator) {
  TCsvRecord record;
  if (!parser_->Next(record)) throw EInputError(label_ + ": the file has no header row");
  header_ = std::move(record.Fields);
  headerLine_ = record.Line;
  if (header_.size() != 1) return;
  // One column whose name holds another usual separator: the file is most
  // likely separated by that one.
  const std::string& name = header_[0];
  for (const char other : {'\t', ';', ',', '|'}) {
    if (other == Separator || name.find(other) == std::string::npos) continue;
    const std::string option = other == '\t' ? "tab" : "'" + std::string(1, other) + "'";
    throw EInputError(label_ + ":" + std::to_string(headerLine_) + ": the header has one column, \"" + name +
                      "\"; if the fields are separated by " + (other == '\t' ? std::string("tabs") : option) +
                      ", give --separator " + option);
  }
}

bool TCsvReader::Next(TCsvRecord& Record) {
  if (!parser_->Next(Record)) return false;
  if (Record.Fields.size() != header_.size())
    parser_->Fail(Record.Line, Plural(Record.Fields.size(), "field", "fields") + ", but the header has " +
                                   std::to_string(header_.size()));
  ++count_;
  return true;
}

TCsvTable ParseCsv(const std::string& Text, const std::string& Label, char Separator) {
  TCsvReader reader(std::make_unique<std::istringstream>(Text), Label, Separator);
  TCsvTable table;
  table.Header = reader.Header();
  table.HeaderLine = reader.HeaderLine();
  TCsvRecord record;
  while (reader.Next(record)) table.Records.push_back(std::move(record));
  return table;
}

} // namespace mivora::tool
