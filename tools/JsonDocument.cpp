#include "JsonDocument.h"

#include "InputError.h"

#include <optional>
#include <regex>
#include <vector>

namespace mivora::tool {

using nlohmann::json;

std::string JsonPathJoin(const std::string& Parent, const std::string& Key) {
  return Parent.empty() ? Key : Parent + "." + Key;
}

std::string JsonPathIndex(const std::string& Parent, size_t Index) {
  return Parent + "[" + std::to_string(Index) + "]";
}

namespace {

// Builds the document value by value, refusing a field that an object already
// has and nesting beyond MaxJsonDepth. nlohmann's own builder keeps the last of
// two equal fields, which would hide a mistake in a hand-written layout.
class TStrictBuilder {
public:
  explicit TStrictBuilder(json& Root) : root_(Root) {}

  bool null() { return Put(json(nullptr)); }
  bool boolean(bool Value) { return Put(json(Value)); }
  bool number_integer(json::number_integer_t Value) { return Put(json(Value)); }
  bool number_unsigned(json::number_unsigned_t Value) { return Put(json(Value)); }
  bool number_float(json::number_float_t Value, const json::string_t&) { return Put(json(Value)); }
  bool string(json::string_t& Value) { return Put(json(std::move(Value))); }
  bool binary(json::binary_t& Value) { return Put(json::binary(std::move(Value))); }

  bool start_object(size_t) { return Open(json::object()); }
  bool start_array(size_t) { return Open(json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(json::string_t& Key) {
    TLevel& level = stack_.back();
    if (level.Value->contains(Key)) {
      error_ = PathOf(stack_.size()) + ": field \"" + Key + "\" is given twice";
      return false;
    }
    level.Key = Key;
    return true;
  }

  bool parse_error(size_t Position, const std::string&, const nlohmann::detail::exception& Error) {
    syntaxPosition_ = Position;
    syntaxMessage_ = Error.what();
    return false;
  }

  const std::string& Error() const { return error_; }
  std::optional<size_t> SyntaxPosition() const { return syntaxPosition_; }
  const std::string& SyntaxMessage() const { return syntaxMessage_; }

private:
  struct TLevel {
    json* Value;
    std::string Key;  // the field being read, for objects
  };

  // The slot the next value goes into.
  json* Slot() {
    if (stack_.empty()) return &root_;
    TLevel& level = stack_.back();
    if (level.Value->is_array()) {
      level.Value->push_back(nullptr);
      return &level.Value->back();
    }
    return &(*level.Value)[level.Key];
  }

  bool Put(json&& Value) {
    *Slot() = std::move(Value);
    return true;
  }

  bool Open(json&& Container) {
    if (stack_.size() >= MaxJsonDepth) {
      error_ = PathOf(stack_.size()) + ": nested more than " + std::to_string(MaxJsonDepth) + " levels deep";
      return false;
    }
    json* slot = Slot();
    *slot = std::move(Container);
    stack_.push_back(TLevel{slot, {}});
    return true;
  }

  bool Close() {
    stack_.pop_back();
    return true;
  }

  // The path of the open container Depth levels down (1 is the document), as
  // in messages.
  std::string PathOf(size_t Depth) const {
    std::string path;
    for (size_t i = 0; i + 1 < Depth && i < stack_.size(); ++i) {
      const TLevel& level = stack_[i];
      if (level.Value->is_array())
        path = JsonPathIndex(path, level.Value->empty() ? 0 : level.Value->size() - 1);
      else
        path = JsonPathJoin(path, level.Key);
    }
    return path.empty() ? "top level" : path;
  }

  json& root_;
  std::vector<TLevel> stack_;
  std::string error_;
  std::optional<size_t> syntaxPosition_;
  std::string syntaxMessage_;
};

// Line and column (from 1) of the byte at Position.
std::pair<size_t, size_t> LineColumn(const std::string& Text, size_t Position) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < Position && i < Text.size(); ++i) {
    if (Text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

} // namespace

json ParseJsonDocument(const std::string& Text, const std::string& Label) {
  json root;
  TStrictBuilder builder(root);
  const bool ok = json::sax_parse(Text, &builder, json::input_format_t::json, true, false);
  if (ok) return root;
  if (!builder.Error().empty()) throw EInputError(Label + ": " + builder.Error());

  // nlohmann's message reads "[json.exception.parse_error.101] parse error at
  // line 3, column 5: syntax error while parsing object - unexpected '}'; ...".
  std::string message = builder.SyntaxMessage();
  size_t line = 0, column = 0;
  static const std::regex prefix(
      R"(^\[json\.exception\.[a-z_]+\.\d+\] (parse error( at line (\d+), column (\d+))?(: )?)?)");
  std::smatch match;
  if (std::regex_search(message, match, prefix)) {
    if (match[3].matched) {
      line = std::stoul(match[3].str());
      column = std::stoul(match[4].str());
    }
    message = match.suffix().str();
  }
  if (line == 0) std::tie(line, column) = LineColumn(Text, builder.SyntaxPosition().value_or(0));
  static const std::regex parsing(R"(^syntax error while parsing [a-z ]+ - )");
  message = std::regex_replace(message, parsing, "");
  if (message.empty()) message = "not valid JSON";
  // The message may quote the offending bytes; keep it printable.
  std::string printable;
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      printable += c;
    } else {
      static const char hex[] = "0123456789ABCDEF";
      printable += "\\x";
      printable += hex[byte >> 4];
      printable += hex[byte & 15];
    }
  }
  message = printable;
  throw EInputError(Label + ":" + std::to_string(line) + ":" + std::to_string(column) +
                    ": JSON syntax error: " + message);
}

} // namespace mivora::tool
