// Fields inside texts: "Dear {name}," filled from each record. A template is
// compiled once into literal parts and placeholders, bound once to the columns
// of the data file, and then filled cheaply for every record.
//
// Placeholders: {column} (a column of the data, letter case ignored), and the
// built-ins {record} (the record's number in the data file, from 1), {records},
// {page}, {pages}, {label} (the label's position on its sheet, from 1), {date}
// (the day of the run, 2026-12-08) and {date:FORMAT} (strftime conversions such
// as %d.%m.%Y). A column named like a built-in takes its place. {{ and }} stand
// for literal braces in texts, markup and file names. In RTF only a brace that
// opens a word, as in {name}, starts a placeholder: RTF's own groups begin with
// a backslash or a brace, and its literal braces are written \{ and \}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace mivora::tool {

// What the filled text is, and so how a value is escaped in it.
enum class TTemplateFormat : uint8_t {
  Text,      // plain text: values as they are
  Markup,    // Pango markup: & < > ' " escaped
  Rtf,       // RTF: \ { } escaped, line breaks as \line, other than ASCII as \uN
  FileName,  // a picture's file name: values as they are
};

// What one record's placeholders read.
struct TMergeValues {
  const std::vector<std::string>* Fields = nullptr;  // the record, by column
  size_t Record = 0, Records = 0, Page = 0, Pages = 0, Label = 0;
  std::tm Date{};                                     // the day of the run
};

class TTemplate {
public:
  // A template without placeholders, filling to the empty text.
  TTemplate() = default;

  // Splits Text into literal parts and placeholders. Raises EInputError
  // "Where: ..." for an unclosed brace, an empty placeholder or a date format
  // that strftime does not know, naming the character where it starts.
  static TTemplate Compile(std::string_view Text, TTemplateFormat Format, const std::string& Where);

  // Binds the placeholders that name columns to Columns (the data file's
  // header, named DataLabel in messages; none when nothing is merged). Raises
  // EInputError "Where: {nmae} names no column of DataLabel (its columns: ...);
  // did you mean "name"?".
  void Bind(const std::vector<std::string>& Columns, const std::string& DataLabel);

  // True when the text has at least one placeholder (so filling can change it).
  bool HasPlaceholders() const noexcept { return placeholders_ > 0; }
  // The columns the placeholders read, after Bind, without repetitions.
  const std::vector<size_t>& UsedColumns() const noexcept { return used_; }

  // The text with every placeholder replaced from Values, into Out. With
  // DropEmptyLines, a line that holds a placeholder and comes out empty (or
  // white space, or only markup tags) is left out with its line break.
  void Fill(const TMergeValues& Values, std::string& Out, bool DropEmptyLines = false) const;
  std::string Fill(const TMergeValues& Values, bool DropEmptyLines = false) const;

private:
  enum class TKind : uint8_t { Literal, Column, Record, Records, Page, Pages, Label, Date };
  struct TPart {
    TKind Kind = TKind::Literal;
    std::string Text;    // the literal, or the placeholder's name as written
    std::string Format;  // a date's strftime format
    bool Fixed = false;  // a {date:FORMAT}, which no column can replace
    size_t Column = SIZE_MAX;  // none until bound
    size_t Offset = 0;   // where the placeholder starts in the text, for messages
  };

  void AppendValue(const TPart& Part, const TMergeValues& Values, std::string& Out) const;

  std::vector<TPart> parts_;
  TTemplateFormat format_ = TTemplateFormat::Text;
  std::string where_;
  size_t placeholders_ = 0;
  std::vector<size_t> used_;
};

// Value escaped for Format (see TTemplateFormat), appended to Out.
void AppendEscaped(std::string_view Value, TTemplateFormat Format, std::string& Out);

// The date of today in local time, for TMergeValues::Date.
std::tm Today();

} // namespace mivora::tool
