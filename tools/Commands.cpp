#include "Commands.h"

#include "Barcode.h"
#include "Gdi.h"
#include "Layout.h"
#include "Picture.h"
#include "RichEdit.h"
#include "TextCase.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace mivora::tool {

using nlohmann::json;

namespace {

// --- Keyword sets ------------------------------------------------------------

const TKeywordSet AlignmentWords{"alignment", {{"left", 0}, {"right", 1}, {"center", 2}, {"centre", 2}}, 2};
const TKeywordSet LayoutWords{"layout", {{"top", 0}, {"center", 1}, {"centre", 1}, {"bottom", 2}}, 2};
const TKeywordSet OrientationWords{"orientation", {{"horizontal", toHorizontal}, {"vertical", toVertical}}};
const TKeywordSet CenterWords{"center", {{"horizontal", ccHorizontal}, {"vertical", ccVertical}, {"both", ccBoth}}};
const TKeywordSet MeasurementWords{"measurement",
                                   {{"pixels", mtPixels},
                                    {"centimeters", mtCentimeters},
                                    {"centimetres", mtCentimeters},
                                    {"inches", mtInches},
                                    {"percentage", mtPercentage},
                                    {"mm", MeasurementMillimetres},
                                    {"millimeters", MeasurementMillimetres},
                                    {"millimetres", MeasurementMillimetres}}};
const TKeywordSet PenStyleWords{"penStyle",
                                {{"solid", psSolid}, {"dash", psDash}, {"dot", psDot}, {"dashDot", psDashDot},
                                 {"dashDotDot", psDashDotDot}, {"clear", psClear}}};
const TKeywordSet BrushStyleWords{"brushStyle", {{"solid", bsSolid}, {"clear", bsClear}}};
// How a picture fills its cell: the first two set Stretch, the others the cell's Fit.
const TKeywordSet FitWords{"fit", {{"stretch", 0}, {"natural", 1}, {"contain", 2}, {"cover", 3}}};
// "all" (-1) stands for the four real edges.
const TKeywordSet EdgeWords{"edge",
                            {{"left", edLeft}, {"top", edTop}, {"right", edRight}, {"bottom", edBottom},
                             {"borders", edBorders}, {"all", -1}}};
const TKeywordSet SymbologyWords{"symbology",
                                 {{"code128", static_cast<int32_t>(TSymbology::Code128)},
                                  {"gs1-128", static_cast<int32_t>(TSymbology::Gs1_128)},
                                  {"ean13", static_cast<int32_t>(TSymbology::Ean13)},
                                  {"ean8", static_cast<int32_t>(TSymbology::Ean8)},
                                  {"upca", static_cast<int32_t>(TSymbology::UpcA)},
                                  {"upce", static_cast<int32_t>(TSymbology::UpcE)},
                                  {"code39", static_cast<int32_t>(TSymbology::Code39)},
                                  {"itf14", static_cast<int32_t>(TSymbology::Itf14)},
                                  {"interleaved2of5", static_cast<int32_t>(TSymbology::Interleaved2of5)},
                                  {"qr", static_cast<int32_t>(TSymbology::QrCode)},
                                  {"datamatrix", static_cast<int32_t>(TSymbology::DataMatrix)},
                                  {"gs1-datamatrix", static_cast<int32_t>(TSymbology::Gs1DataMatrix)},
                                  {"pdf417", static_cast<int32_t>(TSymbology::Pdf417)},
                                  {"aztec", static_cast<int32_t>(TSymbology::Aztec)}}};
const TKeywordSet ErrorCorrectionWords{"errorCorrection", {{"L", 'L'}, {"M", 'M'}, {"Q", 'Q'}, {"H", 'H'}}};
const TKeywordSet FontStyleWords{"fontStyle",
                                 {{"bold", fsBold}, {"italic", fsItalic}, {"underline", fsUnderline},
                                  {"strikeOut", fsStrikeOut}}};

// --- Field declarations ------------------------------------------------------

TFieldSpec Field(std::string Key, TFieldType Type, bool Required, std::string Doc, json Default = nullptr) {
  TFieldSpec field;
  field.Key = std::move(Key);
  field.Type = Type;
  field.Required = Required;
  field.Default = std::move(Default);
  field.Doc = std::move(Doc);
  return field;
}

TFieldSpec Bounded(TFieldSpec Field, double Min, double Max) {
  Field.Min = Min;
  Field.Max = Max;
  return Field;
}

TFieldSpec Length(std::string Key, bool Required, std::string Doc, json Default = nullptr) {
  return Bounded(Field(std::move(Key), TFieldType::Length, Required, std::move(Doc), std::move(Default)),
                 -MaxCoordinate, MaxCoordinate);
}

TFieldSpec Words(TFieldSpec Field, const TKeywordSet& Set) {
  Field.Keywords = &Set;
  return Field;
}

TFieldSpec Keyword(std::string Key, const TKeywordSet& Set, bool Required, std::string Doc, json Default = nullptr) {
  return Words(Field(std::move(Key), TFieldType::Keyword, Required, std::move(Doc), std::move(Default)), Set);
}

TFieldSpec Object(std::string Key, const TObjectSpec& Spec, std::string Doc) {
  TFieldSpec field = Field(std::move(Key), TFieldType::Object, false, std::move(Doc));
  field.Object = &Spec;
  return field;
}

// A count of rows, columns or parts; 0 or less cuts nothing.
TFieldSpec Count(std::string Key, bool Required, std::string Doc, json Default = nullptr) {
  return Bounded(Field(std::move(Key), TFieldType::Whole, Required, std::move(Doc), std::move(Default)), -1000000,
                 1000000);
}

TFieldSpec CellField(bool Required, std::string Doc) {
  return Field("cell", TFieldType::Cell, Required, std::move(Doc));
}

TFieldSpec OptionalCell() { return CellField(false, "the cell; left out: every selected cell"); }

std::vector<TFieldSpec> Join(std::initializer_list<std::vector<TFieldSpec>> Parts) {
  std::vector<TFieldSpec> all;
  for (const auto& part : Parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string NeedsColorWhenSolid(const TArgs& Args, const std::string& Prefix) {
  if (Args.Whole(Prefix + "style") == bsSolid && !Args.Has(Prefix + "color"))
    return "missing field \"color\" (a solid brush needs one)";
  return {};
}

std::vector<TFieldSpec> FontFields() {
  return {
      Field("name", TFieldType::Text, false, "the face; at most 31 characters are kept"),
      Field("color", TFieldType::Color, false, "the colour of the text"),
      Bounded(Field("height", TFieldType::Length, false,
                    "positive: the height of a line; negative: of the characters; 0: the default size"),
              -MaxFontHeight, MaxFontHeight),
      Words(Field("style", TFieldType::FontStyle, false, "bold, italic, underline, strikeOut, or a list of them"),
            FontStyleWords),
  };
}

std::vector<TFieldSpec> BrushFields() {
  return {
      Keyword("style", BrushStyleWords, false, "solid fills the cell; clear fills nothing", "solid"),
      Field("color", TFieldType::Color, false, "the fill colour (a solid brush needs one)"),
  };
}

std::vector<TFieldSpec> PenFields() {
  return {
      Words(Field("edges", TFieldType::Edges, true,
                  "left, top, right, bottom, all (the four), borders (the selection's outline), or a list"),
            EdgeWords),
      Field("color", TFieldType::Color, false, "the colour of the line", "black"),
      Keyword("style", PenStyleWords, false, "the kind of line; clear draws nothing", "solid"),
      Bounded(Field("width", TFieldType::Whole, false, "in whole printer pixels", 1), 0, MaxPenWidth),
  };
}

const TObjectSpec FontObject{"font", FontFields()};
const TObjectSpec BrushObject{"brush", BrushFields(), NeedsColorWhenSolid};
const TObjectSpec PenObject{"pen", PenFields()};

std::vector<TFieldSpec> RectFields() {
  return {
      Length("left", true, "the left edge"),
      Length("top", true, "the top edge"),
      Length("width", true, "the width"),
      Length("height", true, "the height"),
  };
}

// The format an Add command may give its new cell; each applies as the
// formatting command of the same name would, to the new cell only.
std::vector<TFieldSpec> FormatFields() {
  return {
      Keyword("alignment", AlignmentWords, false, "as SetAlignment"),
      Keyword("layout", LayoutWords, false, "as SetLayout"),
      Keyword("orientation", OrientationWords, false, "as SetOrientation"),
      Object("font", FontObject, "as SetFont"),
      Object("brush", BrushObject, "as SetBrush"),
      Object("pen", PenObject, "as SetEdges"),
      Field("shrinkToFit", TFieldType::Switch, false, "as SetTextProperties"),
      Field("wordWrap", TFieldType::Switch, false, "as SetTextProperties"),
      Field("visible", TFieldType::Switch, false, "false: the cell does not print"),
      Field("stretch", TFieldType::Switch, false, "false: a picture is drawn at its natural size"),
      Keyword("fit", FitWords, false,
              "a picture: stretch (fills the cell), natural (its own size, stretched only when larger), "
              "contain (as large as fits, proportions kept) or cover (fills the cell, proportions kept, cut off)"),
  };
}

std::vector<TFieldSpec> CutName() {
  return {Field("baseName", TFieldType::Cell, true, "the new cells are named from it: ItemR2C3")};
}

// --- What the commands do ----------------------------------------------------

TCell* Named(TMivora& Sheet, const TCommand& C, std::string_view Key) { return Sheet.Find(C.Args.Text(Key)); }

TCell* CellOrNull(TMivora& Sheet, const TCommand& C) {
  return C.Args.Has("cell") ? Named(Sheet, C, "cell") : nullptr;
}

// The cells a command for one cell works on: the named one, or every selected cell.
std::vector<TCell*> Targets(TMivora& Sheet, const TCommand& C) {
  if (C.Args.Has("cell")) return {Named(Sheet, C, "cell")};
  std::vector<TCell*> cells;
  for (int32_t i = 0; i < Sheet.GetSelectionCount(); ++i) cells.push_back(Sheet.GetSelectedCell(i));
  return cells;
}

float Float(const TArgs& Args, std::string_view Key) { return static_cast<float>(Args.Number(Key)); }
int32_t Int(const TArgs& Args, std::string_view Key) { return static_cast<int32_t>(Args.Whole(Key)); }
uint8_t Byte(const TArgs& Args, std::string_view Key) { return static_cast<uint8_t>(Args.Whole(Key)); }
TColor Color(const TArgs& Args, const std::string& Key, TColor Otherwise) {
  return Args.Has(Key) ? static_cast<TColor>(Args.Whole(Key)) : Otherwise;
}

// A font change; fields left out keep the value of the first selected cell (or
// of the current settings when nothing is selected).
void ApplyFont(TMivora& Sheet, const TArgs& Args, const std::string& Prefix) {
  const TCell* first = Sheet.GetSelectedCell(0);
  const TFontData base = first != nullptr ? first->Font : Sheet.CurrentFont;
  Sheet.SetFont(Args.Has(Prefix + "name") ? Args.Text(Prefix + "name") : base.Name.Str(),
                Color(Args, Prefix + "color", base.Color),
                Args.Has(Prefix + "height") ? Float(Args, Prefix + "height") : base.Height,
                Args.Has(Prefix + "style") ? static_cast<TFontStyles>(Args.Whole(Prefix + "style")) : base.Style);
}

void ApplyTextProperties(TMivora& Sheet, const TArgs& Args) {
  const TCell* first = Sheet.GetSelectedCell(0);
  const bool shrink = first != nullptr ? first->ShrinkToFit : Sheet.CurrentShrinkToFit;
  const bool wrap = first != nullptr ? first->WordWrap : Sheet.CurrentWordWrap;
  Sheet.SetTextProperties(Args.Has("shrinkToFit") ? Args.Flag("shrinkToFit") : shrink,
                          Args.Has("wordWrap") ? Args.Flag("wordWrap") : wrap);
}

void ApplyBrush(TMivora& Sheet, const TArgs& Args, const std::string& Prefix) {
  Sheet.SetBrush(Color(Args, Prefix + "color", clWhite), Byte(Args, Prefix + "style"));
}

// The pen of SetEdges, SetEdgesWR and SetPen, read from the fields under Prefix.
struct TPen {
  TEdges Edges;
  TColor Color;
  uint8_t Style;
  int32_t Width;
};

TPen PenOf(const TArgs& Args, const std::string& Prefix) {
  return {EdgesFromBits(Args.Whole(Prefix + "edges")), static_cast<TColor>(Args.Whole(Prefix + "color")),
          Byte(Args, Prefix + "style"), Int(Args, Prefix + "width")};
}

// A fit keyword's value (FitWords) on a cell.
void ApplyFit(TCell* Cell, int64_t Value) {
  Cell->Stretch = Value == 0 || (Value > 1 && Cell->Stretch);
  Cell->Fit = Value == 1 ? gfNatural : Value == 2 ? gfContain : Value == 3 ? gfCover : gfAuto;
}

// The format given with an Add command, for the new (and only selected) cell.
void ApplyFormat(TMivora& Sheet, TCell* Cell, const TArgs& Args) {
  if (Args.Has("alignment")) Sheet.SetAlignment(Byte(Args, "alignment"));
  if (Args.Has("layout")) Sheet.SetLayout(Byte(Args, "layout"));
  if (Args.Has("orientation")) Sheet.SetOrientation(static_cast<TTextOrientation>(Args.Whole("orientation")));
  if (Args.Has("font")) ApplyFont(Sheet, Args, "font.");
  if (Args.Has("brush")) ApplyBrush(Sheet, Args, "brush.");
  if (Args.Has("pen")) {
    const TPen pen = PenOf(Args, "pen.");
    Sheet.SetEdges(pen.Edges, pen.Color, pen.Style, pen.Width);
  }
  if (Args.Has("shrinkToFit") || Args.Has("wordWrap")) ApplyTextProperties(Sheet, Args);
  if (Args.Has("visible")) Cell->Visible = Args.Flag("visible");
  if (Args.Has("stretch")) Cell->Stretch = Args.Flag("stretch");
  if (Args.Has("fit")) ApplyFit(Cell, Args.Whole("fit"));
}

void AddWithFormat(TMivora& Sheet, const TCommand& C, TCell* (*Add)(TMivora&, const TCommand&, float, float,
                                                                    float, float)) {
  const TArgs& a = C.Args;
  TCell* cell = Add(Sheet, C, Float(a, "left"), Float(a, "top"), Float(a, "width"), Float(a, "height"));
  ApplyFormat(Sheet, cell, a);
}

std::unique_ptr<TRichEdit> LoadRichEdit(const TArgs& Args) {
  auto control = std::make_unique<TRichEdit>(nullptr);
  if (Args.Has("file"))
    control->LoadFromFile(Args.Text("file"));
  else if (Args.Has("rtf"))
    control->SetRtf(Args.Text("rtf"));
  else if (Args.Has("markup"))
    control->SetMarkup(Args.Text("markup"));
  else
    control->SetText(Args.Text("text"));
  return control;
}

std::string ExactlyOneSource(const TArgs& Args, const std::string&) {
  const int given = int{Args.Has("file")} + int{Args.Has("rtf")} + int{Args.Has("markup")} + int{Args.Has("text")};
  return given == 1 ? std::string() : "give exactly one of \"file\", \"rtf\", \"markup\" or \"text\"";
}

// How many cells a size list makes, as the cut commands count them.
int64_t SizesCount(const TArgs& Args, std::string_view Key) {
  return Args.Has(Key) ? CutValuesCount(Args.Sizes(Key)) : 1;
}

std::string CutTooLarge(int64_t Rows, int64_t Cols) {
  if (Rows > 0 && Cols > 0 && Rows * Cols > MaxCellsPerCut)
    return "this cut makes up to " + std::to_string(Rows) + " x " + std::to_string(Cols) +
           " cells; the most accepted is " + std::to_string(MaxCellsPerCut);
  return {};
}

std::string CheckSizesCut(const TArgs& Args, const std::string&) {
  return CutTooLarge(SizesCount(Args, "heights"), SizesCount(Args, "widths"));
}

std::vector<TCommandSpec> BuildTable() {
  const std::string adding = "Adding cells", selecting = "Selecting and stacking", formatting = "Formatting",
                    cutting = "Cutting", geometry = "Geometry, switches and the sheet";
  std::vector<TCommandSpec> table;

  // Adding cells.
  table.push_back({"Add", adding, "Adds an empty text cell and makes it the only selected cell.",
                   Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields(),
                         FormatFields()}),
                   "name", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     AddWithFormat(Sheet, C, [](TMivora& S, const TCommand& D, float L, float T, float W, float H) {
                       return S.Add(D.Args.Text("name"), L, T, W, H);
                     });
                   }});
  table.push_back({"AddCell", adding, "Adds an empty text cell; the selection stays as it was.",
                   Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields()}), "name",
                   nullptr, [](TMivora& Sheet, const TCommand& C) {
                     const TArgs& a = C.Args;
                     Sheet.AddCell(a.Text("name"), Float(a, "left"), Float(a, "top"), Float(a, "width"),
                                   Float(a, "height"));
                   }});
  table.push_back({"AddText", adding, "Adds a text cell and makes it the only selected cell.",
                   Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields(),
                         {Field("text", TFieldType::Text, true, "the text")}, FormatFields()}),
                   "name", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     AddWithFormat(Sheet, C, [](TMivora& S, const TCommand& D, float L, float T, float W, float H) {
                       return S.AddText(D.Args.Text("name"), D.Args.Text("text"), L, T, W, H);
                     });
                   }});
  table.push_back({"AddGraphic", adding, "Adds a picture cell and makes it the only selected cell.",
                   Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields(),
                         {Field("file", TFieldType::File, true, "a PNG, JPEG or SVG file, told by its content")},
                         FormatFields()}),
                   "name", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     AddWithFormat(Sheet, C, [](TMivora& S, const TCommand& D, float L, float T, float W, float H) {
                       // A name with {fields} is the merge's to fill in, record by record.
                       const std::string& file = D.Args.Text("file");
                       std::unique_ptr<TGraphic> graphic =
                           file.find_first_of("{}") == std::string::npos ? LoadGraphicFromFile(file) : nullptr;
                       return S.AddGraphic(D.Args.Text("name"), graphic.release(), L, T, W, H);
                     });
                   }});
  table.push_back(
      {"AddBarcode", adding,
       "Adds a barcode or QR code cell (a picture made from the data) and makes it the only selected cell.",
       Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields(),
             {Keyword("symbology", SymbologyWords, true,
                      "code128, gs1-128, ean13, ean8, upca, upce, code39, itf14, interleaved2of5, qr, datamatrix, "
                      "gs1-datamatrix, pdf417 or aztec"),
              Field("data", TFieldType::Text, true,
                    "what the code holds (check digits are added when left out); a merged column replaces it"),
              Field("humanReadable", TFieldType::Switch, false, "the text under 1-D symbols, in the cell's font",
                    true),
              Field("quietZones", TFieldType::Switch, false, "the blank margins scanners need, inside the cell",
                    true),
              Keyword("errorCorrection", ErrorCorrectionWords, false, "QR Code: L, M, Q or H", "M"),
              Bounded(Field("version", TFieldType::Whole, false,
                            "QR Code 1 to 40, Data Matrix 1 to 30; 0: the smallest that holds the data", 0),
                      0, 40)},
             FormatFields()}),
       "name", nullptr, [](TMivora& Sheet, const TCommand& C) {
         AddWithFormat(Sheet, C, [](TMivora& S, const TCommand& D, float L, float T, float W, float H) {
           TBarcodeOptions options;
           options.HumanReadable = D.Args.Flag("humanReadable");
           options.QuietZones = D.Args.Flag("quietZones");
           options.ErrorCorrection = static_cast<char>(D.Args.Whole("errorCorrection"));
           options.Version = static_cast<int32_t>(D.Args.Whole("version"));
           auto code = std::make_unique<TBarcodeGraphic>(static_cast<TSymbology>(D.Args.Whole("symbology")),
                                                         D.Args.Text("data"), options);
           return S.AddGraphic(D.Args.Text("name"), code.release(), L, T, W, H);
         });
       }});
  table.push_back(
      {"AddRichEdit", adding,
       "Adds a rich-text cell from exactly one of file, rtf, markup or text, and makes it the only selected cell.",
       Join({{Field("name", TFieldType::Cell, true, "the new cell's name")}, RectFields(),
             {Field("file", TFieldType::File, false,
                    "an RTF file, Pango markup when it ends in .pango or .markup, else plain text"),
              Field("rtf", TFieldType::Text, false, "RTF content"),
              Field("markup", TFieldType::Text, false, "Pango markup content"),
              Field("text", TFieldType::Text, false, "plain text content")},
             FormatFields()}),
       "name", ExactlyOneSource, [](TMivora& Sheet, const TCommand& C) {
         AddWithFormat(Sheet, C, [](TMivora& S, const TCommand& D, float L, float T, float W, float H) {
           std::unique_ptr<TRichEdit> control = LoadRichEdit(D.Args);
           return S.AddRichEdit(D.Args.Text("name"), control.release(), L, T, W, H);
         });
       }});

  // Selecting and stacking.
  table.push_back({"Select", selecting,
                   "Selects the cells whose names match the patterns (Item*, *Total, *R2*, ItemR*C3; letter case "
                   "counts).",
                   {Field("patterns", TFieldType::Patterns, true,
                          "patterns separated by \";\", or a list of patterns")},
                   "patterns", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.Select(C.Args.Text("patterns")); }});
  table.push_back({"AddToSelection", selecting, "Adds a cell to the selection.",
                   {CellField(true, "the cell"),
                    Field("clearFirst", TFieldType::Switch, false, "empty the selection first", false)},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.AddToSelection(Named(Sheet, C, "cell"), C.Args.Flag("clearFirst"));
                   }});
  table.push_back({"RemoveFromSelection", selecting, "Removes a cell from the selection.",
                   {CellField(false, "the cell; left out: every cell (the selection is emptied)")}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.RemoveFromSelection(CellOrNull(Sheet, C)); }});
  table.push_back({"BringToFront", selecting, "Draws the cell last, over the others.", {OptionalCell()}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) { Sheet.BringToFront(CellOrNull(Sheet, C)); }});
  table.push_back({"SendToBack", selecting, "Draws the cell first, under the others.", {OptionalCell()}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) { Sheet.SendToBack(CellOrNull(Sheet, C)); }});
  table.push_back({"MoveCell", selecting, "Moves the cell one step towards the front or the back.",
                   {OptionalCell(), Field("toFront", TFieldType::Switch, true, "true: one step to the front")},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.MoveCell(CellOrNull(Sheet, C), C.Args.Flag("toFront"));
                   }});

  // Formatting.
  table.push_back({"SetAlignment", formatting, "Sets the horizontal alignment of the text.",
                   {Keyword("value", AlignmentWords, true, "left, right or center")}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.SetAlignment(Byte(C.Args, "value")); }});
  table.push_back({"SetLayout", formatting, "Sets the vertical placement of the text.",
                   {Keyword("value", LayoutWords, true, "top, center or bottom")}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.SetLayout(Byte(C.Args, "value")); }});
  table.push_back({"SetOrientation", formatting, "Sets the direction of the text.",
                   {Keyword("value", OrientationWords, true, "horizontal, or vertical (reading upward)")}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.SetOrientation(static_cast<TTextOrientation>(C.Args.Whole("value")));
                   }});
  table.push_back({"SetBrush", formatting, "Sets the fill.", BrushFields(), "cell", NeedsColorWhenSolid,
                   [](TMivora& Sheet, const TCommand& C) { ApplyBrush(Sheet, C.Args, ""); }});
  table.push_back({"SetFont", formatting,
                   "Sets the font; fields left out keep the value of the first selected cell (or of the settings "
                   "for new cells).",
                   FontFields(), "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { ApplyFont(Sheet, C.Args, ""); }});
  table.push_back({"SetTextProperties", formatting,
                   "Sets shrinking and wrapping; one left out keeps its value as for SetFont.",
                   {Field("shrinkToFit", TFieldType::Switch, false, "shrink the text until it fits"),
                    Field("wordWrap", TFieldType::Switch, false, "break lines between words")},
                   "cell",
                   [](const TArgs& Args, const std::string&) {
                     return Args.Has("shrinkToFit") || Args.Has("wordWrap")
                                ? std::string()
                                : std::string("give \"shrinkToFit\", \"wordWrap\" or both");
                   },
                   [](TMivora& Sheet, const TCommand& C) { ApplyTextProperties(Sheet, C.Args); }});
  table.push_back({"SetEdges", formatting, "Gives the named edges a pen; the others keep theirs.", PenFields(), "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) {
                     const TPen pen = PenOf(C.Args, "");
                     Sheet.SetEdges(pen.Edges, pen.Color, pen.Style, pen.Width);
                   }});
  table.push_back({"SetEdgesWR", formatting, "Gives the named edges a pen and clears the others.", PenFields(),
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     const TPen pen = PenOf(C.Args, "");
                     Sheet.SetEdgesWR(pen.Edges, pen.Color, pen.Style, pen.Width);
                   }});
  table.push_back({"SetPen", formatting, "Gives the named edges a pen; clearOthers clears the others.",
                   Join({PenFields(),
                         {Field("clearOthers", TFieldType::Switch, true, "true: the edges not named are cleared")}}),
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     const TPen pen = PenOf(C.Args, "");
                     Sheet.SetPen(pen.Edges, pen.Color, pen.Style, pen.Width, C.Args.Flag("clearOthers"));
                   }});
  table.push_back({"CopyFormat", formatting, "Copies a cell's format to every other selected cell.",
                   {Field("source", TFieldType::Cell, true, "the cell whose format is copied"),
                    Field("withoutEdges", TFieldType::Switch, false, "true: the edges are not copied", false)},
                   "source", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.CopyFormat(Named(Sheet, C, "source"), C.Args.Flag("withoutEdges"));
                   }});
  table.push_back({"FillText", formatting,
                   "Gives the selected cells the texts in selection order; cells beyond the list get empty text.",
                   {Field("texts", TFieldType::Texts, true, "a list of texts")}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.FillText(C.Args.Texts("texts")); }});

  // Cutting: the first selected cell becomes a grid of new, selected cells.
  table.push_back({"Cut", cutting, "Cuts the first selected cell into columns and rows of the given sizes.",
                   Join({CutName(),
                         {Field("widths", TFieldType::Sizes, true, "the column widths"),
                          Field("heights", TFieldType::Sizes, true, "the row heights")}}),
                   "baseName", CheckSizesCut, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.Cut(C.Args.Text("baseName"), C.Args.Sizes("widths"), C.Args.Sizes("heights"));
                   }});
  table.push_back({"CutH", cutting, "Cuts the first selected cell into rows of the given heights.",
                   Join({CutName(), {Field("heights", TFieldType::Sizes, true, "the row heights")}}), "baseName",
                   CheckSizesCut, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.CutH(C.Args.Text("baseName"), C.Args.Sizes("heights"));
                   }});
  table.push_back({"CutV", cutting, "Cuts the first selected cell into columns of the given widths.",
                   Join({CutName(), {Field("widths", TFieldType::Sizes, true, "the column widths")}}), "baseName",
                   CheckSizesCut, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.CutV(C.Args.Text("baseName"), C.Args.Sizes("widths"));
                   }});
  table.push_back({"Split", cutting, "Splits the first selected cell into equal rows and columns.",
                   Join({CutName(), {Count("rows", true, "the number of rows"),
                                     Count("cols", true, "the number of columns")}}),
                   "baseName",
                   [](const TArgs& Args, const std::string&) {
                     return CutTooLarge(Args.Whole("rows"), Args.Whole("cols"));
                   },
                   [](TMivora& Sheet, const TCommand& C) {
                     Sheet.Split(C.Args.Text("baseName"), Int(C.Args, "rows"), Int(C.Args, "cols"));
                   }});
  const TFieldCheck partsCheck = [](const TArgs& Args, const std::string&) {
    return CutTooLarge(Args.Whole("parts"), 1);
  };
  table.push_back({"SplitH", cutting, "Splits the first selected cell into equal rows.",
                   Join({CutName(), {Count("parts", true, "the number of rows")}}), "baseName", partsCheck,
                   [](TMivora& Sheet, const TCommand& C) {
                     Sheet.SplitH(C.Args.Text("baseName"), Int(C.Args, "parts"));
                   }});
  table.push_back({"SplitV", cutting, "Splits the first selected cell into equal columns.",
                   Join({CutName(), {Count("parts", true, "the number of columns")}}), "baseName", partsCheck,
                   [](TMivora& Sheet, const TCommand& C) {
                     Sheet.SplitV(C.Args.Text("baseName"), Int(C.Args, "parts"));
                   }});
  table.push_back(
      {"CutCell", cutting, "Cuts the first selected cell as Cut, with counts that may repeat or shorten the lists.",
       Join({CutName(),
             {Field("widths", TFieldType::Sizes, true, "the column widths"),
              Field("heights", TFieldType::Sizes, true, "the row heights"),
              Count("rowCount", false, "the number of rows; 0: as many as heights gives", 0),
              Count("colCount", false, "the number of columns; 0: as many as widths gives", 0)}}),
       "baseName",
       [](const TArgs& Args, const std::string&) {
         const int64_t rows = Args.Whole("rowCount"), cols = Args.Whole("colCount");
         return CutTooLarge(rows != 0 ? rows : SizesCount(Args, "heights"), cols != 0 ? cols : SizesCount(Args, "widths"));
       },
       [](TMivora& Sheet, const TCommand& C) {
         Sheet.CutCell(C.Args.Text("baseName"), C.Args.Sizes("widths"), C.Args.Sizes("heights"),
                       Int(C.Args, "rowCount"), Int(C.Args, "colCount"));
       }});

  // Geometry, switches and the sheet.
  table.push_back({"Inflate", geometry, "Grows (or with negative values shrinks) cells about their centre.",
                   {OptionalCell(), Length("dx", true, "the total change of width"),
                    Length("dy", true, "the total change of height")},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     for (TCell* cell : Targets(Sheet, C)) cell->Inflate(Float(C.Args, "dx"), Float(C.Args, "dy"));
                   }});
  table.push_back({"CenterOnPage", geometry, "Centres cells on the page.",
                   {OptionalCell(), Keyword("center", CenterWords, false, "horizontal, vertical or both", "both")},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     for (TCell* cell : Targets(Sheet, C))
                       cell->CenterOnPage(static_cast<TCellCenter>(C.Args.Whole("center")));
                   }});
  table.push_back({"Magnification", geometry, "Scales a cell, or every cell of the sheet, about the page's origin.",
                   {CellField(false, "the cell; left out: every cell of the sheet, selected or not"),
                    Bounded(Field("factor", TFieldType::Number, true, "the scale factor"), 0, MaxFactor),
                    Field("scaleFont", TFieldType::Switch, false, "true: font heights scale too", false)},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     const float factor = Float(C.Args, "factor");
                     if (C.Args.Has("cell"))
                       Named(Sheet, C, "cell")->Magnification(factor, C.Args.Flag("scaleFont"));
                     else
                       Sheet.Magnification(factor, C.Args.Flag("scaleFont"));
                   }});
  table.push_back({"SetVisible", geometry, "Shows or hides cells; hidden cells do not print.",
                   {OptionalCell(), Field("value", TFieldType::Switch, true, "true: the cells print")}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) {
                     for (TCell* cell : Targets(Sheet, C)) cell->Visible = C.Args.Flag("value");
                   }});
  table.push_back({"SetStretch", geometry, "Whether pictures fill their cells or keep their natural size.",
                   {OptionalCell(), Field("value", TFieldType::Switch, true, "true: the picture fills the cell")},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     for (TCell* cell : Targets(Sheet, C)) cell->Stretch = C.Args.Flag("value");
                   }});
  table.push_back({"SetFit", geometry, "How pictures fill their cells, keeping their proportions or not.",
                   {OptionalCell(), Keyword("value", FitWords, true,
                                            "stretch, natural, contain (as large as fits) or cover (fills the "
                                            "cell, cut off)")},
                   "cell", nullptr, [](TMivora& Sheet, const TCommand& C) {
                     for (TCell* cell : Targets(Sheet, C)) ApplyFit(cell, C.Args.Whole("value"));
                   }});
  table.push_back({"ChangeCellName", geometry, "Renames a cell.",
                   {CellField(true, "the cell"), Field("newName", TFieldType::Cell, true, "its new name")}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand& C) {
                     Sheet.ChangeCellName(Named(Sheet, C, "cell"), C.Args.Text("newName"));
                   }});
  table.push_back({"Remove", geometry, "Removes cells from the sheet.", {OptionalCell()}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.Remove(CellOrNull(Sheet, C)); }});
  table.push_back({"Reset", geometry, "Removes every cell and restores the settings for new cells.", {}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand&) { Sheet.Reset(); }});
  table.push_back({"RestoreDefaultSettings", geometry, "Restores the settings that new cells receive.", {}, "cell",
                   nullptr, [](TMivora& Sheet, const TCommand&) { Sheet.RestoreDefaultSettings(); }});
  table.push_back({"SetMeasurement", geometry,
                   "Changes the sheet's unit, converting every cell; later commands are read in the new unit.",
                   {Keyword("value", MeasurementWords, true, "the new unit")}, "cell", nullptr,
                   [](TMivora& Sheet, const TCommand& C) { Sheet.SetMeasurement(SheetUnit(C.Args.Whole("value"))); }});
  return table;
}

} // namespace

const std::vector<TFieldSpec>& NewCellFormatFields() {
  static const std::vector<TFieldSpec> fields = FormatFields();
  return fields;
}

const std::vector<TCommandSpec>& CommandTable() {
  static const std::vector<TCommandSpec> table = BuildTable();
  return table;
}

const TCommandSpec* FindCommand(std::string_view Name) {
  const std::string lower = Lower(Name);
  for (const TCommandSpec& spec : CommandTable())
    if (Lower(spec.Name) == lower) return &spec;
  return nullptr;
}

std::string Describe(const TCommand& C) {
  std::string text = C.Path + " (" + C.Op();
  if (!C.Spec->Subject.empty() && C.Args.Has(C.Spec->Subject)) text += " \"" + C.Args.Text(C.Spec->Subject) + "\"";
  return text + ")";
}

const TKeywordSet& MeasurementKeywords() { return MeasurementWords; }

TMeasurement SheetUnit(int64_t Measurement) {
  return Measurement == MeasurementMillimetres ? mtCentimeters : static_cast<TMeasurement>(Measurement);
}

TEdges EdgesFromBits(int64_t Bits) {
  TEdges edges;
  for (TEdge edge : {edLeft, edTop, edRight, edBottom, edBorders})
    if ((Bits & (int64_t{1} << edge)) != 0) edges.Include(edge);
  return edges;
}

} // namespace mivora::tool
