#include "Layout.h"

#include "InputError.h"
#include "JsonDocument.h"
#include "Numbers.h"
#include "Suggestion.h"
#include "TextCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <set>

namespace mivora::tool {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string Number(double Value) { return FormatNumber(Value); }

// What a value is, for "expected a number, found ...".
std::string Found(const json& Value) {
  switch (Value.type()) {
  case json::value_t::null: return "null";
  case json::value_t::boolean: return Value.get<bool>() ? "true" : "false";
  case json::value_t::string: {
    std::string text = Value.get<std::string>();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return "\"" + text + "\"";
  }
  case json::value_t::array: return "a list";
  case json::value_t::object: return "an object";
  case json::value_t::number_integer:
  case json::value_t::number_unsigned:
  case json::value_t::number_float: return Number(Value.get<double>());
  default: return "a value of another kind";
  }
}

// Reads the fields of one JSON object, each at most once, and reports any field
// it was not asked about as unknown.
class TFields {
public:
  TFields(const json& Object, std::string Path, const std::string& Label)
      : object_(Object), path_(std::move(Path)), label_(Label) {
    if (!object_.is_object()) Fail(path_, "expected an object, found " + Found(object_));
  }

  [[noreturn]] void Fail(const std::string& Where, const std::string& Message) const {
    throw EInputError(label_ + ": " + (Where.empty() ? std::string() : Where + ": ") + Message);
  }

  std::string PathOf(const std::string& Key) const { return JsonPathJoin(path_, Key); }
  const std::string& Path() const { return path_; }

  // The field Key, or null when absent; "comment" and "$schema" are always allowed.
  const json* Find(const std::string& Key) {
    known_.insert(Key);
    auto it = object_.find(Key);
    return it == object_.end() ? nullptr : &*it;
  }

  const json& Require(const std::string& Key) {
    const json* value = Find(Key);
    if (value == nullptr) {
      // A misspelt field is the likelier fault than a forgotten one: name it.
      for (auto it = object_.begin(); it != object_.end(); ++it) {
        if (known_.count(it.key()) == 0 && expected_.count(it.key()) == 0 && !Suggestion(it.key(), {Key}).empty())
          Fail(PathOf(it.key()), "unknown field; did you mean \"" + Key + "\"?");
      }
      Fail(path_, "missing field \"" + Key + "\"");
    }
    return *value;
  }

  bool Has(const std::string& Key) { return Find(Key) != nullptr; }

  // Names a field that will be read later, so that a missing field is not
  // blamed on it as a misspelling.
  void Expect(const std::string& Key) { expected_.insert(Key); }

  // Refuses fields nobody asked about.
  void Finish() const {
    for (auto it = object_.begin(); it != object_.end(); ++it) {
      const std::string& key = it.key();
      if (known_.count(key) != 0 || key == "comment" || key == "$schema") continue;
      Fail(PathOf(key), "unknown field" + Suggestion(key, {known_.begin(), known_.end()}));
    }
  }

  // --- Typed readers: each names the field's path in its error.
  double Real(const json& Value, const std::string& Where, double Min, double Max) const {
    if (!Value.is_number()) Fail(Where, "expected a number, found " + Found(Value));
    const double v = Value.get<double>();
    if (!std::isfinite(v) || v < Min || v > Max)
      Fail(Where, Number(v) + " is out of range (" + Number(Min) + " to " + Number(Max) + ")");
    return v;
  }

  float Coordinate(const json& Value, const std::string& Where) const {
    return static_cast<float>(Real(Value, Where, -MaxCoordinate, MaxCoordinate));
  }

  int32_t Integer(const json& Value, const std::string& Where, int64_t Min, int64_t Max) const {
    if (!Value.is_number()) Fail(Where, "expected a whole number, found " + Found(Value));
    const double v = Value.get<double>();
    if (!std::isfinite(v) || v != std::floor(v)) Fail(Where, "expected a whole number, found " + Found(Value));
    if (v < static_cast<double>(Min) || v > static_cast<double>(Max))
      Fail(Where, Number(v) + " is out of range (" + std::to_string(Min) + " to " + std::to_string(Max) + ")");
    return static_cast<int32_t>(v);
  }

  bool Boolean(const json& Value, const std::string& Where) const {
    if (!Value.is_boolean()) Fail(Where, "expected true or false, found " + Found(Value));
    return Value.get<bool>();
  }

  std::string String(const json& Value, const std::string& Where) const {
    if (!Value.is_string()) Fail(Where, "expected a string, found " + Found(Value));
    std::string text = Value.get<std::string>();
    if (text.size() > MaxStringBytes)
      Fail(Where, "a string of " + std::to_string(text.size()) + " bytes; the most accepted is " +
                      std::to_string(MaxStringBytes));
    return text;
  }

  // One of the words of Set (letter case ignored), or a whole number when the set allows it.
  int32_t Keyword(const json& Value, const std::string& Where, const TKeywordSet& Set) const {
    if (Set.NumericMax >= 0 && Value.is_number()) return Integer(Value, Where, 0, Set.NumericMax);
    std::string list;
    for (size_t i = 0; i < Set.Words.size(); ++i) list += (i ? ", \"" : "\"") + std::string(Set.Words[i].Name) + "\"";
    if (!Value.is_string()) Fail(Where, "expected one of " + list + ", found " + Found(Value));
    const std::string written = Lower(Value.get<std::string>());
    for (const TKeyword& word : Set.Words)
      if (written == Lower(word.Name)) return word.Value;
    Fail(Where, "\"" + Value.get<std::string>() + "\" is not one of " + list);
  }

  TColor Color(const json& Value, const std::string& Where) const {
    if (!Value.is_string())
      Fail(Where, "expected a colour (\"#RRGGBB\", \"#RGB\" or a name such as \"orange\"), found " + Found(Value));
    TColor color = 0;
    if (!ParseColor(Value.get<std::string>(), color))
      Fail(Where, Found(Value) +
                      " is not a colour (write \"#RRGGBB\", \"#RGB\" or a CSS colour name such as \"orange\")");
    return color;
  }

private:
  const json& object_;
  std::string path_;
  const std::string& label_;
  std::set<std::string> known_;
  std::set<std::string> expected_;
};

const TKeywordSet PrinterOrientationWords{"printerOrientation",
                                          {{"portrait", poPortrait}, {"landscape", poLandscape}}};
const TKeywordSet PaperWords{"paper",
                             {{"A3", paA3}, {"A4", paA4}, {"A5", paA5}, {"Letter", paLetter}, {"Legal", paLegal}}};

// Reads one layout; keeps the label and the path policy at hand.
class TLayoutReader {
public:
  TLayoutReader(const std::string& Label, const TPathPolicy& Policy) : label_(Label), policy_(Policy) {}

  TLayout Read(const json& Root, const std::string& DefaultTitle) {
    TFields top(Root, "", label_);
    TLayout layout;
    layout.Label = label_;
    layout.Files = policy_;
    layout.Title = DefaultTitle;
    if (const json* v = top.Find("version")) {
      if (top.Integer(*v, "version", 1, 1000) != 1)
        top.Fail("version", "this program reads layouts of version 1");
    }
    if (const json* v = top.Find("title")) layout.Title = top.String(*v, "title");
    if (const json* v = top.Find("printer")) layout.Printer = ReadPrinter(*v);
    if (const json* v = top.Find("measurement")) {
      unit_ = top.Keyword(*v, "measurement", MeasurementKeywords());
      layout.Measurement = SheetUnit(unit_);
    }
    if (const json* v = top.Find("printEdgesLast")) layout.PrintEdgesLast = top.Boolean(*v, "printEdgesLast");
    if (const json* v = top.Find("fonts")) {
      if (!v->is_array()) top.Fail("fonts", "expected a list of font files, found " + Found(*v));
      for (size_t i = 0; i < v->size(); ++i) {
        const std::string where = JsonPathIndex("fonts", i);
        layout.Fonts.push_back(
            ResolveFile(policy_, top.String((*v)[i], where), label_ + ": " + where).string());
      }
    }
    const double mmPerUnit = unit_ == MeasurementMillimetres ? 1
                             : unit_ == mtCentimeters        ? 10
                             : unit_ == mtInches             ? 25.4
                                                             : 0;
    layout.Merge = ParseMergeLayout(top.Find("labels"), top.Find("merge"), label_, mmPerUnit);
    const json& commands = top.Require("commands");
    if (!commands.is_array()) top.Fail("commands", "expected a list of commands, found " + Found(commands));
    if (commands.size() > MaxCommands)
      top.Fail("commands", std::to_string(commands.size()) + " commands; the most accepted is " +
                               std::to_string(MaxCommands));
    top.Finish();
    for (size_t i = 0; i < commands.size(); ++i) layout.Commands.push_back(ReadCommand(commands[i], i));
    return layout;
  }

private:
  TPrinterSettings ReadPrinter(const json& Value) {
    TFields f(Value, "printer", label_);
    TPrinterSettings settings;
    if (const json* v = f.Find("paper")) {
      const std::string where = f.PathOf("paper");
      if (v->is_object()) {
        TFields size(*v, where, label_);
        const double w = size.Real(size.Require("width"), size.PathOf("width"), 1, 10000);
        const double h = size.Real(size.Require("height"), size.PathOf("height"), 1, 10000);
        size.Finish();
        settings.PaperMm = {w, h};
      } else {
        settings.Paper = static_cast<TPaper>(f.Keyword(*v, where, PaperWords));
      }
    }
    if (const json* v = f.Find("orientation"))
      settings.Orientation =
          static_cast<TPrinterOrientation>(f.Keyword(*v, f.PathOf("orientation"), PrinterOrientationWords));
    if (const json* v = f.Find("resolution")) {
      const std::string where = f.PathOf("resolution");
      if (v->is_array()) {
        if (v->size() != 2) f.Fail(where, "expected one number or a list of two (across, down)");
        settings.Dpi = {f.Integer((*v)[0], JsonPathIndex(where, 0), 1, 9600),
                        f.Integer((*v)[1], JsonPathIndex(where, 1), 1, 9600)};
      } else {
        const int32_t dpi = f.Integer(*v, where, 1, 9600);
        settings.Dpi = {dpi, dpi};
      }
    }
    if (const json* v = f.Find("margins")) {
      const std::string where = f.PathOf("margins");
      TPrinterMargins margins;
      if (v->is_number()) {
        const double all = f.Real(*v, where, 0, 1000);
        margins = TPrinterMargins{all, all, all, all};
      } else {
        TFields m(*v, where, label_);
        auto side = [&](const char* Key, double& Out) {
          if (const json* s = m.Find(Key)) Out = m.Real(*s, m.PathOf(Key), 0, 1000);
        };
        side("left", margins.Left);
        side("top", margins.Top);
        side("right", margins.Right);
        side("bottom", margins.Bottom);
        m.Finish();
      }
      settings.Margins = margins;
    }
    f.Finish();
    return settings;
  }

  // Reads Fields from F in their order into Args, each under Prefix; fields
  // left out take their default. Check then sees them all.
  void ReadFields(TFields& F, const std::vector<TFieldSpec>& Fields, const std::string& Prefix, TArgs& Args,
                  TFieldCheck Check) {
    for (const TFieldSpec& field : Fields) F.Expect(field.Key);
    for (const TFieldSpec& field : Fields) {
      const json* value = field.Required ? &F.Require(field.Key) : F.Find(field.Key);
      if (value == nullptr && field.Default.is_null()) continue;
      const std::string key = Prefix + field.Key;
      if (field.Type == TFieldType::Object) {
        TFields object(*value, F.PathOf(field.Key), label_);
        Args.Set(key, true);
        ReadFields(object, field.Object->Fields, key + ".", Args, field.Object->Check);
        object.Finish();
        continue;
      }
      Args.Set(key, ReadValue(F, field, value != nullptr ? *value : field.Default, F.PathOf(field.Key)));
    }
    if (Check != nullptr) {
      const std::string fault = Check(Args, Prefix);
      if (!fault.empty()) F.Fail(F.Path(), fault);
    }
  }

  // A length in the sheet's unit, from one written in the layout's.
  double Length(TFields& F, const json& Value, const std::string& Where, double Min, double Max) const {
    const double written = F.Real(Value, Where, Min, Max);
    return unit_ == MeasurementMillimetres ? written / 10 : written;
  }

  TArgs::TValue ReadValue(TFields& F, const TFieldSpec& Field, const json& Value, const std::string& Where) {
    switch (Field.Type) {
    case TFieldType::Text:
    case TFieldType::Cell: return F.String(Value, Where);
    case TFieldType::File: return ResolveFile(policy_, F.String(Value, Where), label_ + ": " + Where).string();
    case TFieldType::Number: return F.Real(Value, Where, Field.Min, Field.Max);
    case TFieldType::Length: return Length(F, Value, Where, Field.Min, Field.Max);
    case TFieldType::Whole:
      return int64_t{F.Integer(Value, Where, static_cast<int64_t>(Field.Min), static_cast<int64_t>(Field.Max))};
    case TFieldType::Switch: return F.Boolean(Value, Where);
    case TFieldType::Keyword: return int64_t{F.Keyword(Value, Where, *Field.Keywords)};
    case TFieldType::Color: return int64_t{F.Color(Value, Where)};
    case TFieldType::Sizes: return ReadSizes(F, Value, Where);
    case TFieldType::Edges: return ReadEdges(F, Value, Where, *Field.Keywords);
    case TFieldType::FontStyle: return ReadFontStyle(F, Value, Where, *Field.Keywords);
    case TFieldType::Patterns: return ReadPatterns(F, Value, Where);
    case TFieldType::Texts: {
      if (!Value.is_array()) F.Fail(Where, "expected a list of strings, found " + Found(Value));
      std::vector<std::string> texts;
      for (size_t i = 0; i < Value.size(); ++i) texts.push_back(F.String(Value[i], JsonPathIndex(Where, i)));
      return texts;
    }
    case TFieldType::Object: break;
    }
    throw std::logic_error("field \"" + Field.Key + "\" has no reader");
  }

  int64_t ReadFontStyle(TFields& F, const json& Value, const std::string& Where, const TKeywordSet& Styles) {
    if (Value.is_string()) return F.Keyword(Value, Where, Styles);
    if (!Value.is_array())
      F.Fail(Where, "expected a list of styles (\"bold\", \"italic\", \"underline\", \"strikeOut\"), found " +
                        Found(Value));
    int64_t styles = 0;
    for (size_t i = 0; i < Value.size(); ++i) styles |= F.Keyword(Value[i], JsonPathIndex(Where, i), Styles);
    return styles;
  }

  // Edges as bits (1 << edge); "all" (-1) stands for the four real edges.
  int64_t ReadEdges(TFields& F, const json& Value, const std::string& Where, const TKeywordSet& Edges) {
    constexpr int64_t all = (1 << edLeft) | (1 << edTop) | (1 << edRight) | (1 << edBottom);
    int64_t edges = 0;
    auto add = [&](const json& Item, const std::string& At) {
      const int32_t edge = F.Keyword(Item, At, Edges);
      edges = edge < 0 ? all : edges | (int64_t{1} << edge);
    };
    if (Value.is_array()) {
      for (size_t i = 0; i < Value.size(); ++i) add(Value[i], JsonPathIndex(Where, i));
    } else {
      add(Value, Where);
    }
    return edges;
  }

  std::string ReadPatterns(TFields& F, const json& Value, const std::string& Where) {
    if (!Value.is_array()) return F.String(Value, Where);
    std::string patterns;
    for (size_t i = 0; i < Value.size(); ++i) {
      const std::string item = F.String(Value[i], JsonPathIndex(Where, i));
      if (item.find(';') != std::string::npos)
        F.Fail(JsonPathIndex(Where, i), "a pattern cannot contain \";\", which separates patterns");
      patterns += (i ? ";" : "") + item;
    }
    return patterns;
  }

  // A size list of a cut: sizes, and negative entries that repeat the next size.
  std::vector<float> ReadSizes(TFields& F, const json& Value, const std::string& Where) {
    // A negative entry is a count, which no unit changes.
    auto size = [&](const json& Item, const std::string& At) {
      const double length = Length(F, Item, At, -MaxCoordinate, MaxCoordinate);
      return static_cast<float>(Item.get<double>() < 0 ? Item.get<double>() : length);
    };
    std::vector<float> sizes;
    if (Value.is_number()) {
      sizes.push_back(size(Value, Where));
      return sizes;
    }
    if (!Value.is_array()) F.Fail(Where, "expected a list of sizes, found " + Found(Value));
    if (Value.size() > static_cast<size_t>(MaxCellsPerCut))
      F.Fail(Where, std::to_string(Value.size()) + " entries; the most accepted is " + std::to_string(MaxCellsPerCut));
    for (size_t i = 0; i < Value.size(); ++i) sizes.push_back(size(Value[i], JsonPathIndex(Where, i)));
    return sizes;
  }

  TCommand ReadCommand(const json& Value, size_t Index) {
    const std::string path = JsonPathIndex("commands", Index);
    TFields f(Value, path, label_);
    TCommand c;
    c.Index = Index;
    c.Path = path;
    const json& op = f.Require("op");
    if (!op.is_string()) f.Fail(f.PathOf("op"), "expected the name of a command, found " + Found(op));
    const std::string written = op.get<std::string>();
    c.Spec = FindCommand(written);
    if (c.Spec == nullptr) {
      std::vector<std::string> names;
      for (const TCommandSpec& spec : CommandTable()) names.push_back(spec.Name);
      f.Fail(f.PathOf("op"), "unknown command \"" + written + "\"" + Suggestion(written, names));
    }
    ReadFields(f, c.Spec->Fields, "", c.Args, c.Spec->Check);
    f.Finish();
    // Lengths after a change of unit are written in the new unit.
    if (c.Spec->Name == "SetMeasurement") unit_ = c.Args.Whole("value");
    return c;
  }

  const std::string& label_;
  const TPathPolicy& policy_;
  int64_t unit_ = mtCentimeters;  // the unit lengths are written in, as MeasurementKeywords gives it
};

} // namespace

TLayout ParseLayout(const std::string& Text, const std::string& Label, const TPathPolicy& Policy,
                    const std::string& DefaultTitle) {
  if (Text.size() > MaxLayoutBytes)
    throw EInputError(Label + ": " + std::to_string(Text.size()) + " bytes; the most accepted is " +
                      std::to_string(MaxLayoutBytes));
  const json root = ParseJsonDocument(Text, Label);
  return TLayoutReader(Label, Policy).Read(root, DefaultTitle);
}

TLayout LoadLayout(const fs::path& Path, bool AllowOutside) {
  const std::string text = ReadWholeFile(Path, MaxLayoutBytes, "layout");
  TPathPolicy policy;
  policy.BaseDir = Path.has_parent_path() ? Path.parent_path() : fs::path(".");
  policy.AllowOutside = AllowOutside;
  return ParseLayout(text, Path.string(), policy, Path.stem().string());
}

} // namespace mivora::tool
