#include "Csv.h"

#include "InputError.h"

namespace mivora::tool {

namespace {

class TCsvReader {
public:
  TCsvReader(const std::string& Text, const std::string& Label, char Separator)
      : text_(Text), label_(Label), sep_(Separator) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
  }

  // Reads the next record; false at the end of the text. Blank lines are skipped.
  bool Next(TCsvRecord& Record) {
    for (;;) {
      if (pos_ >= text_.size()) return false;
      Record.Line = line_;
      Record.Fields.clear();
      if (AtLineEnd()) {  // a blank line
        SkipLineEnd();
        continue;
      }
      ReadRecord(Record);
      return true;
    }
  }

private:
  bool AtLineEnd() const { return text_[pos_] == '\n' || text_[pos_] == '\r'; }

  void SkipLineEnd() {
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  [[noreturn]] void Fail(size_t Line, const std::string& Message) const {
    throw EInputError(label_ + ":" + std::to_string(Line) + ": " + Message);
  }

  void ReadRecord(TCsvRecord& Record) {
    const size_t start = line_;
    for (;;) {
      if (Record.Fields.size() >= MaxCsvColumns)
        Fail(start, "more than " + std::to_string(MaxCsvColumns) + " fields in one record");
      Record.Fields.push_back(ReadField());
      if (pos_ >= text_.size()) return;
      if (text_[pos_] == sep_) {
        ++pos_;
        if (pos_ >= text_.size()) {  // a separator at the very end: one more empty field
          Record.Fields.emplace_back();
          return;
        }
        continue;
      }
      SkipLineEnd();  // AtLineEnd: ReadField stops only there or at a separator
      return;
    }
  }

  std::string ReadField() {
    std::string field;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      const size_t openLine = line_;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size())
          Fail(openLine, "a quoted field is not closed (the closing \" is missing)");
        const char c = text_[pos_];
        if (c == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            field += '"';
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        if (c == '\n' || (c == '\r' && !(pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n'))) ++line_;
        field += c;
        ++pos_;
      }
      if (pos_ < text_.size() && text_[pos_] != sep_ && !AtLineEnd())
        Fail(line_, std::string("unexpected character '") + text_[pos_] +
                        "' after a closing quote (write \"\" for a quote inside a quoted field)");
      return field;
    }
    // A quote inside an unquoted field (5" screen) stands for itself.
    while (pos_ < text_.size() && text_[pos_] != sep_ && !AtLineEnd()) field += text_[pos_++];
    return field;
  }

  const std::string& text_;
  const std::string& label_;
  const char sep_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

} // namespace

TCsvTable ParseCsv(const std::string& Text, const std::string& Label, char Separator) {
  if (Separator == '"' || Separator == '\n' || Separator == '\r' || Separator == '\0')
    throw EInputError(Label + ": the separator cannot be a quote, a line break or NUL");
  TCsvReader reader(Text, Label, Separator);
  TCsvTable table;
  TCsvRecord record;
  if (!reader.Next(record)) throw EInputError(Label + ": the file has no header row");
  table.Header = std::move(record.Fields);
  table.HeaderLine = record.Line;
  while (reader.Next(record)) {
    if (table.Records.size() >= MaxCsvRecords)
      throw EInputError(Label + ":" + std::to_string(record.Line) + ": more than " +
                        std::to_string(MaxCsvRecords) + " records");
    if (record.Fields.size() != table.Header.size())
      throw EInputError(Label + ":" + std::to_string(record.Line) + ": " + std::to_string(record.Fields.size()) +
                        (record.Fields.size() == 1 ? " field" : " fields") + ", but the header has " +
                        std::to_string(table.Header.size()));
    table.Records.push_back(std::move(record));
    record = TCsvRecord{};
  }
  return table;
}

} // namespace mivora::tool
