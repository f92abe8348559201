#include "Layout.h"

#include "InputError.h"
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace mivora::tool {
namespace {

namespace fs = std::filesystem;

TLayout Parse(const std::string& Text, bool AllowOutside = false) {
  TPathPolicy policy;
  policy.BaseDir = "/srv/layouts";
  policy.AllowOutside = AllowOutside;
  return ParseLayout(Text, "l.json", policy, "l");
}

std::string Commands(const std::string& List) { return R"({"commands": [)" + List + "]}"; }

const char* const Cell = R"("left": 1, "top": 2, "width": 3, "height": 4)";

TEST(LayoutSyntax, ReportsLineAndColumnOfAJsonError) {
  EXPECT_THROW_MSG(Parse("{\n  \"commands\": [\n    {\"op\": \"Reset\",}\n  ]\n}"), EInputError,
                   "l.json:3:20: JSON syntax error: unexpected '}'; expected string literal");
  EXPECT_THROW_MSG(Parse(""), EInputError,
                   "l.json:1:1: JSON syntax error: unexpected end of input; expected '[', '{', or a literal");
}

TEST(LayoutSyntax, RefusesFieldsGivenTwiceAndDeepNesting) {
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Reset"}, {"op": "Add", "op": "Reset"})")), EInputError,
                   "l.json: commands[1]: field \"op\" is given twice");
  const std::string deep = std::string(70, '[') + std::string(70, ']');
  EXPECT_THROW(Parse(R"({"commands": )" + deep + "}"), EInputError);
}

TEST(LayoutSyntax, NumbersTooLargeForADoubleAreSyntaxErrors) {
  EXPECT_THROW_MSG(Parse(R"({"commands": [], "title": 1e999})"), EInputError,
                   "l.json:1:32: JSON syntax error: number overflow parsing '1e999'");
}

TEST(LayoutFields, NameThePathOfAWrongField) {
  EXPECT_THROW_MSG(Parse(Commands(R"({"op":"Reset"},{"op":"Reset"},{"op":"Reset"},
      {"op": "AddText", "name": "T", "text": "x", "left": 1, "top": 2, "width": 3, "height": 4,
       "font": {"height": "12pt"}})")),
                   EInputError, "l.json: commands[3].font.height: expected a number, found \"12pt\"");
  EXPECT_THROW_MSG(Parse(R"({"printer": {"margins": {"left": -1}}, "commands": []})"), EInputError,
                   "l.json: printer.margins.left: -1 is out of range (0 to 1000)");
  EXPECT_THROW_MSG(Parse(R"({"commands": {}})"), EInputError,
                   "l.json: commands: expected a list of commands, found an object");
  EXPECT_THROW_MSG(Parse(R"({"title": "x"})"), EInputError, "l.json: missing field \"commands\"");
}

TEST(LayoutFields, SuggestTheNearestNameForUnknownCommandsAndFields) {
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "AddTxt"})")), EInputError,
                   "l.json: commands[0].op: unknown command \"AddTxt\"; did you mean \"AddText\"?");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Add", "name": "A", "left": 1, "top": 2, "widht": 3, "height": 4})")),
                   EInputError, "l.json: commands[0].widht: unknown field; did you mean \"width\"?");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Reset", "cell": "A"})")), EInputError,
                   "l.json: commands[0].cell: unknown field");
  // A field the command takes is no misspelling of the missing one.
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Split", "baseName": "G", "cols": 2})")), EInputError,
                   "l.json: commands[0]: missing field \"rows\"");
  EXPECT_THROW_MSG(Parse(R"({"comands": [], "commands": []})"), EInputError,
                   "l.json: comands: unknown field; did you mean \"commands\"?");
}

TEST(LayoutFields, CommentsAndSchemaAreAllowedEverywhere) {
  const TLayout layout = Parse(R"({"$schema": "s.json", "comment": "c",
      "commands": [{"op": "Reset", "comment": "start afresh"}]})");
  ASSERT_EQ(layout.Commands.size(), 1u);
  EXPECT_EQ(layout.Commands[0].Op(), "Reset");
}

TEST(LayoutLimits, RefuseHugeAndNonFiniteNumbers) {
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Add", "name": "A", "left": 1e7, "top": 0, "width": 1, "height": 1})")),
                   EInputError, "l.json: commands[0].left: 1e+07 is out of range (-1e+06 to 1e+06)");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Magnification", "factor": -2})")), EInputError,
                   "l.json: commands[0].factor: -2 is out of range (0 to 1000)");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "SetEdges", "edges": "all", "width": 2.5})")), EInputError,
                   "l.json: commands[0].width: expected a whole number, found 2.5");
  EXPECT_THROW_MSG(Parse(R"({"printer": {"resolution": 100000}, "commands": []})"), EInputError,
                   "l.json: printer.resolution: 100000 is out of range (1 to 9600)");
}

TEST(LayoutLimits, RefuseCutsThatMakeTooManyCells) {
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Split", "baseName": "G", "rows": 1000, "cols": 1000})")), EInputError,
                   "l.json: commands[0]: this cut makes up to 1000 x 1000 cells; the most accepted is 10000");
  // A repeat marker stands for many sizes.
  EXPECT_THROW(Parse(Commands(R"({"op": "CutH", "baseName": "G", "heights": [-20000, 0.1]})")), EInputError);
  EXPECT_NO_THROW(Parse(Commands(R"({"op": "Split", "baseName": "G", "rows": 100, "cols": 100})")));
  // Counts of 0 or less cut nothing, as the sheet does.
  EXPECT_NO_THROW(Parse(Commands(R"({"op": "Split", "baseName": "G", "rows": -5, "cols": 1000000})")));
}

TEST(LayoutPaths, AreRelativeToTheLayoutAndStayInsideItsFolder) {
  const TLayout layout =
      Parse(Commands(std::string(R"({"op": "AddGraphic", "name": "P", "file": "img/logo.png", )") + Cell + "}"));
  EXPECT_EQ(layout.Commands[0].Args.Text("file"), "/srv/layouts/img/logo.png");
  EXPECT_THROW_MSG(
      Parse(Commands(std::string(R"({"op": "AddGraphic", "name": "P", "file": "../secret.png", )") + Cell + "}")),
      EInputError,
      "l.json: commands[0].file: \"../secret.png\" leads outside the folder /srv/layouts "
      "(use --allow-outside to permit it)");
  EXPECT_THROW_MSG(
      Parse(Commands(std::string(R"({"op": "AddRichEdit", "name": "R", "file": "/etc/passwd", )") + Cell + "}")),
      EInputError,
      "l.json: commands[0].file: \"/etc/passwd\" is an absolute path; files must lie in the folder of the file "
      "that names them (or use --allow-outside)");
  const TLayout allowed = Parse(
      Commands(std::string(R"({"op": "AddGraphic", "name": "P", "file": "../shared/x.png", )") + Cell + "}"), true);
  EXPECT_EQ(allowed.Commands[0].Args.Text("file"), "/srv/shared/x.png");
}

TEST(LayoutPaths, FollowSymbolicLinksBeforeDecidingWhereAFileLies) {
  const fs::path dir = fs::path(test::OutputDir()) / "layout-links";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::create_symlink("/etc", dir / "etc");
  TPathPolicy policy{dir, false};
  EXPECT_THROW(ResolveFile(policy, "etc/passwd", "here"), EInputError);
  EXPECT_EQ(ResolveFile(policy, "sub/../pic.png", "here"), fs::weakly_canonical(dir) / "pic.png");
}

TEST(LayoutCommands, ReadEveryArgumentOfTheAddFamilyWithTheirFormat) {
  const TLayout layout = Parse(Commands(std::string(R"(
      {"op": "addtext", "name": "T", "text": "Hi", )") + Cell + R"(, "alignment": "right", "layout": "bottom",
       "orientation": "vertical", "font": {"name": "Liberation Serif", "height": 0.5, "style": ["bold", "italic"],
       "color": "#FF8000"}, "brush": {"color": "yellow"}, "pen": {"edges": ["top", "left"], "width": 3},
       "shrinkToFit": true, "wordWrap": false, "visible": false},
      {"op": "AddRichEdit", "name": "R", "markup": "<b>x</b>", )" + Cell + "}"));
  const TArgs& t = layout.Commands[0].Args;
  EXPECT_EQ(layout.Commands[0].Op(), "AddText");
  EXPECT_EQ(t.Text("text"), "Hi");
  EXPECT_DOUBLE_EQ(t.Number("left"), 1);
  EXPECT_DOUBLE_EQ(t.Number("height"), 4);
  EXPECT_EQ(t.Whole("alignment"), 1);
  EXPECT_EQ(t.Whole("layout"), 2);
  EXPECT_EQ(t.Whole("orientation"), toVertical);
  ASSERT_TRUE(t.Has("font"));
  EXPECT_EQ(t.Text("font.name"), "Liberation Serif");
  EXPECT_EQ(t.Whole("font.style"), fsBold | fsItalic);
  EXPECT_EQ(t.Whole("font.color"), 0x0080FF);  // written RGB, kept BGR
  EXPECT_EQ(t.Whole("brush.color"), 0x00FFFF);
  EXPECT_EQ(t.Whole("brush.style"), bsSolid);
  EXPECT_EQ(EdgesFromBits(t.Whole("pen.edges")), (TEdges{edTop, edLeft}));
  EXPECT_EQ(t.Whole("pen.style"), psSolid);
  EXPECT_EQ(t.Whole("pen.width"), 3);
  EXPECT_FALSE(t.Flag("visible"));
  EXPECT_FALSE(t.Has("stretch"));
  EXPECT_EQ(layout.Commands[1].Args.Text("markup"), "<b>x</b>");
  EXPECT_FALSE(layout.Commands[1].Args.Has("file"));
  EXPECT_THROW_MSG(Parse(Commands(std::string(R"({"op": "AddRichEdit", "name": "R", )") + Cell + "}")), EInputError,
                   "l.json: commands[0]: give exactly one of \"file\", \"rtf\", \"markup\" or \"text\"");
}

TEST(LayoutCommands, ReadSelectionEdgesCutsAndSettings) {
  const TLayout layout = Parse(R"({
    "title": "Job", "measurement": "percentage", "printEdgesLast": false,
    "printer": {"paper": {"width": 100, "height": 150}, "orientation": "landscape", "resolution": [300, 600], "margins": 4},
    "commands": [
      {"op": "Select", "patterns": ["A*", "*B"]},
      {"op": "SetEdgesWR", "edges": "borders", "color": "red", "style": "dashDot", "width": 2},
      {"op": "Cut", "baseName": "G", "widths": [-3, 0.2], "heights": 0.5},
      {"op": "MoveCell", "cell": "A", "toFront": false},
      {"op": "CenterOnPage", "center": "horizontal"},
      {"op": "SetPen", "edges": [], "clearOthers": true}
    ]})");
  EXPECT_EQ(layout.Title, "Job");
  EXPECT_EQ(layout.Measurement, mtPercentage);
  EXPECT_EQ(layout.PrintEdgesLast, false);
  EXPECT_EQ(layout.Printer.PaperMm, (std::pair<double, double>{100, 150}));
  EXPECT_EQ(layout.Printer.Orientation, poLandscape);
  EXPECT_EQ(layout.Printer.Dpi, (std::pair<int32_t, int32_t>{300, 600}));
  EXPECT_EQ(layout.Printer.Margins, (TPrinterMargins{4, 4, 4, 4}));
  EXPECT_EQ(layout.Commands[0].Args.Text("patterns"), "A*;*B");
  EXPECT_EQ(EdgesFromBits(layout.Commands[1].Args.Whole("edges")), TEdges{edBorders});
  EXPECT_EQ(layout.Commands[1].Args.Whole("color"), 0x0000FF);
  EXPECT_EQ(layout.Commands[1].Args.Whole("style"), psDashDot);
  EXPECT_EQ(layout.Commands[2].Args.Sizes("widths"), (std::vector<float>{-3, 0.2f}));
  EXPECT_EQ(layout.Commands[2].Args.Sizes("heights"), (std::vector<float>{0.5f}));
  EXPECT_EQ(layout.Commands[3].Args.Text("cell"), "A");
  EXPECT_FALSE(layout.Commands[3].Args.Flag("toFront"));
  EXPECT_EQ(layout.Commands[4].Args.Whole("center"), ccHorizontal);
  EXPECT_EQ(layout.Commands[5].Args.Whole("edges"), 0);
  // Fields left out hold their defaults.
  EXPECT_EQ(layout.Commands[5].Args.Whole("color"), clBlack);
  EXPECT_EQ(layout.Commands[5].Args.Whole("width"), 1);
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "Select", "patterns": ["A;B"]})")), EInputError,
                   "l.json: commands[0].patterns[0]: a pattern cannot contain \";\", which separates patterns");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "SetAlignment", "value": "middle"})")), EInputError,
                   "l.json: commands[0].value: \"middle\" is not one of \"left\", \"right\", \"center\", \"centre\"");
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "SetBrush", "color": "#12345"})")), EInputError,
                   "l.json: commands[0].color: \"#12345\" is not a colour (write \"#RRGGBB\", \"#RGB\" or a CSS "
                   "colour name such as \"orange\")");
}

TEST(LayoutValues, MillimetresAreReadAsTenthsOfCentimetresUntilTheUnitChanges) {
  const TLayout layout = Parse(R"({"measurement": "mm", "commands": [
      {"op": "AddText", "name": "T", "text": "x", "left": 25, "top": 10, "width": 50, "height": 20,
       "font": {"height": 4}},
      {"op": "CutH", "baseName": "G", "heights": [-2, 15]},
      {"op": "Magnification", "factor": 2},
      {"op": "SetMeasurement", "value": "inches"},
      {"op": "Inflate", "dx": 1, "dy": 1},
      {"op": "SetMeasurement", "value": "Millimetres"},
      {"op": "Inflate", "dx": 1, "dy": 1}]})");
  EXPECT_EQ(layout.Measurement, mtCentimeters);
  const TArgs& add = layout.Commands[0].Args;
  EXPECT_DOUBLE_EQ(add.Number("left"), 2.5);
  EXPECT_DOUBLE_EQ(add.Number("height"), 2);
  EXPECT_DOUBLE_EQ(add.Number("font.height"), 0.4);
  // A repeat count is no length.
  EXPECT_EQ(layout.Commands[1].Args.Sizes("heights"), (std::vector<float>{-2, 1.5f}));
  EXPECT_DOUBLE_EQ(layout.Commands[2].Args.Number("factor"), 2);
  EXPECT_EQ(SheetUnit(layout.Commands[3].Args.Whole("value")), mtInches);
  EXPECT_DOUBLE_EQ(layout.Commands[4].Args.Number("dx"), 1);
  EXPECT_EQ(SheetUnit(layout.Commands[5].Args.Whole("value")), mtCentimeters);
  EXPECT_DOUBLE_EQ(layout.Commands[6].Args.Number("dx"), 0.1);
  // Bounds apply to the value as written.
  EXPECT_THROW_MSG(Parse(R"({"measurement": "mm", "commands": [{"op": "Inflate", "dx": 2e6, "dy": 0}]})"),
                   EInputError, "l.json: commands[0].dx: 2e+06 is out of range (-1e+06 to 1e+06)");
  EXPECT_THROW_MSG(Parse(R"({"measurement": "furlongs", "commands": []})"), EInputError,
                   "l.json: measurement: \"furlongs\" is not one of \"pixels\", \"centimeters\", \"centimetres\", "
                   "\"inches\", \"percentage\", \"mm\", \"millimeters\", \"millimetres\"");
}

TEST(LayoutValues, ColoursAreShortOrLongHexOrAnyCssNameInAnyCase) {
  TColor color = 0;
  EXPECT_TRUE(ParseColor("#fff", color));
  EXPECT_EQ(color, 0xFFFFFFu);
  EXPECT_TRUE(ParseColor("#F80", color));
  EXPECT_EQ(color, 0x0088FFu);  // #FF8800, kept BGR
  EXPECT_TRUE(ParseColor("Orange", color));
  EXPECT_EQ(color, 0x00A5FFu);
  EXPECT_TRUE(ParseColor("REBECCAPURPLE", color));
  EXPECT_EQ(color, 0x993366u);
  EXPECT_TRUE(ParseColor("lightgoldenrodyellow", color));
  EXPECT_EQ(color, 0xD2FAFAu);
  EXPECT_TRUE(ParseColor("aliceblue", color));
  EXPECT_TRUE(ParseColor("yellowgreen", color));
  TColor grey = 0, gray = 1;
  EXPECT_TRUE(ParseColor("darkslategrey", grey) && ParseColor("DarkSlateGray", gray));
  EXPECT_EQ(grey, gray);
  const std::vector<std::string> names = ColorNames();
  EXPECT_EQ(names.size(), 148u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  color = 0x123456;
  for (const char* bad : {"", "#", "#ff", "#ffff", "#fffff", "#ggg", "#12345g", "fff", "orange ", "orang", "#fff0000"})
    EXPECT_FALSE(ParseColor(bad, color)) << bad;
  EXPECT_EQ(color, 0x123456u);
  EXPECT_THROW_MSG(Parse(Commands(R"({"op": "SetFont", "color": "#ggg"})")), EInputError,
                   "l.json: commands[0].color: \"#ggg\" is not a colour (write \"#RRGGBB\", \"#RGB\" or a CSS "
                   "colour name such as \"orange\")");
}

TEST(LayoutFile, DefaultsTheTitleToTheFileNameAndResolvesBesideIt) {
  const fs::path dir = fs::path(test::OutputDir()) / "layout-file";
  fs::create_directories(dir);
  std::ofstream(dir / "card.json") << R"({"commands": [{"op": "AddGraphic", "name": "P", "file": "p.png",
      "left": 0, "top": 0, "width": 1, "height": 1}]})";
  const TLayout layout = LoadLayout(dir / "card.json", false);
  EXPECT_EQ(layout.Title, "card");
  EXPECT_EQ(layout.Commands[0].Args.Text("file"), (fs::weakly_canonical(dir) / "p.png").string());
  EXPECT_THROW_MSG(LoadLayout(dir / "missing.json", false), EInputError,
                   "Cannot read the layout \"" + (dir / "missing.json").string() + "\": no such file");
}

} // namespace
} // namespace mivora::tool
