#include "Commands.h"

#include "CommandDocs.h"
#include "InputError.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Numbers.h"
#include "TestSupport.h"

#include <fstream>
#include <map>
#include <sstream>

namespace mivora::tool {
namespace {

using nlohmann::json;

// Valid fields for every command, run after Setup with cell A selected. A new
// command needs an entry here: the tests below refuse a command without one.
const std::map<std::string, json>& ValidFields() {
  static const std::map<std::string, json> fields{
      {"Add", {{"name", "N"}, {"left", 1}, {"top", 1}, {"width", 4}, {"height", 2}, {"alignment", "left"},
               {"layout", 0}, {"orientation", "horizontal"},
               {"font", {{"name", "Arial"}, {"height", 0.5}, {"style", "bold"}, {"color", "navy"}}},
               {"brush", {{"color", "#ff8000"}}}, {"pen", {{"edges", "all"}, {"width", 2}}}, {"shrinkToFit", true},
               {"wordWrap", true}, {"visible", true}, {"stretch", false}, {"fit", "contain"}}},
      {"AddCell", {{"name", "N"}, {"left", 1}, {"top", 1}, {"width", 4}, {"height", 2}}},
      {"AddText", {{"name", "N"}, {"text", "t"}, {"left", 1}, {"top", 1}, {"width", 4}, {"height", 2}}},
      {"AddGraphic", {{"name", "N"}, {"file", "picture.png"}, {"left", 1}, {"top", 1}, {"width", 4}, {"height", 2}}},
      {"AddRichEdit", {{"name", "N"}, {"markup", "<b>x</b>"}, {"left", 1}, {"top", 1}, {"width", 4}, {"height", 2}}},
      {"AddBarcode", {{"name", "N"}, {"symbology", "qr"}, {"data", "hello"}, {"left", 1}, {"top", 1}, {"width", 4},
                      {"height", 4}}},
      {"Select", {{"patterns", {"A", "B*"}}}},
      {"AddToSelection", {{"cell", "B"}, {"clearFirst", true}}},
      {"RemoveFromSelection", {{"cell", "A"}}},
      {"BringToFront", {{"cell", "A"}}},
      {"SendToBack", json::object()},
      {"MoveCell", {{"cell", "A"}, {"toFront", true}}},
      {"SetAlignment", {{"value", "right"}}},
      {"SetLayout", {{"value", "bottom"}}},
      {"SetOrientation", {{"value", "vertical"}}},
      {"SetBrush", {{"color", "red"}, {"style", "solid"}}},
      {"SetFont", {{"name", "Arial"}, {"color", "blue"}, {"height", 0.4}, {"style", {"italic"}}}},
      {"SetTextProperties", {{"shrinkToFit", true}, {"wordWrap", false}}},
      {"SetEdges", {{"edges", {"top", "left"}}, {"color", "red"}, {"style", "dash"}, {"width", 3}}},
      {"SetEdgesWR", {{"edges", "borders"}}},
      {"SetPen", {{"edges", "all"}, {"clearOthers", true}}},
      {"CopyFormat", {{"source", "B"}, {"withoutEdges", true}}},
      {"FillText", {{"texts", {"x", "y"}}}},
      {"Cut", {{"baseName", "G"}, {"widths", {1, 1}}, {"heights", 1}}},
      {"CutH", {{"baseName", "G"}, {"heights", {-2, 0.5}}}},
      {"CutV", {{"baseName", "G"}, {"widths", 2}}},
      {"Split", {{"baseName", "G"}, {"rows", 2}, {"cols", 2}}},
      {"SplitH", {{"baseName", "G"}, {"parts", 2}}},
      {"SplitV", {{"baseName", "G"}, {"parts", 3}}},
      {"CutCell", {{"baseName", "G"}, {"widths", {1}}, {"heights", {1}}, {"rowCount", 2}, {"colCount", 2}}},
      {"Inflate", {{"cell", "A"}, {"dx", 0.5}, {"dy", -0.2}}},
      {"CenterOnPage", {{"center", "vertical"}}},
      {"Magnification", {{"factor", 1.5}, {"scaleFont", true}}},
      {"SetVisible", {{"value", false}}},
      {"SetStretch", {{"cell", "A"}, {"value", true}}},
      {"SetFit", {{"cell", "A"}, {"value", "cover"}}},
      {"ChangeCellName", {{"cell", "A"}, {"newName", "Z"}}},
      {"Remove", {{"cell", "B"}}},
      {"Reset", json::object()},
      {"RestoreDefaultSettings", json::object()},
      {"SetMeasurement", {{"value", "inches"}}},
  };
  return fields;
}

// Two cells, A selected; the command under test is commands[3].
constexpr size_t Under = 3;

std::string LayoutWith(const json& Command, const std::string& Measurement = "centimeters") {
  json commands = json::array();
  commands.push_back({{"op", "AddText"}, {"name", "A"}, {"text", "a"}, {"left", 1}, {"top", 1}, {"width", 4},
                      {"height", 2}});
  commands.push_back({{"op", "AddText"}, {"name", "B"}, {"text", "b"}, {"left", 6}, {"top", 1}, {"width", 4},
                      {"height", 2}});
  commands.push_back({{"op", "Select"}, {"patterns", "A"}});
  commands.push_back(Command);
  return json{{"measurement", Measurement}, {"commands", commands}}.dump();
}

json CommandOf(const std::string& Op, const json& Fields) {
  json command = Fields;
  command["op"] = Op;
  return command;
}

class Commands : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetMargins(TPrinterMargins{});
    Printer()->SetPaper(paA4);
    Printer()->SetResolution(600);
    Printer()->SetOrientation(poPortrait);
  }

  static TLayout Parse(const std::string& Text) {
    const TPathPolicy policy{MIVORA_TEST_DATA_DIR, false};
    return ParseLayout(Text, "l.json", policy, "l");
  }

  // The message reading Command gives, or "" when it reads.
  static std::string ReadFault(const json& Command) {
    try {
      Parse(LayoutWith(Command));
    } catch (const EInputError& error) {
      return error.what();
    }
    return {};
  }

  TMivora sheet_{nullptr};
};

// The path of field Key of the command under test.
std::string At(const std::string& Key) { return "l.json: commands[3]" + (Key.empty() ? "" : "." + Key) + ": "; }

// A value of the wrong JSON kind for a field, and the start of the message it gives.
std::pair<json, std::string> WrongKind(const TFieldSpec& Field) {
  switch (Field.Type) {
  case TFieldType::Text:
  case TFieldType::Cell:
  case TFieldType::File:
  case TFieldType::Patterns: return {5, "expected a string, found 5"};
  case TFieldType::Number:
  case TFieldType::Length: return {"12pt", "expected a number, found \"12pt\""};
  case TFieldType::Whole: return {2.5, "expected a whole number, found 2.5"};
  case TFieldType::Switch: return {"yes", "expected true or false, found \"yes\""};
  case TFieldType::Keyword: return {true, "expected one of \""};
  case TFieldType::Color: return {7, "expected a colour (\"#RRGGBB\", \"#RGB\" or a name such as \"orange\"), found 7"};
  case TFieldType::Sizes: return {"wide", "expected a list of sizes, found \"wide\""};
  case TFieldType::Edges: return {{1}, "expected one of \""};
  case TFieldType::FontStyle: return {5, "expected a list of styles"};
  case TFieldType::Texts: return {"x", "expected a list of strings, found \"x\""};
  case TFieldType::Object: return {5, "expected an object, found 5"};
  }
  return {};
}

bool StartsWith(const std::string& Text, const std::string& Start) { return Text.rfind(Start, 0) == 0; }

TEST_F(Commands, EveryCommandHasAValidSampleThatReadsAndRuns) {
  for (const TCommandSpec& spec : CommandTable()) {
    SCOPED_TRACE(spec.Name);
    ASSERT_EQ(ValidFields().count(spec.Name), 1u) << "no sample fields for " << spec.Name;
    TMivora sheet(nullptr);
    const TLayout layout = Parse(LayoutWith(CommandOf(spec.Name, ValidFields().at(spec.Name))));
    ASSERT_EQ(layout.Commands.size(), Under + 1);
    EXPECT_EQ(layout.Commands[Under].Spec, &spec);
    EXPECT_NO_THROW(BuildSheet(sheet, layout));
  }
  EXPECT_EQ(ValidFields().size(), CommandTable().size());
}

TEST_F(Commands, RefuseEachKindOfBadFieldWithItsPath) {
  for (const TCommandSpec& spec : CommandTable()) {
    const json& valid = ValidFields().at(spec.Name);
    for (const TFieldSpec& field : spec.Fields) {
      SCOPED_TRACE(spec.Name + "." + field.Key);
      if (field.Required) {
        json command = CommandOf(spec.Name, valid);
        command.erase(field.Key);
        EXPECT_EQ(ReadFault(command), At("") + "missing field \"" + field.Key + "\"");
      }
      const auto [wrong, message] = WrongKind(field);
      json command = CommandOf(spec.Name, valid);
      command[field.Key] = wrong;
      const std::string where = field.Type == TFieldType::Edges ? At(field.Key + "[0]") : At(field.Key);
      EXPECT_PRED2(StartsWith, ReadFault(command), where + message);

      if (field.Type == TFieldType::Number || field.Type == TFieldType::Length || field.Type == TFieldType::Whole) {
        command[field.Key] = field.Max + 1;
        EXPECT_PRED2(StartsWith, ReadFault(command), At(field.Key) + FormatNumber(field.Max + 1) + " is out of range");
        command[field.Key] = field.Min - 1;
        EXPECT_PRED2(StartsWith, ReadFault(command), At(field.Key) + FormatNumber(field.Min - 1) + " is out of range");
      }
      if (field.Type == TFieldType::Keyword || field.Type == TFieldType::Edges ||
          field.Type == TFieldType::FontStyle) {
        command[field.Key] = "sideways";
        EXPECT_PRED2(StartsWith, ReadFault(command), At(field.Key) + "\"sideways\" is not one of \"");
      }
      if (field.Type == TFieldType::Color) {
        command[field.Key] = "#12";
        EXPECT_PRED2(StartsWith, ReadFault(command), At(field.Key) + "\"#12\" is not a colour");
      }
      if (field.Type == TFieldType::Object) {
        command = CommandOf(spec.Name, valid);
        command[field.Key] = {{"colour", "red"}};
        if (field.Object->Name == "pen") command[field.Key]["edges"] = "all";
        if (field.Object->Name == "brush") command[field.Key]["color"] = "red";
        EXPECT_EQ(ReadFault(command), At(field.Key + ".colour") + "unknown field; did you mean \"color\"?");
      }
    }
    SCOPED_TRACE(spec.Name);
    json command = CommandOf(spec.Name, valid);
    command["bogus"] = 1;
    EXPECT_EQ(ReadFault(command), At("bogus") + "unknown field");
  }
}

TEST_F(Commands, CrossFieldRulesAndSheetErrorsNameTheCommand) {
  EXPECT_EQ(ReadFault({{"op", "SetBrush"}, {"style", "solid"}}),
            At("") + "missing field \"color\" (a solid brush needs one)");
  EXPECT_EQ(ReadFault({{"op", "SetBrush"}, {"style", "clear"}}), "");
  EXPECT_EQ(ReadFault({{"op", "SetTextProperties"}}), At("") + "give \"shrinkToFit\", \"wordWrap\" or both");
  EXPECT_EQ(ReadFault({{"op", "AddRichEdit"}, {"name", "R"}, {"text", "a"}, {"rtf", "b"}, {"left", 0}, {"top", 0},
                       {"width", 1}, {"height", 1}}),
            At("") + "give exactly one of \"file\", \"rtf\", \"markup\" or \"text\"");
  EXPECT_EQ(ReadFault({{"op", "CutCell"}, {"baseName", "G"}, {"widths", 1}, {"heights", 1}, {"rowCount", 200},
                       {"colCount", 200}}),
            At("") + "this cut makes up to 200 x 200 cells; the most accepted is 10000");
  EXPECT_EQ(ReadFault({{"op", "addtext"}, {"name", "T"}, {"text", "x"}, {"left", 0}, {"top", 0}, {"width", 1},
                       {"height", 1}}),
            "");

  // The sheet's own refusals name the command with the cell it works on.
  const auto runFault = [this](const json& Command) {
    try {
      BuildSheet(sheet_, Parse(LayoutWith(Command)));
    } catch (const EInputError& error) {
      return std::string(error.what());
    }
    return std::string();
  };
  EXPECT_PRED2(StartsWith,
               runFault({{"op", "AddText"}, {"name", "A"}, {"text", "x"}, {"left", 0}, {"top", 0}, {"width", 1},
                         {"height", 1}}),
               "l.json: commands[3] (AddText \"A\"): ");
  sheet_.Reset();
  EXPECT_PRED2(StartsWith, runFault({{"op", "Inflate"}, {"cell", "Nobody"}, {"dx", 1}, {"dy", 1}}),
               "l.json: commands[3] (Inflate \"Nobody\"): ");
  sheet_.Reset();
  EXPECT_PRED2(StartsWith, runFault({{"op", "CopyFormat"}, {"source", "Nobody"}}),
               "l.json: commands[3] (CopyFormat \"Nobody\"): ");
}

TEST(CommandDocs, TheCheckedInSchemaAndReferenceAreTheGeneratedOnes) {
  const auto read = [](const std::string& Name) {
    std::ifstream file(std::string(MIVORA_SOURCE_DIR) + "/docs/" + Name);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  };
  // Regenerate with: mivora schema > docs/layout.schema.json
  EXPECT_EQ(read("layout.schema.json"), LayoutSchemaText());
  // Regenerate with: mivora commands --markdown, between the two markers.
  const std::string doc = read("layout-format.md");
  const std::string begin = "<!-- command reference: generated by `mivora commands --markdown` -->\n";
  const std::string end = "<!-- end of the command reference -->";
  const size_t from = doc.find(begin), to = doc.find(end);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  EXPECT_EQ(doc.substr(from + begin.size(), to - from - begin.size()), "\n" + CommandReference() + "\n");
}

TEST(CommandDocs, ListingNamesEveryCommandAndTheFieldsOfOne) {
  const std::string all = "\n" + CommandListing("");
  for (const TCommandSpec& spec : CommandTable()) EXPECT_NE(all.find("\n" + spec.Name + " "), std::string::npos)
      << spec.Name;
  EXPECT_EQ(CommandListing("setpen"),
            "SetPen: Gives the named edges a pen; clearOthers clears the others.\n"
            "  edges (edges: left | top | right | bottom | borders | all, or a list, required): left, top, right, "
            "bottom, all (the four), borders (the selection's outline), or a list\n"
            "  color (colour, default \"black\"): the colour of the line\n"
            "  style (solid | dash | dot | dashDot | dashDotDot | clear, default \"solid\"): the kind of line; clear "
            "draws nothing\n"
            "  width (whole number, 0 to 10000, default 1): in whole printer pixels\n"
            "  clearOthers (true or false, required): true: the edges not named are cleared\n");
  EXPECT_THROW_MSG(CommandListing("Paint"), EInputError, "no command \"Paint\"; `mivora commands` lists them");
}

} // namespace
} // namespace mivora::tool
