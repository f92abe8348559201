// The layout commands. Each command is declared once, in Commands.cpp, with its
// fields (JSON name, type, default, bounds, whether it is required, one line of
// documentation) and its action on the sheet. The layout reader, the runner,
// the messages that name a command, `mivora commands`, the reference in
// docs/layout-format.md and docs/layout.schema.json all read this table.
#pragma once

#include "Mivora.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mivora::tool {

struct TCommand;

// What a field holds, and so how it is read, checked and documented.
enum class TFieldType : uint8_t {
  Text,      // a string
  Cell,      // the name of a cell (letter case ignored when looked up)
  Number,    // a number from Min to Max
  Length,    // a coordinate, size or distance in the sheet's unit, from Min to Max
  Whole,     // a whole number from Min to Max
  Switch,    // true or false
  Keyword,   // one of the words of Keywords (letter case ignored)
  Color,     // "#RGB", "#RRGGBB" or a colour name
  File,      // a path, resolved against the layout's folder
  Sizes,     // the sizes of a cut: one length or a list
  Edges,     // one word of Keywords or a list of them, as edge bits ("all": the four edges)
  FontStyle, // one word of Keywords or a list of them, as style bits
  Patterns,  // cell-name patterns: a string separated by ";" or a list
  Texts,     // a list of strings
  Object,    // an object with fields of its own (Object)
};

struct TKeyword {
  const char* Name;
  int32_t Value;
};

// The words a keyword field accepts. NumericMax >= 0 also accepts the whole
// numbers 0 to NumericMax in their place.
struct TKeywordSet {
  std::string Name;                 // names the set in the schema ("alignment")
  std::vector<TKeyword> Words;
  int32_t NumericMax = -1;
};

struct TObjectSpec;

// The values a command has read, by field name; the fields of an object field
// are kept as "object.field" ("font.height"). Fields left out that have a
// default hold the default.
class TArgs {
public:
  using TValue = std::variant<bool, int64_t, double, std::string, std::vector<float>, std::vector<std::string>>;

  void Set(std::string Key, TValue Value) { values_[std::move(Key)] = std::move(Value); }
  bool Has(std::string_view Key) const { return values_.find(Key) != values_.end(); }

  // Each accessor expects the field to be present with a value of its kind
  // (a fault of the program otherwise, raised as std::logic_error).
  bool Flag(std::string_view Key) const { return Get<bool>(Key); }
  int64_t Whole(std::string_view Key) const { return Get<int64_t>(Key); }
  double Number(std::string_view Key) const { return Get<double>(Key); }
  const std::string& Text(std::string_view Key) const { return Get<std::string>(Key); }
  const std::vector<float>& Sizes(std::string_view Key) const { return Get<std::vector<float>>(Key); }
  const std::vector<std::string>& Texts(std::string_view Key) const { return Get<std::vector<std::string>>(Key); }

private:
  template <typename T>
  const T& Get(std::string_view Key) const;

  std::map<std::string, TValue, std::less<>> values_;
};

// A cross-field rule of a command or object: the message of the fault found in
// the fields read under Prefix ("" or "brush."), or "" when there is none. The
// message is reported at the path of the object.
using TFieldCheck = std::string (*)(const TArgs& Args, const std::string& Prefix);

struct TFieldSpec {
  std::string Key;
  TFieldType Type = TFieldType::Text;
  bool Required = false;
  nlohmann::json Default;              // the value when left out (as written); null: none
  double Min = 0, Max = 0;             // Number, Length, Whole
  const TKeywordSet* Keywords = nullptr;
  const TObjectSpec* Object = nullptr;
  std::string Doc;
};

// The fields of a nested object such as a command's "font".
struct TObjectSpec {
  std::string Name;                    // names it in the schema ("font")
  std::vector<TFieldSpec> Fields;
  TFieldCheck Check = nullptr;
};

// Carries out a command on the sheet.
using TCommandAction = void (*)(TMivora& Sheet, const TCommand& Command);

struct TCommandSpec {
  std::string Name;                    // as written in "op"
  std::string Group;                   // the section of the reference it is listed in
  std::string Doc;                     // one line: what it does
  std::vector<TFieldSpec> Fields;      // in the order they are read
  std::string Subject;                 // the field that names the command in messages
  TFieldCheck Check = nullptr;
  TCommandAction Run = nullptr;
};

// One command of a layout, as read.
struct TCommand {
  size_t Index = 0;
  std::string Path;                    // "commands[3]", for messages
  const TCommandSpec* Spec = nullptr;
  TArgs Args;

  const std::string& Op() const { return Spec->Name; }
};

// The fields with which the Add commands may format their new cell.
const std::vector<TFieldSpec>& NewCellFormatFields();

// Every command, in the order of the reference.
const std::vector<TCommandSpec>& CommandTable();

// The command named Name (letter case ignored), or nullptr.
const TCommandSpec* FindCommand(std::string_view Name);

// "commands[3] (AddText "Title")": which command, as the user wrote it.
std::string Describe(const TCommand& Command);

// The units a layout may be written in: the sheet's, and millimetres, which
// the sheet keeps as centimetres (lengths written in millimetres are read
// divided by ten).
const TKeywordSet& MeasurementKeywords();
constexpr int64_t MeasurementMillimetres = 100;

// The sheet's unit for a value of MeasurementKeywords.
TMeasurement SheetUnit(int64_t Measurement);

// The edges of an Edges field's value.
TEdges EdgesFromBits(int64_t Bits);

template <typename T>
const T& TArgs::Get(std::string_view Key) const {
  auto it = values_.find(Key);
  if (it == values_.end() || !std::holds_alternative<T>(it->second))
    throw std::logic_error("command field \"" + std::string(Key) + "\" was not read as expected");
  return std::get<T>(it->second);
}

} // namespace mivora::tool
