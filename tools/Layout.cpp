#include "Layout.h"

#include "InputError.h"
#include "JsonDocument.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <locale>
#include <set>
#include <sstream>

namespace mivora::tool {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

struct TOpName {
  TOp Op;
  const char* Name;
};

constexpr std::array<TOpName, 39> OpNames{{
    {TOp::Add, "Add"}, {TOp::AddCell, "AddCell"}, {TOp::AddText, "AddText"},
    {TOp::AddGraphic, "AddGraphic"}, {TOp::AddRichEdit, "AddRichEdit"},
    {TOp::Select, "Select"}, {TOp::AddToSelection, "AddToSelection"},
    {TOp::RemoveFromSelection, "RemoveFromSelection"}, {TOp::BringToFront, "BringToFront"},
    {TOp::SendToBack, "SendToBack"}, {TOp::MoveCell, "MoveCell"},
    {TOp::SetAlignment, "SetAlignment"}, {TOp::SetLayout, "SetLayout"},
    {TOp::SetOrientation, "SetOrientation"}, {TOp::SetBrush, "SetBrush"}, {TOp::SetFont, "SetFont"},
    {TOp::SetTextProperties, "SetTextProperties"}, {TOp::SetEdges, "SetEdges"},
    {TOp::SetEdgesWR, "SetEdgesWR"}, {TOp::SetPen, "SetPen"}, {TOp::CopyFormat, "CopyFormat"},
    {TOp::FillText, "FillText"}, {TOp::Cut, "Cut"}, {TOp::CutH, "CutH"}, {TOp::CutV, "CutV"},
    {TOp::Split, "Split"}, {TOp::SplitH, "SplitH"}, {TOp::SplitV, "SplitV"}, {TOp::CutCell, "CutCell"},
    {TOp::Inflate, "Inflate"}, {TOp::CenterOnPage, "CenterOnPage"},
    {TOp::Magnification, "Magnification"}, {TOp::SetVisible, "SetVisible"},
    {TOp::SetStretch, "SetStretch"}, {TOp::ChangeCellName, "ChangeCellName"}, {TOp::Remove, "Remove"},
    {TOp::Reset, "Reset"}, {TOp::RestoreDefaultSettings, "RestoreDefaultSettings"},
    {TOp::SetMeasurement, "SetMeasurement"},
}};

std::string Lower(std::string Text) {
  for (char& c : Text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Text;
}

size_t EditDistance(const std::string& A, const std::string& B) {
  std::vector<size_t> row(B.size() + 1);
  for (size_t j = 0; j <= B.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= A.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= B.size(); ++j) {
      const size_t above = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(A[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(B[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[B.size()];
}

// "; did you mean "X"?" for the closest of Candidates, when one is close.
std::string Suggestion(const std::string& Written, const std::vector<std::string>& Candidates) {
  std::string best;
  size_t bestDistance = std::max<size_t>(2, Written.size() / 3) + 1;
  for (const std::string& candidate : Candidates) {
    const size_t distance = EditDistance(Written, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best.empty() ? std::string() : "; did you mean \"" + best + "\"?";
}

std::string Number(double Value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << Value;
  return text.str();
}

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
        if (known_.count(it.key()) == 0 && !Suggestion(it.key(), {Key}).empty())
          Fail(PathOf(it.key()), "unknown field; did you mean \"" + Key + "\"?");
      }
      Fail(path_, "missing field \"" + Key + "\"");
    }
    return *value;
  }

  bool Has(const std::string& Key) { return Find(Key) != nullptr; }

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

  // One of Names (letter case ignored), or a number when Numeric allows it.
  template <typename T, size_t N>
  T Keyword(const json& Value, const std::string& Where, const std::array<std::pair<const char*, T>, N>& Names,
            int32_t NumericMax = -1) const {
    if (NumericMax >= 0 && Value.is_number()) return static_cast<T>(Integer(Value, Where, 0, NumericMax));
    std::vector<std::string> choices;
    for (const auto& [name, value] : Names) choices.emplace_back(name);
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) list += (i ? ", \"" : "\"") + choices[i] + "\"";
    if (!Value.is_string()) Fail(Where, "expected one of " + list + ", found " + Found(Value));
    const std::string written = Value.get<std::string>();
    for (const auto& [name, value] : Names)
      if (Lower(written) == Lower(name)) return value;
    Fail(Where, "\"" + written + "\" is not one of " + list);
  }

  TColor Color(const json& Value, const std::string& Where) const {
    if (!Value.is_string())
      Fail(Where, "expected a colour (\"#RRGGBB\" or a name such as \"red\"), found " + Found(Value));
    TColor color = 0;
    if (!ParseColor(Value.get<std::string>(), color))
      Fail(Where, "\"" + Value.get<std::string>() + "\" is not a colour (write \"#RRGGBB\" or a name such as \"red\")");
    return color;
  }

private:
  const json& object_;
  std::string path_;
  const std::string& label_;
  std::set<std::string> known_;
};

constexpr std::array<std::pair<const char*, uint8_t>, 4> AlignmentNames{
    {{"left", 0}, {"right", 1}, {"center", 2}, {"centre", 2}}};
constexpr std::array<std::pair<const char*, uint8_t>, 4> LayoutNames{
    {{"top", 0}, {"center", 1}, {"centre", 1}, {"bottom", 2}}};
constexpr std::array<std::pair<const char*, TTextOrientation>, 2> OrientationNames{
    {{"horizontal", toHorizontal}, {"vertical", toVertical}}};
constexpr std::array<std::pair<const char*, TCellCenter>, 3> CenterNames{
    {{"horizontal", ccHorizontal}, {"vertical", ccVertical}, {"both", ccBoth}}};
constexpr std::array<std::pair<const char*, TMeasurement>, 5> MeasurementNames{
    {{"pixels", mtPixels}, {"centimeters", mtCentimeters}, {"centimetres", mtCentimeters},
     {"inches", mtInches}, {"percentage", mtPercentage}}};
constexpr std::array<std::pair<const char*, uint8_t>, 6> PenStyleNames{
    {{"solid", psSolid}, {"dash", psDash}, {"dot", psDot}, {"dashDot", psDashDot},
     {"dashDotDot", psDashDotDot}, {"clear", psClear}}};
constexpr std::array<std::pair<const char*, uint8_t>, 2> BrushStyleNames{{{"solid", bsSolid}, {"clear", bsClear}}};
constexpr std::array<std::pair<const char*, TFontStyles>, 4> FontStyleNames{
    {{"bold", fsBold}, {"italic", fsItalic}, {"underline", fsUnderline}, {"strikeOut", fsStrikeOut}}};
constexpr std::array<std::pair<const char*, int>, 6> EdgeNames{
    {{"left", edLeft}, {"top", edTop}, {"right", edRight}, {"bottom", edBottom}, {"borders", edBorders},
     {"all", -1}}};
constexpr std::array<std::pair<const char*, TPrinterOrientation>, 2> PrinterOrientationNames{
    {{"portrait", poPortrait}, {"landscape", poLandscape}}};
constexpr std::array<std::pair<const char*, TPaper>, 5> PaperNames{
    {{"A3", paA3}, {"A4", paA4}, {"A5", paA5}, {"Letter", paLetter}, {"Legal", paLegal}}};

struct TNamedColor {
  const char* Name;
  TColor Value;  // 0x00BBGGRR
};
constexpr std::array<TNamedColor, 17> ColorNames{{
    {"black", 0x000000}, {"maroon", 0x000080}, {"green", 0x008000}, {"olive", 0x008080},
    {"navy", 0x800000}, {"purple", 0x800080}, {"teal", 0x808000}, {"gray", 0x808080},
    {"grey", 0x808080}, {"silver", 0xC0C0C0}, {"red", 0x0000FF}, {"lime", 0x00FF00},
    {"yellow", 0x00FFFF}, {"blue", 0xFF0000}, {"fuchsia", 0xFF00FF}, {"aqua", 0xFFFF00},
    {"white", 0xFFFFFF},
}};

// Reads one layout; keeps the label and the path policy at hand.
class TLayoutReader {
public:
  TLayoutReader(const std::string& Label, const TPathPolicy& Policy) : label_(Label), policy_(Policy) {}

  TLayout Read(const json& Root, const std::string& DefaultTitle) {
    TFields top(Root, "", label_);
    TLayout layout;
    layout.Label = label_;
    layout.Title = DefaultTitle;
    if (const json* v = top.Find("version")) {
      if (top.Integer(*v, "version", 1, 1000) != 1)
        top.Fail("version", "this program reads layouts of version 1");
    }
    if (const json* v = top.Find("title")) layout.Title = top.String(*v, "title");
    if (const json* v = top.Find("printer")) layout.Printer = ReadPrinter(*v);
    if (const json* v = top.Find("measurement"))
      layout.Measurement = top.Keyword(*v, "measurement", MeasurementNames);
    if (const json* v = top.Find("printEdgesLast")) layout.PrintEdgesLast = top.Boolean(*v, "printEdgesLast");
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
        settings.Paper = f.Keyword(*v, where, PaperNames);
      }
    }
    if (const json* v = f.Find("orientation"))
      settings.Orientation = f.Keyword(*v, f.PathOf("orientation"), PrinterOrientationNames);
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

  std::string CellName(TFields& F, const char* Key) { return F.String(F.Require(Key), F.PathOf(Key)); }

  std::optional<std::string> OptionalCell(TFields& F) {
    if (const json* v = F.Find("cell")) return F.String(*v, F.PathOf("cell"));
    return std::nullopt;
  }

  void ReadRect(TFields& F, TCommand& C) {
    C.Left = F.Coordinate(F.Require("left"), F.PathOf("left"));
    C.Top = F.Coordinate(F.Require("top"), F.PathOf("top"));
    C.Width = F.Coordinate(F.Require("width"), F.PathOf("width"));
    C.Height = F.Coordinate(F.Require("height"), F.PathOf("height"));
  }

  TFontSpec ReadFont(TFields& F) {
    TFontSpec font;
    if (const json* v = F.Find("name")) font.Name = F.String(*v, F.PathOf("name"));
    if (const json* v = F.Find("color")) font.Color = F.Color(*v, F.PathOf("color"));
    if (const json* v = F.Find("height"))
      font.Height = static_cast<float>(F.Real(*v, F.PathOf("height"), -MaxFontHeight, MaxFontHeight));
    if (const json* v = F.Find("style")) font.Style = ReadFontStyle(F, *v, F.PathOf("style"));
    return font;
  }

  TFontStyles ReadFontStyle(TFields& F, const json& Value, const std::string& Where) {
    if (Value.is_string()) return F.Keyword(Value, Where, FontStyleNames);
    if (!Value.is_array())
      F.Fail(Where, "expected a list of styles (\"bold\", \"italic\", \"underline\", \"strikeOut\"), found " +
                        Found(Value));
    TFontStyles styles = 0;
    for (size_t i = 0; i < Value.size(); ++i) styles |= F.Keyword(Value[i], JsonPathIndex(Where, i), FontStyleNames);
    return styles;
  }

  TBrushSpec ReadBrush(TFields& F) {
    TBrushSpec brush;
    if (const json* v = F.Find("style")) brush.Style = F.Keyword(*v, F.PathOf("style"), BrushStyleNames);
    if (const json* v = F.Find("color"))
      brush.Color = F.Color(*v, F.PathOf("color"));
    else if (brush.Style == bsSolid)
      F.Fail(F.Path(), "missing field \"color\" (a solid brush needs one)");
    return brush;
  }

  TEdges ReadEdges(TFields& F, const json& Value, const std::string& Where) {
    TEdges edges;
    auto add = [&](const json& Item, const std::string& At) {
      const int edge = F.Keyword(Item, At, EdgeNames);
      if (edge < 0)
        edges = TEdges{edLeft, edTop, edRight, edBottom};
      else
        edges.Include(static_cast<TEdge>(edge));
    };
    if (Value.is_array()) {
      for (size_t i = 0; i < Value.size(); ++i) add(Value[i], JsonPathIndex(Where, i));
    } else {
      add(Value, Where);
    }
    return edges;
  }

  TPenSpec ReadPen(TFields& F) {
    TPenSpec pen;
    pen.Edges = ReadEdges(F, F.Require("edges"), F.PathOf("edges"));
    if (const json* v = F.Find("color")) pen.Color = F.Color(*v, F.PathOf("color"));
    if (const json* v = F.Find("style")) pen.Style = F.Keyword(*v, F.PathOf("style"), PenStyleNames);
    if (const json* v = F.Find("width")) pen.Width = F.Integer(*v, F.PathOf("width"), 0, MaxPenWidth);
    return pen;
  }

  // The optional format of an Add command.
  TFormatSpec ReadFormat(TFields& F) {
    TFormatSpec format;
    if (const json* v = F.Find("alignment")) format.Alignment = F.Keyword(*v, F.PathOf("alignment"), AlignmentNames, 2);
    if (const json* v = F.Find("layout")) format.Layout = F.Keyword(*v, F.PathOf("layout"), LayoutNames, 2);
    if (const json* v = F.Find("orientation"))
      format.Orientation = F.Keyword(*v, F.PathOf("orientation"), OrientationNames);
    if (const json* v = F.Find("font")) {
      TFields font(*v, F.PathOf("font"), label_);
      format.Font = ReadFont(font);
      font.Finish();
    }
    if (const json* v = F.Find("brush")) {
      TFields brush(*v, F.PathOf("brush"), label_);
      format.Brush = ReadBrush(brush);
      brush.Finish();
    }
    if (const json* v = F.Find("pen")) {
      TFields pen(*v, F.PathOf("pen"), label_);
      format.Pen = ReadPen(pen);
      pen.Finish();
    }
    if (const json* v = F.Find("shrinkToFit")) format.ShrinkToFit = F.Boolean(*v, F.PathOf("shrinkToFit"));
    if (const json* v = F.Find("wordWrap")) format.WordWrap = F.Boolean(*v, F.PathOf("wordWrap"));
    if (const json* v = F.Find("visible")) format.Visible = F.Boolean(*v, F.PathOf("visible"));
    if (const json* v = F.Find("stretch")) format.Stretch = F.Boolean(*v, F.PathOf("stretch"));
    return format;
  }

  // A size list of a cut: sizes, and negative entries that repeat the next size.
  std::vector<float> ReadSizes(TFields& F, const char* Key) {
    const std::string where = F.PathOf(Key);
    const json& value = F.Require(Key);
    std::vector<float> sizes;
    if (value.is_number()) {
      sizes.push_back(F.Coordinate(value, where));
      return sizes;
    }
    if (!value.is_array()) F.Fail(where, "expected a list of sizes, found " + Found(value));
    if (value.size() > static_cast<size_t>(MaxCellsPerCut))
      F.Fail(where, std::to_string(value.size()) + " entries; the most accepted is " + std::to_string(MaxCellsPerCut));
    for (size_t i = 0; i < value.size(); ++i) sizes.push_back(F.Coordinate(value[i], JsonPathIndex(where, i)));
    return sizes;
  }

  int32_t Count(TFields& F, const char* Key) {
    return F.Integer(F.Require(Key), F.PathOf(Key), -1000000, 1000000);
  }

  // Refuses a cut that would make more cells than MaxCellsPerCut.
  void CheckCutSize(TFields& F, int64_t Rows, int64_t Cols) {
    if (Rows > 0 && Cols > 0 && Rows * Cols > MaxCellsPerCut)
      F.Fail(F.Path(), "this cut makes up to " + std::to_string(Rows) + " x " + std::to_string(Cols) +
                           " cells; the most accepted is " + std::to_string(MaxCellsPerCut));
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
    bool known = false;
    for (const TOpName& entry : OpNames) {
      if (Lower(written) == Lower(entry.Name)) {
        c.Op = entry.Op;
        known = true;
        break;
      }
    }
    if (!known) {
      std::vector<std::string> names;
      for (const TOpName& entry : OpNames) names.emplace_back(entry.Name);
      f.Fail(f.PathOf("op"), "unknown command \"" + written + "\"" + Suggestion(written, names));
    }

    switch (c.Op) {
    case TOp::Add:
    case TOp::AddCell:
    case TOp::AddText:
    case TOp::AddGraphic:
    case TOp::AddRichEdit:
      c.Name = CellName(f, "name");
      ReadRect(f, c);
      if (c.Op == TOp::AddText) c.Text = f.String(f.Require("text"), f.PathOf("text"));
      if (c.Op == TOp::AddGraphic) c.File = ResolveFile(policy_, f.String(f.Require("file"), f.PathOf("file")), label_ + ": " + f.PathOf("file"));
      if (c.Op == TOp::AddRichEdit) ReadRichSource(f, c);
      if (c.Op != TOp::AddCell) c.Format = ReadFormat(f);
      break;
    case TOp::Select: {
      const json& patterns = f.Require("patterns");
      const std::string where = f.PathOf("patterns");
      if (patterns.is_array()) {
        for (size_t i = 0; i < patterns.size(); ++i) {
          const std::string item = f.String(patterns[i], JsonPathIndex(where, i));
          if (item.find(';') != std::string::npos)
            f.Fail(JsonPathIndex(where, i), "a pattern cannot contain \";\", which separates patterns");
          c.Patterns += (i ? ";" : "") + item;
        }
      } else {
        c.Patterns = f.String(patterns, where);
      }
      break;
    }
    case TOp::AddToSelection:
      c.Cell = CellName(f, "cell");
      if (const json* v = f.Find("clearFirst")) c.ClearFirst = f.Boolean(*v, f.PathOf("clearFirst"));
      break;
    case TOp::RemoveFromSelection:
    case TOp::BringToFront:
    case TOp::SendToBack:
    case TOp::Remove:
      c.Cell = OptionalCell(f);
      break;
    case TOp::MoveCell:
      c.Cell = OptionalCell(f);
      c.ToFront = f.Boolean(f.Require("toFront"), f.PathOf("toFront"));
      break;
    case TOp::SetAlignment:
      c.Alignment = f.Keyword(f.Require("value"), f.PathOf("value"), AlignmentNames, 2);
      break;
    case TOp::SetLayout:
      c.Layout = f.Keyword(f.Require("value"), f.PathOf("value"), LayoutNames, 2);
      break;
    case TOp::SetOrientation:
      c.Orientation = f.Keyword(f.Require("value"), f.PathOf("value"), OrientationNames);
      break;
    case TOp::SetBrush: {
      const TBrushSpec brush = ReadBrush(f);
      c.Color = brush.Color;
      c.Style = brush.Style;
      break;
    }
    case TOp::SetFont:
      c.Font = ReadFont(f);
      break;
    case TOp::SetTextProperties:
      if (const json* v = f.Find("shrinkToFit")) c.ShrinkToFit = f.Boolean(*v, f.PathOf("shrinkToFit"));
      if (const json* v = f.Find("wordWrap")) c.WordWrap = f.Boolean(*v, f.PathOf("wordWrap"));
      if (!c.ShrinkToFit && !c.WordWrap) f.Fail(path, "give \"shrinkToFit\", \"wordWrap\" or both");
      break;
    case TOp::SetEdges:
    case TOp::SetEdgesWR:
    case TOp::SetPen: {
      const TPenSpec pen = ReadPen(f);
      c.Edges = pen.Edges;
      c.Color = pen.Color;
      c.Style = pen.Style;
      c.PenWidth = pen.Width;
      if (c.Op == TOp::SetPen) c.ClearOthers = f.Boolean(f.Require("clearOthers"), f.PathOf("clearOthers"));
      break;
    }
    case TOp::CopyFormat:
      c.Source = CellName(f, "source");
      if (const json* v = f.Find("withoutEdges")) c.WithoutEdges = f.Boolean(*v, f.PathOf("withoutEdges"));
      break;
    case TOp::FillText: {
      const json& texts = f.Require("texts");
      const std::string where = f.PathOf("texts");
      if (!texts.is_array()) f.Fail(where, "expected a list of strings, found " + Found(texts));
      for (size_t i = 0; i < texts.size(); ++i) c.Texts.push_back(f.String(texts[i], JsonPathIndex(where, i)));
      break;
    }
    case TOp::Cut:
      c.Name = CellName(f, "baseName");
      c.Widths = ReadSizes(f, "widths");
      c.Heights = ReadSizes(f, "heights");
      CheckCutSize(f, CutValuesCount(c.Heights), CutValuesCount(c.Widths));
      break;
    case TOp::CutH:
      c.Name = CellName(f, "baseName");
      c.Heights = ReadSizes(f, "heights");
      CheckCutSize(f, CutValuesCount(c.Heights), 1);
      break;
    case TOp::CutV:
      c.Name = CellName(f, "baseName");
      c.Widths = ReadSizes(f, "widths");
      CheckCutSize(f, 1, CutValuesCount(c.Widths));
      break;
    case TOp::Split:
      c.Name = CellName(f, "baseName");
      c.Rows = Count(f, "rows");
      c.Cols = Count(f, "cols");
      CheckCutSize(f, c.Rows, c.Cols);
      break;
    case TOp::SplitH:
    case TOp::SplitV:
      c.Name = CellName(f, "baseName");
      c.Rows = Count(f, "parts");
      CheckCutSize(f, c.Rows, 1);
      break;
    case TOp::CutCell: {
      c.Name = CellName(f, "baseName");
      c.Widths = ReadSizes(f, "widths");
      c.Heights = ReadSizes(f, "heights");
      c.Rows = f.Has("rowCount") ? Count(f, "rowCount") : 0;
      c.Cols = f.Has("colCount") ? Count(f, "colCount") : 0;
      CheckCutSize(f, c.Rows != 0 ? c.Rows : CutValuesCount(c.Heights), c.Cols != 0 ? c.Cols : CutValuesCount(c.Widths));
      break;
    }
    case TOp::Inflate:
      c.Cell = OptionalCell(f);
      c.DX = f.Coordinate(f.Require("dx"), f.PathOf("dx"));
      c.DY = f.Coordinate(f.Require("dy"), f.PathOf("dy"));
      break;
    case TOp::CenterOnPage:
      c.Cell = OptionalCell(f);
      c.Center = f.Has("center") ? f.Keyword(*f.Find("center"), f.PathOf("center"), CenterNames) : ccBoth;
      break;
    case TOp::Magnification:
      c.Cell = OptionalCell(f);
      c.Factor = static_cast<float>(f.Real(f.Require("factor"), f.PathOf("factor"), 0, MaxFactor));
      if (const json* v = f.Find("scaleFont")) c.ScaleFont = f.Boolean(*v, f.PathOf("scaleFont"));
      break;
    case TOp::SetVisible:
    case TOp::SetStretch:
      c.Cell = OptionalCell(f);
      c.Switch = f.Boolean(f.Require("value"), f.PathOf("value"));
      break;
    case TOp::ChangeCellName:
      c.Cell = CellName(f, "cell");
      c.Name = CellName(f, "newName");
      break;
    case TOp::Reset:
    case TOp::RestoreDefaultSettings:
      break;
    case TOp::SetMeasurement:
      c.Measurement = f.Keyword(f.Require("value"), f.PathOf("value"), MeasurementNames);
      break;
    }
    f.Finish();
    return c;
  }

  void ReadRichSource(TFields& F, TCommand& C) {
    int given = 0;
    if (const json* v = F.Find("file")) {
      C.File = ResolveFile(policy_, F.String(*v, F.PathOf("file")), label_ + ": " + F.PathOf("file"));
      C.RichSource = TRichSource::File;
      ++given;
    }
    if (const json* v = F.Find("rtf")) {
      C.Text = F.String(*v, F.PathOf("rtf"));
      C.RichSource = TRichSource::Rtf;
      ++given;
    }
    if (const json* v = F.Find("markup")) {
      C.Text = F.String(*v, F.PathOf("markup"));
      C.RichSource = TRichSource::Markup;
      ++given;
    }
    if (const json* v = F.Find("text")) {
      C.Text = F.String(*v, F.PathOf("text"));
      C.RichSource = TRichSource::Text;
      ++given;
    }
    if (given != 1) F.Fail(F.Path(), "give exactly one of \"file\", \"rtf\", \"markup\" or \"text\"");
  }

  const std::string& label_;
  const TPathPolicy& policy_;
};

} // namespace

const char* OpName(TOp Op) {
  for (const TOpName& entry : OpNames)
    if (entry.Op == Op) return entry.Name;
  return "?";
}

bool ParseColor(const std::string& Text, TColor& Color) {
  if (Text.size() == 7 && Text[0] == '#') {
    uint32_t rgb = 0;
    for (size_t i = 1; i < 7; ++i) {
      const char c = Text[i];
      uint32_t digit;
      if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
      else return false;
      rgb = rgb * 16 + digit;
    }
    // Written as red, green, blue; kept as 0x00BBGGRR.
    Color = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    return true;
  }
  for (const TNamedColor& named : ColorNames) {
    if (Lower(Text) == named.Name) {
      Color = named.Value;
      return true;
    }
  }
  return false;
}

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
