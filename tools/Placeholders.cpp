#include "Placeholders.h"

#include "InputError.h"
#include "Suggestion.h"
#include "TextCase.h"
#include "TextEncoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace mivora::tool {

namespace {

constexpr size_t MaxDateFormat = 100;
constexpr std::string_view DateConversions = "aAbBcCdDeFgGhHIjmMnprRStTuUVwWxXyYzZ%";
constexpr size_t MaxListedColumns = 20;

std::string Trim(std::string_view Text) {
  size_t begin = 0, end = Text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(Text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(Text[end - 1]))) --end;
  return std::string(Text.substr(begin, end - begin));
}

// "character 12": where in the text, counting from 1.
std::string At(size_t Offset) { return "character " + std::to_string(Offset + 1); }

// A brace that starts a placeholder in RTF: followed by a word and its closing
// brace on the same line, with no backslash or brace between.
bool RtfPlaceholderAt(std::string_view Text, size_t Open, size_t& Close) {
  if (Open + 1 >= Text.size()) return false;
  const char first = Text[Open + 1];
  if (first == '\\' || first == '{' || first == '}' || std::isspace(static_cast<unsigned char>(first))) return false;
  for (size_t i = Open + 1; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '}') {
      Close = i;
      return true;
    }
    if (c == '\\' || c == '{' || c == '\n' || c == '\r') return false;
  }
  return false;
}

void CheckDateFormat(const std::string& Format, const std::string& Where, size_t Offset) {
  const auto fail = [&](const std::string& Message) {
    throw EInputError(Where + ": the date format \"" + Format + "\" at " + At(Offset) + " " + Message);
  };
  if (Format.empty()) fail("is empty; write {date} for the usual form, or for example {date:%d.%m.%Y}");
  if (Format.size() > MaxDateFormat) fail("is longer than " + std::to_string(MaxDateFormat) + " characters");
  for (size_t i = 0; i < Format.size(); ++i) {
    if (Format[i] != '%') continue;
    if (i + 1 >= Format.size() || DateConversions.find(Format[i + 1]) == std::string_view::npos)
      fail("has \"%" + (i + 1 < Format.size() ? std::string(1, Format[i + 1]) : std::string()) +
           "\", which is not a date conversion (%d day, %m month, %Y year, %B month name, %% a percent sign, ...)");
    ++i;
  }
}

// Appends the UTF-8 text Value to Out as RTF text.
void AppendRtf(std::string_view Value, std::string& Out) {
  const std::string valid = ToUtf8(Value);
  const auto* p = reinterpret_cast<const unsigned char*>(valid.data());
  const auto* end = p + valid.size();
  while (p < end) {
    const unsigned char b = *p;
    if (b < 0x80) {
      switch (b) {
      case '\\': Out += "\\\\"; break;
      case '{': Out += "\\{"; break;
      case '}': Out += "\\}"; break;
      case '\t': Out += "\\tab "; break;
      case '\n': Out += "\\line "; break;
      case '\r':
        if (p + 1 < end && p[1] == '\n') ++p;
        Out += "\\line ";
        break;
      default: Out += static_cast<char>(b);
      }
      ++p;
      continue;
    }
    // ToUtf8 made the sequence valid: decode it.
    const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    uint32_t cp = b & (length == 4 ? 0x07u : length == 3 ? 0x0Fu : 0x1Fu);
    for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (p[k] & 0x3Fu);
    p += length;
    const auto unit = [&](uint32_t U) {
      // RTF writes \uN with N a signed 16-bit number; "?" stands for readers without Unicode.
      Out += "\\u" + std::to_string(static_cast<int16_t>(static_cast<uint16_t>(U))) + "?";
    };
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
}

void AppendMarkup(std::string_view Value, std::string& Out) {
  for (const char c : Value) {
    switch (c) {
    case '&': Out += "&amp;"; break;
    case '<': Out += "&lt;"; break;
    case '>': Out += "&gt;"; break;
    case '\'': Out += "&apos;"; break;
    case '"': Out += "&quot;"; break;
    default: Out += c;
    }
  }
}

// True when Line shows nothing: white space only (and, in markup, tags).
bool BlankLine(std::string_view Line, bool Markup) {
  bool inTag = false;
  for (const char c : Line) {
    if (Markup && c == '<') inTag = true;
    else if (Markup && inTag && c == '>') inTag = false;
    else if (!inTag && !std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

} // namespace

void AppendEscaped(std::string_view Value, TTemplateFormat Format, std::string& Out) {
  switch (Format) {
  case TTemplateFormat::Text:
  case TTemplateFormat::FileName: Out += Value; break;
  case TTemplateFormat::Markup: AppendMarkup(Value, Out); break;
  case TTemplateFormat::Rtf: AppendRtf(Value, Out); break;
  }
}

std::tm Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

TTemplate TTemplate::Compile(std::string_view Text, TTemplateFormat Format, const std::string& Where) {
  TTemplate t;
  t.format_ = Format;
  t.where_ = Where;
  std::string literal;
  const auto flush = [&] {
    if (literal.empty()) return;
    TPart part;
    part.Text = std::move(literal);
    t.parts_.push_back(std::move(part));
    literal.clear();
  };
  const bool rtf = Format == TTemplateFormat::Rtf;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    size_t close = 0;
    if (rtf) {
      if (c != '{' || !RtfPlaceholderAt(Text, i, close)) {
        literal += c;
        continue;
      }
    } else if (c == '}') {
      if (i + 1 < Text.size() && Text[i + 1] == '}') {
        literal += '}';
        ++i;
        continue;
      }
      throw EInputError(Where + ": a \"}\" at " + At(i) + " closes no placeholder (write }} for a brace)");
    } else if (c != '{') {
      literal += c;
      continue;
    } else if (i + 1 < Text.size() && Text[i + 1] == '{') {
      literal += '{';
      ++i;
      continue;
    } else {
      close = Text.find('}', i + 1);
      const size_t nested = Text.find('{', i + 1);
      if (close == std::string_view::npos || nested < close)
        throw EInputError(Where + ": the \"{\" at " + At(i) +
                          " is not closed by a \"}\" (write {{ for a brace)");
    }
    const std::string name = Trim(Text.substr(i + 1, close - i - 1));
    if (name.empty()) throw EInputError(Where + ": the placeholder at " + At(i) + " names nothing");
    flush();
    TPart part;
    part.Kind = TKind::Column;
    part.Text = name;
    part.Offset = i;
    const size_t colon = name.find(':');
    if (colon != std::string::npos && Lower(Trim(name.substr(0, colon))) == "date") {
      part.Kind = TKind::Date;
      part.Fixed = true;
      part.Format = name.substr(colon + 1);  // spaces in a format are the user's
      CheckDateFormat(part.Format, Where, i);
    }
    t.parts_.push_back(std::move(part));
    ++t.placeholders_;
    i = close;
  }
  flush();
  return t;
}

void TTemplate::Bind(const std::vector<std::string>& Columns, const std::string& DataLabel) {
  static constexpr std::array<std::pair<const char*, TKind>, 6> builtIns{{{"record", TKind::Record},
                                                                          {"records", TKind::Records},
                                                                          {"page", TKind::Page},
                                                                          {"pages", TKind::Pages},
                                                                          {"label", TKind::Label},
                                                                          {"date", TKind::Date}}};
  used_.clear();
  std::vector<std::string> lowerColumns;
  for (const std::string& column : Columns) lowerColumns.push_back(Lower(column));
  for (TPart& part : parts_) {
    if (part.Kind == TKind::Literal || part.Fixed) continue;
    const std::string key = Lower(part.Text);
    const auto column = std::find(lowerColumns.begin(), lowerColumns.end(), key);
    if (column != lowerColumns.end()) {
      part.Kind = TKind::Column;
      part.Column = static_cast<size_t>(column - lowerColumns.begin());
      if (std::find(used_.begin(), used_.end(), part.Column) == used_.end()) used_.push_back(part.Column);
      continue;
    }
    const auto builtIn = std::find_if(builtIns.begin(), builtIns.end(),
                                      [&](const auto& Entry) { return key == Entry.first; });
    if (builtIn != builtIns.end()) {
      part.Kind = builtIn->second;
      part.Format = "%Y-%m-%d";
      continue;
    }
    std::vector<std::string> candidates = Columns;
    for (const auto& [name, kind] : builtIns) candidates.emplace_back(name);
    std::string message = where_ + ": {" + part.Text + "} at " + At(part.Offset) + " names no column";
    if (DataLabel.empty()) {
      message += " (no data file is merged: give one with --data; the built-in fields are record, records, page, pages, label, date)";
    } else {
      std::string list;
      for (size_t i = 0; i < Columns.size() && i < MaxListedColumns; ++i) list += (i ? ", " : "") + Columns[i];
      if (Columns.size() > MaxListedColumns) list += ", ...";
      message += " of " + DataLabel + " (its columns: " + list + ")";
    }
    throw EInputError(message + Suggestion(part.Text, candidates));
  }
}

void TTemplate::AppendValue(const TPart& Part, const TMergeValues& Values, std::string& Out) const {
  switch (Part.Kind) {
  case TKind::Literal: Out += Part.Text; return;
  case TKind::Column:
    if (Values.Fields != nullptr && Part.Column < Values.Fields->size())
      AppendEscaped((*Values.Fields)[Part.Column], format_, Out);
    return;
  case TKind::Record: Out += std::to_string(Values.Record); return;
  case TKind::Records: Out += std::to_string(Values.Records); return;
  case TKind::Page: Out += std::to_string(Values.Page); return;
  case TKind::Pages: Out += std::to_string(Values.Pages); return;
  case TKind::Label: Out += std::to_string(Values.Label); return;
  case TKind::Date: {
    std::array<char, 4096> buffer{};
    const size_t length = std::strftime(buffer.data(), buffer.size(), Part.Format.c_str(), &Values.Date);
    AppendEscaped(std::string_view(buffer.data(), length), format_, Out);
    return;
  }
  }
}

void TTemplate::Fill(const TMergeValues& Values, std::string& Out, bool DropEmptyLines) const {
  Out.clear();
  if (!DropEmptyLines) {
    for (const TPart& part : parts_) AppendValue(part, Values, Out);
    return;
  }
  const bool markup = format_ == TTemplateFormat::Markup;
  size_t lineStart = 0;
  bool lineHasField = false;
  // Ends the line that began at lineStart: gone when a field left it empty.
  const auto endLine = [&](bool AtBreak) {
    const bool drop = lineHasField && BlankLine(std::string_view(Out).substr(lineStart), markup);
    if (drop) Out.erase(lineStart);
    if (AtBreak && !drop) Out += '\n';
    if (!AtBreak && drop && lineStart > 0) Out.erase(lineStart - 1);  // no break after the last line
    lineStart = Out.size();
    lineHasField = false;
  };
  for (const TPart& part : parts_) {
    if (part.Kind != TKind::Literal) {
      AppendValue(part, Values, Out);
      lineHasField = true;
      continue;
    }
    for (const char c : part.Text) {
      if (c == '\n')
        endLine(true);
      else
        Out += c;
    }
  }
  endLine(false);
}

std::string TTemplate::Fill(const TMergeValues& Values, bool DropEmptyLines) const {
  std::string out;
  Fill(Values, out, DropEmptyLines);
  return out;
}

} // namespace mivora::tool
