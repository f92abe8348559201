#include "CommandDocs.h"

#include "Colors.h"
#include "Commands.h"
#include "InputError.h"
#include "Layout.h"
#include "Numbers.h"

#include <algorithm>

#include <set>

namespace mivora::tool {

using nlohmann::json;

namespace {

std::string Bounds(const TFieldSpec& Field) {
  return FormatNumber(Field.Min, 10) + " to " + FormatNumber(Field.Max, 10);
}

std::string WordList(const TKeywordSet& Set, const char* Separator) {
  std::string list;
  for (size_t i = 0; i < Set.Words.size(); ++i) list += (i ? Separator : "") + std::string(Set.Words[i].Name);
  return list;
}

// The kind of a field, as the reference and the listing name it.
std::string Kind(const TFieldSpec& Field) {
  switch (Field.Type) {
  case TFieldType::Text: return "string";
  case TFieldType::Cell: return "cell name";
  case TFieldType::Number: return "number, " + Bounds(Field);
  case TFieldType::Length: return "length, " + Bounds(Field);
  case TFieldType::Whole: return "whole number, " + Bounds(Field);
  case TFieldType::Switch: return "true or false";
  case TFieldType::Keyword: {
    std::string kind = WordList(*Field.Keywords, " | ");
    if (Field.Keywords->NumericMax >= 0) kind += " (or 0 to " + std::to_string(Field.Keywords->NumericMax) + ")";
    return kind;
  }
  case TFieldType::Color: return "colour";
  case TFieldType::File: return "file";
  case TFieldType::Sizes: return "sizes";
  case TFieldType::Edges: return "edges: " + WordList(*Field.Keywords, " | ") + ", or a list";
  case TFieldType::FontStyle: return "font style: " + WordList(*Field.Keywords, " | ") + ", or a list";
  case TFieldType::Patterns: return "patterns";
  case TFieldType::Texts: return "list of strings";
  case TFieldType::Object: {
    std::string keys;
    for (const TFieldSpec& inner : Field.Object->Fields) keys += (keys.empty() ? "" : ", ") + inner.Key;
    return "object {" + keys + "}";
  }
  }
  return "?";
}

// --- The schema ----------------------------------------------------------------

json Ref(const std::string& Name) { return {{"$ref", "#/$defs/" + Name}}; }

json LengthSchema(double Min, double Max) { return {{"type", "number"}, {"minimum", Min}, {"maximum", Max}}; }

json KeywordSchema(const TKeywordSet& Set) {
  json words = json::array();
  for (const TKeyword& word : Set.Words) words.push_back(word.Name);
  json schema = {{"enum", words}};
  if (Set.NumericMax < 0) return schema;
  return {{"anyOf", {schema, {{"type", "integer"}, {"minimum", 0}, {"maximum", Set.NumericMax}}}}};
}

json OneOrList(const json& Item) { return {{"anyOf", {Item, {{"type", "array"}, {"items", Item}}}}}; }

class TSchemaWriter {
public:
  json Write() {
    json commands = json::array();
    for (const TCommandSpec& spec : CommandTable()) commands.push_back(Command(spec));
    defs_["command"] = {{"oneOf", commands}};
    return {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"$id", "layout.schema.json"},
        {"title", "Mivora layout"},
        {"description", "A page of named cells for the mivora command: printer settings, the unit, and the sheet's "
                        "operations in order. See docs/layout-format.md."},
        {"type", "object"},
        {"additionalProperties", false},
        {"required", {"commands"}},
        {"properties",
         {{"$schema", {{"type", "string"}}},
          {"comment", json::object()},
          {"version", {{"const", 1}}},
          {"title", {{"type", "string"}, {"description", "The print job's title (default: the file's name without "
                                                         "extension)."}}},
          {"printer", Printer()},
          {"measurement", Keyword(MeasurementKeywords())},
          {"printEdgesLast", {{"type", "boolean"}}},
          {"fonts", {{"type", "array"}, {"items", {{"type", "string"}}},
                     {"description", "Font files (TrueType, OpenType, Type 1) for this job only, relative to the "
                                     "layout's folder."}}},
          {"labels", Labels()},
          {"merge", Merge()},
          {"commands", {{"type", "array"}, {"maxItems", MaxCommands}, {"items", Ref("command")}}}}},
        {"$defs", defs_},
    };
  }

private:
  // The label grid: a preset sheet, or its figures (see docs/layout-format.md).
  static json Labels() {
    const json number = {{"type", "number"}};
    const json count = {{"type", "integer"}, {"minimum", 1}, {"maximum", 1000}};
    return {{"type", "object"},
            {"additionalProperties", false},
            {"description", "The page is a grid of identical labels; the commands describe one label."},
            {"properties",
             {{"comment", json::object()},
              {"sheet", {{"type", "string"}, {"description", "A preset: 5160, 5163, L7160, L7163, L7651, badge-90x54, 4x6."}}},
              {"across", count}, {"down", count}, {"width", number}, {"height", number}, {"left", number},
              {"top", number}, {"gapX", number}, {"gapY", number}, {"pitchX", number}, {"pitchY", number},
              {"order", {{"enum", {"across", "down"}}}}}}};
  }

  // Cells that are optional in a merge, by cell-name patterns.
  static json Merge() {
    const json patterns = {{"anyOf", {{{"type", "string"}}, {{"type", "array"}, {"items", {{"type", "string"}}}}}}};
    return {{"type", "object"},
            {"additionalProperties", false},
            {"properties", {{"comment", json::object()}, {"hideWhenEmpty", patterns}, {"dropEmptyLines", patterns}}}};
  }

  static json Printer() {
    const json mm = LengthSchema(0, 1000);
    return {{"type", "object"},
            {"additionalProperties", false},
            {"properties",
             {{"comment", json::object()},
              {"paper",
               {{"anyOf",
                 {{{"enum", {"A3", "A4", "A5", "Letter", "Legal", "a3", "a4", "a5", "letter", "legal"}}},
                  {{"type", "object"},
                   {"additionalProperties", false},
                   {"required", {"width", "height"}},
                   {"properties",
                    {{"width", LengthSchema(1, 10000)}, {"height", LengthSchema(1, 10000)}, {"comment", json::object()}}}}}}}},
              {"orientation", {{"enum", {"portrait", "landscape"}}}},
              {"resolution",
               {{"anyOf",
                 {{{"type", "integer"}, {"minimum", 1}, {"maximum", 9600}},
                  {{"type", "array"},
                   {"minItems", 2},
                   {"maxItems", 2},
                   {"items", {{"type", "integer"}, {"minimum", 1}, {"maximum", 9600}}}}}}}},
              {"margins",
               {{"anyOf",
                 {mm,
                  {{"type", "object"},
                   {"additionalProperties", false},
                   {"properties",
                    {{"left", mm}, {"top", mm}, {"right", mm}, {"bottom", mm}, {"comment", json::object()}}}}}}}}}}};
  }

  json Keyword(const TKeywordSet& Set) {
    if (!defs_.contains(Set.Name)) defs_[Set.Name] = KeywordSchema(Set);
    return Ref(Set.Name);
  }

  json Define(const std::string& Name, const json& Schema) {
    if (!defs_.contains(Name)) defs_[Name] = Schema;
    return Ref(Name);
  }

  json Field(const TFieldSpec& F) {
    json schema;
    switch (F.Type) {
    case TFieldType::Text:
    case TFieldType::File: schema = {{"type", "string"}}; break;
    case TFieldType::Cell:
      schema = Define("cellName", {{"type", "string"},
                                   {"description", "A cell's name; letter case is ignored when cells are looked up."}});
      break;
    case TFieldType::Number:
    case TFieldType::Length: schema = LengthSchema(F.Min, F.Max); break;
    case TFieldType::Whole: schema = {{"type", "integer"}, {"minimum", static_cast<int64_t>(F.Min)}, {"maximum", static_cast<int64_t>(F.Max)}};
      break;
    case TFieldType::Switch: schema = {{"type", "boolean"}}; break;
    case TFieldType::Keyword: schema = Keyword(*F.Keywords); break;
    case TFieldType::Color: {
      json names = json::array();
      for (const std::string& name : ColorNames()) names.push_back(name);
      schema = Define("color", {{"type", "string"},
                                {"description", "\"#RRGGBB\", \"#RGB\" or a CSS colour name (letter case ignored)."},
                                {"anyOf", {{{"pattern", "^#([0-9A-Fa-f]{3}|[0-9A-Fa-f]{6})$"}}, {{"enum", names}}}}});
      break;
    }
    case TFieldType::Sizes: {
      const json size = LengthSchema(-MaxCoordinate, MaxCoordinate);
      schema = Define("sizes", {{"anyOf", {size, {{"type", "array"}, {"maxItems", MaxCellsPerCut}, {"items", size}}}},
                                {"description", "Sizes in the sheet's unit; a negative entry -n repeats the size "
                                                "after it n times."}});
      break;
    }
    case TFieldType::Edges:
    case TFieldType::FontStyle:
      schema = Define(F.Keywords->Name + "s", OneOrList(KeywordSchema(*F.Keywords)));
      break;
    case TFieldType::Patterns: schema = OneOrList({{"type", "string"}}); break;
    case TFieldType::Texts: schema = {{"type", "array"}, {"items", {{"type", "string"}}}}; break;
    case TFieldType::Object: schema = Define(F.Object->Name, Object(F.Object->Fields, {})); break;
    }
    schema["description"] = F.Doc;
    if (!F.Default.is_null()) schema["default"] = F.Default;
    return schema;
  }

  json Object(const std::vector<TFieldSpec>& Fields, const json& Head) {
    json properties = Head;
    json required = json::array();
    for (const auto& [key, value] : Head.items()) {
      (void)value;
      required.push_back(key);
    }
    properties["comment"] = json::object();
    properties["$schema"] = {{"type", "string"}};
    for (const TFieldSpec& field : Fields) {
      properties[field.Key] = Field(field);
      if (field.Required) required.push_back(field.Key);
    }
    json schema = {{"type", "object"}, {"additionalProperties", false}, {"properties", properties}};
    if (!required.empty()) schema["required"] = required;
    return schema;
  }

  json Command(const TCommandSpec& Spec) {
    json schema = Object(Spec.Fields, {{"op", {{"const", Spec.Name}}}});
    schema["description"] = Spec.Doc;
    return schema;
  }

  json defs_ = json::object();
};

// A field's kind in a few words, for the reference table.
std::string ShortKind(const TFieldSpec& Field) {
  switch (Field.Type) {
  case TFieldType::Keyword: {
    std::string words;
    for (const TKeyword& word : Field.Keywords->Words) words += (words.empty() ? "\"" : ", \"") + std::string(word.Name) + "\"";
    return words;
  }
  case TFieldType::Text: return "text";
  case TFieldType::Cell: return "cell";
  case TFieldType::Number: return "number";
  case TFieldType::Length: return "length";
  case TFieldType::Whole: return "whole number";
  case TFieldType::Switch: return "true/false";
  case TFieldType::Color: return "colour";
  case TFieldType::File: return "file";
  case TFieldType::Sizes: return "sizes";
  case TFieldType::Edges: return "edges";
  case TFieldType::FontStyle: return "font style";
  case TFieldType::Patterns: return "patterns";
  case TFieldType::Texts: return "list of texts";
  case TFieldType::Object: return "object";
  }
  return "?";
}

// Whether Fields end with the format of a new cell, which the reference
// describes once.
bool EndsWithFormat(const std::vector<TFieldSpec>& Fields) {
  const std::vector<TFieldSpec>& format = NewCellFormatFields();
  if (Fields.size() < format.size()) return false;
  for (size_t i = 0; i < format.size(); ++i)
    if (Fields[Fields.size() - format.size() + i].Key != format[i].Key) return false;
  return true;
}

// "`cell` (cell); optional `clearFirst` (true/false) = false" for the reference table.
std::string FieldSummary(const TCommandSpec& Spec) {
  const bool format = EndsWithFormat(Spec.Fields);
  const size_t count = Spec.Fields.size() - (format ? NewCellFormatFields().size() : 0);
  std::string required, optional;
  for (size_t i = 0; i < count; ++i) {
    const TFieldSpec& field = Spec.Fields[i];
    std::string& list = field.Required ? required : optional;
    list += (list.empty() ? "`" : ", `") + field.Key + "` (" + ShortKind(field) + ")";
    if (!field.Default.is_null()) list += " = " + field.Default.dump();
  }
  if (format) optional += std::string(optional.empty() ? "" : ", ") + "the [format of a new cell](#the-format-of-a-new-cell)";
  if (required.empty() && optional.empty()) return "—";
  if (optional.empty()) return required;
  return required.empty() ? "optional " + optional : required + "; optional " + optional;
}

} // namespace

json LayoutSchema() { return TSchemaWriter().Write(); }

std::string LayoutSchemaText() { return LayoutSchema().dump(2) + "\n"; }

std::string CommandReference() {
  std::string text;
  std::string group;
  for (const TCommandSpec& spec : CommandTable()) {
    if (spec.Group != group) {
      group = spec.Group;
      text += (text.empty() ? "" : "\n") + std::string("### ") + group + "\n\n| op | fields | what it does |\n|---|---|---|\n";
    }
    text += "| `" + spec.Name + "` | " + FieldSummary(spec) + " | " + spec.Doc + " |\n";
  }
  return text;
}

std::string CommandListing(const std::string& Name) {
  if (Name.empty()) {
    std::string text;
    for (const TCommandSpec& spec : CommandTable()) {
      std::string name = spec.Name;
      name.resize(std::max<size_t>(name.size() + 2, 24), ' ');
      text += name + spec.Doc + "\n";
    }
    return text;
  }
  const TCommandSpec* spec = FindCommand(Name);
  if (spec == nullptr) throw EInputError("no command \"" + Name + "\"; `mivora commands` lists them");
  std::string text = spec->Name + ": " + spec->Doc + "\n";
  if (spec->Fields.empty()) return text + "  (no fields)\n";
  auto list = [&text](const std::vector<TFieldSpec>& Fields, const std::string& Indent, auto& Self) -> void {
    for (const TFieldSpec& field : Fields) {
      text += Indent + field.Key + " (" + Kind(field) + (field.Required ? ", required" : "") +
              (field.Default.is_null() ? "" : ", default " + field.Default.dump()) + "): " + field.Doc + "\n";
      if (field.Type == TFieldType::Object) Self(field.Object->Fields, Indent + "  ", Self);
    }
  };
  list(spec->Fields, "  ", list);
  return text;
}

} // namespace mivora::tool
