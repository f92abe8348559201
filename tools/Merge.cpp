#include "Merge.h"

#include "Barcode.h"
#include "Commands.h"
#include "Csv.h"
#include "InputError.h"
#include "Layout.h"
#include "Numbers.h"
#include "Picture.h"
#include "Printer.h"
#include "RichEdit.h"
#include "Suggestion.h"
#include "TextCase.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <unistd.h>

namespace mivora::tool {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool Blank(const std::string& Text) {
  return std::all_of(Text.begin(), Text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

[[noreturn]] void FailRecords(const std::string& Written, const std::string& Message) {
  throw EInputError("--records \"" + Written + "\": " + Message +
                    " (write record numbers from 1 and ranges separated by commas, as in 5-10,20)");
}

size_t RecordNumber(const std::string& Written, const std::string& Piece) {
  if (Piece.empty() || Piece.size() > 12 ||
      !std::all_of(Piece.begin(), Piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
    FailRecords(Written, "\"" + Piece + "\" is not a record number");
  const size_t n = std::stoull(Piece);
  if (n == 0) FailRecords(Written, "records are counted from 1, not 0");
  return n;
}

std::string Trim(const std::string& Text) {
  size_t b = 0, e = Text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(Text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(Text[e - 1]))) --e;
  return Text.substr(b, e - b);
}

// The kind of rich text a file holds, as the rich-text control tells it.
TTemplateFormat RichFileFormat(const fs::path& File, const std::string& Content) {
  const std::string extension = Lower(File.extension().string());
  if (extension == ".pango" || extension == ".markup") return TTemplateFormat::Markup;
  if (Content.compare(0, 5, "{\\rtf") == 0) return TTemplateFormat::Rtf;
  return TTemplateFormat::Text;
}

// The preset sheet with Code; an unknown one is an error listing the presets,
// with the closest suggested.
const TLabelSheet& PresetSheet(const std::string& Code, const std::string& Where) {
  if (const TLabelSheet* sheet = FindLabelSheet(Code)) return *sheet;
  std::vector<std::string> codes;
  for (const TLabelSheet& sheet : LabelSheets()) codes.push_back(sheet.Code);
  std::string list;
  for (const std::string& code : codes) list += (list.empty() ? "" : ", ") + code;
  throw EInputError(Where + ": no label sheet \"" + Code + "\" (the presets are " + list + ")" +
                    Suggestion(Code, codes));
}

} // namespace

// --- Record lists

TRecordSelection TRecordSelection::Parse(const std::string& Written) {
  TRecordSelection selection;
  if (Trim(Written).empty()) FailRecords(Written, "the list is empty");
  size_t start = 0;
  while (start <= Written.size()) {
    size_t comma = Written.find(',', start);
    if (comma == std::string::npos) comma = Written.size();
    const std::string piece = Trim(Written.substr(start, comma - start));
    const size_t dash = piece.find('-');
    size_t first = 0, last = 0;
    if (dash == std::string::npos) {
      first = last = RecordNumber(Written, piece);
    } else {
      first = RecordNumber(Written, Trim(piece.substr(0, dash)));
      last = RecordNumber(Written, Trim(piece.substr(dash + 1)));
      if (last < first) FailRecords(Written, "the range \"" + piece + "\" ends before it starts");
    }
    selection.ranges_.emplace_back(first, last);
    start = comma + 1;
  }
  std::sort(selection.ranges_.begin(), selection.ranges_.end());
  std::vector<std::pair<size_t, size_t>> merged;
  for (const auto& range : selection.ranges_) {
    if (!merged.empty() && range.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, range.second);
    else
      merged.push_back(range);
  }
  selection.ranges_ = std::move(merged);
  return selection;
}

bool TRecordSelection::Contains(size_t Record) const noexcept {
  if (ranges_.empty()) return true;
  const auto it = std::upper_bound(ranges_.begin(), ranges_.end(), std::make_pair(Record, SIZE_MAX));
  return it != ranges_.begin() && Record <= std::prev(it)->second;
}

size_t TRecordSelection::Largest() const noexcept { return ranges_.empty() ? 0 : ranges_.back().second; }

// --- The layout's "labels" and "merge" objects

TMergeLayout ParseMergeLayout(const json* Labels, const json* Merge, const std::string& Where, double MmPerUnit) {
  TMergeLayout result;
  if (Merge != nullptr) {
    const std::string at = Where + ": merge";
    if (!Merge->is_object()) throw EInputError(at + ": expected an object");
    for (auto it = Merge->begin(); it != Merge->end(); ++it) {
      const std::string key = it.key();
      if (key == "comment") continue;
      if (key != "hideWhenEmpty" && key != "dropEmptyLines")
        throw EInputError(at + "." + key + ": unknown field" +
                          Suggestion(key, {"hideWhenEmpty", "dropEmptyLines"}));
      std::string patterns;
      if (it->is_string()) {
        patterns = it->get<std::string>();
      } else if (it->is_array()) {
        for (const json& item : *it) {
          if (!item.is_string()) throw EInputError(at + "." + key + ": expected cell-name patterns (strings)");
          patterns += (patterns.empty() ? "" : ";") + item.get<std::string>();
        }
      } else {
        throw EInputError(at + "." + key + ": expected cell-name patterns: a string separated by \";\" or a list");
      }
      (key == "hideWhenEmpty" ? result.HideWhenEmpty : result.DropEmptyLines) = patterns;
    }
  }
  if (Labels == nullptr) return result;
  const std::string at = Where + ": labels";
  result.GridWhere = at;
  if (!Labels->is_object()) throw EInputError(at + ": expected an object");
  TLabelGrid grid;
  static const std::vector<std::string> known{"sheet", "across", "down", "width", "height", "left", "top",
                                              "gapX", "gapY", "pitchX", "pitchY", "order", "comment"};
  for (auto it = Labels->begin(); it != Labels->end(); ++it)
    if (std::find(known.begin(), known.end(), it.key()) == known.end())
      throw EInputError(at + "." + it.key() + ": unknown field" + Suggestion(it.key(), known));
  const auto number = [&](const char* Key, bool Required) -> std::optional<double> {
    const auto it = Labels->find(Key);
    if (it == Labels->end()) {
      if (Required) throw EInputError(at + ": missing field \"" + Key + "\" (or name a preset with \"sheet\")");
      return std::nullopt;
    }
    if (!it->is_number() || !std::isfinite(it->get<double>()))
      throw EInputError(at + "." + Key + ": expected a number");
    return it->get<double>();
  };
  const auto whole = [&](const char* Key) {
    const double v = *number(Key, true);
    if (v != std::floor(v) || v < 1 || v > 1000)
      throw EInputError(at + "." + Key + ": " + FormatNumber(v) + " is not a whole number from 1 to 1000");
    return static_cast<int32_t>(v);
  };
  if (const auto sheet = Labels->find("sheet"); sheet != Labels->end()) {
    if (!sheet->is_string()) throw EInputError(at + ".sheet: expected the code of a label sheet, such as \"L7160\"");
    const TLabelSheet& preset = PresetSheet(sheet->get<std::string>(), at + ".sheet");
    grid = preset.Grid;
    result.GridPreset = preset.Code;
    for (const char* key : {"across", "down", "width", "height", "left", "top", "gapX", "gapY", "pitchX", "pitchY"})
      if (Labels->contains(key))
        throw EInputError(at + "." + key + ": a preset sheet has its own figures; give either \"sheet\" or the figures");
  } else {
    if (MmPerUnit <= 0)
      throw EInputError(at + ": the figures of a label grid need a unit of length (centimeters, millimeters or "
                             "inches) as the layout's measurement; or name a preset with \"sheet\"");
    grid.Across = whole("across");
    grid.Down = whole("down");
    grid.LabelWidth = *number("width", true) * MmPerUnit;
    grid.LabelHeight = *number("height", true) * MmPerUnit;
    grid.Left = number("left", false).value_or(0) * MmPerUnit;
    grid.Top = number("top", false).value_or(0) * MmPerUnit;
    for (const auto& [gap, pitch, size, target] :
         {std::tuple{"gapX", "pitchX", grid.LabelWidth, &grid.PitchX},
          std::tuple{"gapY", "pitchY", grid.LabelHeight, &grid.PitchY}}) {
      const std::optional<double> g = number(gap, false), p = number(pitch, false);
      if (g && p) throw EInputError(at + ": give " + gap + " or " + pitch + ", not both");
      *target = p ? *p * MmPerUnit : size + g.value_or(0) * MmPerUnit;
    }
  }
  if (const auto order = Labels->find("order"); order != Labels->end()) {
    const std::string written = order->is_string() ? Lower(order->get<std::string>()) : std::string();
    if (written == "across")
      grid.Order = TReadingOrder::AcrossThenDown;
    else if (written == "down")
      grid.Order = TReadingOrder::DownThenAcross;
    else
      throw EInputError(at + ".order: expected \"across\" (across, then down) or \"down\" (down, then across)");
  }
  // The paper is checked when it is known: the printer's, when the run starts.
  try {
    CheckLabelGrid(TLabelGrid{1e9, 1e9, grid.Across, grid.Down, grid.LabelWidth, grid.LabelHeight, grid.Left,
                              grid.Top, grid.PitchX, grid.PitchY, grid.Order},
                   at);
  } catch (const ECellError& error) {
    throw EInputError(error.what());
  }
  result.Grid = grid;
  return result;
}

void ApplyLabelPaper(const TLayout& Layout, const TMergeLayout& Merge) {
  if (!Merge.Grid || Merge.GridPreset.empty() || Layout.Printer.Paper || Layout.Printer.PaperMm) return;
  TPrinter* printer = Printer();
  printer->SetPaperSize(Merge.Grid->PaperWidth, Merge.Grid->PaperHeight);
  // Label sheets are measured from the paper's edge.
  if (!Layout.Printer.Margins) printer->SetMargins(TPrinterMargins{});
}

// --- The merge

namespace {

// One cell of the sheet (of the label) and what a record does to it.
struct TBinding {
  TCell* Cell = nullptr;
  std::string Name;
  bool Visible = true;
  std::optional<size_t> Column;                    // a column that fills the whole cell
  std::optional<TTemplate> Template;               // fields inside its text
  TTemplateFormat Format = TTemplateFormat::Text;
  bool Hide = false, DropLines = false;
  std::string Loaded;                              // the picture file (or barcode data) shown now
  std::string FileWhere;                           // a picture's file name with fields: where it is written
  // A barcode cell: its symbology and options; a record's value is its data.
  std::optional<std::pair<TSymbology, TBarcodeOptions>> Barcode;
};

// Where a rich-text cell's content came from, as written in the layout.
struct TRichSource {
  TTemplateFormat Format = TTemplateFormat::Text;
  std::string Text;
  std::string Where;
};

} // namespace

struct TMerge::TImpl {
  ~TImpl() {
    std::error_code error;
    if (!Spooled.empty()) fs::remove(Spooled, error);
  }

  TMivora* Sheet = nullptr;
  fs::path Spooled;  // a copy of data that can be read only once (a pipe)
  std::unique_ptr<TCsvReader> Reader;  // the check pass's, after the header
  TMergeOptions Options;
  std::optional<TLabelGrid> Grid;
  std::string GridWhere;
  std::vector<TBinding> Bindings;
  std::vector<std::string> Header;
  size_t FileRecords = 0;    // records in the data file
  size_t Selected = 0;       // records printed (before copies)
  size_t Labels = 0;         // labels (or pages) printed, copies included
  size_t Pages = 0;
  TPathPolicy LayoutPolicy;  // where the pictures the layout names lie
  std::tm Date = Today();
  std::string Buffer;

  void Spool();
  void Bind(const TLayout& Layout, const TMergeLayout& Merge);
  void CheckLabelCells();
  void CheckRecords();
  void CheckPictureNames();
  // Calls Each for every label (or page) of the run, in order, with its record
  // and the values its fields read (its page and label among them).
  void Walk(const std::function<void(const std::vector<std::string>& Fields, const TMergeValues& Values,
                                     size_t Line)>& Each);
  void Fill(const std::vector<std::string>& Fields, const TMergeValues& Values, size_t Line);
  fs::path PictureFile(const TBinding& B, const std::string& Name, size_t Line) const;
};

void TMerge::TImpl::Bind(const TLayout& Layout, const TMergeLayout& Merge) {
  TMivora& sheet = *Sheet;
  // Rich text and the texts of text cells, by cell, with the layout path they were written at.
  std::map<std::string, TRichSource> rich;
  std::map<std::string, std::string> textWhere;
  std::map<std::string, std::pair<std::string, std::string>> pictures;  // where, and the file as resolved
  for (const TCommand& command : Layout.Commands) {
    const std::string& op = command.Op();
    if (!command.Args.Has("name")) continue;
    const std::string name = Lower(command.Args.Text("name"));
    if (op == "AddText") textWhere[name] = Layout.Label + ": " + command.Path + ".text";
    if (op == "AddGraphic" && command.Args.Has("file"))
      pictures[name] = {Layout.Label + ": " + command.Path + ".file", command.Args.Text("file")};
    if (op != "AddRichEdit") continue;
    TRichSource source;
    if (command.Args.Has("file")) {
      const fs::path file = command.Args.Text("file");
      source.Text = ReadWholeFile(file, MaxStringBytes, "rich-text file");
      source.Format = RichFileFormat(file, source.Text);
      source.Where = Layout.Label + ": " + command.Path + ".file (" + file.filename().string() + ")";
    } else {
      for (const auto& [key, format] : {std::pair{"rtf", TTemplateFormat::Rtf},
                                        std::pair{"markup", TTemplateFormat::Markup},
                                        std::pair{"text", TTemplateFormat::Text}}) {
        if (!command.Args.Has(key)) continue;
        source.Text = command.Args.Text(key);
        source.Format = format;
        source.Where = Layout.Label + ": " + command.Path + "." + key;
      }
    }
    rich[name] = std::move(source);
  }

  // Columns named like cells fill them whole, as before fields inside texts.
  std::vector<bool> columnUsed(Header.size(), false);
  std::map<const TCell*, size_t> filledBy;
  const std::string headerAt = Options.DataLabel + ":1: ";
  for (size_t column = 0; column < Header.size(); ++column) {
    const std::string& name = Header[column];
    if (name.empty())
      throw EInputError(headerAt + "column " + std::to_string(column + 1) +
                        " has no name; the header row names the columns that fields and cells use");
    // A plain name is looked up in the sheet's index; only a pattern scans the cells.
    std::vector<TCell*> matches;
    if (name.find('*') != std::string::npos) {
      for (int32_t i = 0; i < sheet.Count(); ++i)
        if (sheet.StringMatchCellName(name, sheet.GetCell(i))) matches.push_back(sheet.GetCell(i));
    } else {
      try {
        matches.push_back(sheet.Find(name));
      } catch (const ECellError&) {
      }
    }
    for (TCell* cell : matches) {
      if (const auto other = filledBy.find(cell); other != filledBy.end())
        throw EInputError(headerAt + "column " + std::to_string(column + 1) + " \"" + name + "\" fills the cell \"" +
                          sheet.GetCellName(cell) + "\", which column " + std::to_string(other->second + 1) + " \"" +
                          Header[other->second] + "\" fills already");
      filledBy[cell] = column;
      columnUsed[column] = true;
    }
  }

  const bool data = Options.Data.has_value();
  for (int32_t i = 0; i < sheet.Count(); ++i) {
    TCell* cell = sheet.GetCell(i);
    TBinding b;
    b.Cell = cell;
    b.Name = sheet.GetCellName(cell);
    b.Visible = cell->Visible;
    if (const auto* code = dynamic_cast<const TBarcodeGraphic*>(cell->GetGraphic()))
      b.Barcode = std::make_pair(code->Symbology(), code->Options());
    b.Hide = !Merge.HideWhenEmpty.empty() && sheet.StringMatchCellName(Merge.HideWhenEmpty, cell);
    b.DropLines = !Merge.DropEmptyLines.empty() && sheet.StringMatchCellName(Merge.DropEmptyLines, cell);
    if (const auto filled = filledBy.find(cell); filled != filledBy.end()) {
      b.Column = filled->second;
    } else if (cell->CellType() == ctText) {
      const auto where = textWhere.find(Lower(b.Name));
      const std::string at = where != textWhere.end() && cell->Text().find('{') != std::string::npos
                                 ? where->second
                                 : Layout.Label + ": cell \"" + b.Name + "\"";
      TTemplate t = TTemplate::Compile(cell->Text(), TTemplateFormat::Text, at);
      if (t.HasPlaceholders() || cell->Text().find('}') != std::string::npos) b.Template = std::move(t);
    } else if (b.Barcode && static_cast<const TBarcodeGraphic*>(cell->GetGraphic())->Data().find('{') !=
                                std::string::npos) {
      // Fields inside a barcode's data: the layout's data is the template.
      const std::string& sample = static_cast<const TBarcodeGraphic*>(cell->GetGraphic())->Data();
      b.Template = TTemplate::Compile(sample, TTemplateFormat::Text, Layout.Label + ": cell \"" + b.Name + "\": data");
      b.Loaded = sample;
    } else if (const auto picture = pictures.find(Lower(b.Name));
               picture != pictures.end() && cell->CellType() == ctGraphic && cell->GetGraphic() == nullptr &&
               picture->second.second.find_first_of("{}") != std::string::npos) {
      // Fields inside a picture's file name: the layout adds the cell without a
      // picture, and each record's name is filled in, relative to the layout's
      // folder as the layout's other files are.
      const auto& [where, resolved] = picture->second;
      std::string written = resolved;
      if (!LayoutPolicy.AllowOutside) {
        std::error_code error;
        const fs::path base = fs::weakly_canonical(fs::absolute(LayoutPolicy.BaseDir), error);
        written = fs::path(resolved).lexically_relative(base).string();
      }
      b.Template = TTemplate::Compile(written, TTemplateFormat::FileName, where);
      b.Format = TTemplateFormat::FileName;
      b.FileWhere = where;
    } else if (cell->CellType() == ctRichEdit) {
      const auto source = rich.find(Lower(b.Name));
      if (source != rich.end()) {
        TTemplate t = TTemplate::Compile(source->second.Text, source->second.Format, source->second.Where);
        if (t.HasPlaceholders()) {
          b.Template = std::move(t);
          b.Format = source->second.Format;
        }
      }
    }
    if (b.Template) {
      b.Template->Bind(Header, data ? Options.DataLabel : std::string());
      for (const size_t column : b.Template->UsedColumns()) columnUsed[column] = true;
    }
    Bindings.push_back(std::move(b));
  }
  // Only cells a record changes need work; the label printer moves the others.
  Bindings.erase(std::remove_if(Bindings.begin(), Bindings.end(),
                                [](const TBinding& B) { return !B.Column && !B.Template; }),
                 Bindings.end());

  for (size_t column = 0; column < Header.size(); ++column) {
    if (columnUsed[column]) continue;
    std::string names;
    for (int32_t i = 0; i < sheet.Count() && i < 20; ++i) names += (i ? ", " : "") + sheet.GetCellName(sheet.GetCell(i));
    if (sheet.Count() > 20) names += ", ...";
    const std::string message = headerAt + "column " + std::to_string(column + 1) + " \"" + Header[column] +
                                "\" is used by no field and names no cell" +
                                (names.empty() ? std::string() : " (the cells: " + names + ")");
    if (Options.Strict) throw EInputError(message + "; --strict makes this an error");
    if (Options.Warn) Options.Warn(message);
  }
}

void TMerge::TImpl::CheckLabelCells() {
  // The label printer checks the grid against the printer's paper and margins,
  // and the layout's cells against the first label.
  try {
    TLabelPrinter(*Sheet, *Grid, 1, GridWhere).VisitLabel(nullptr);
  } catch (const ECellError& error) {
    throw EInputError(error.what());
  }
}

void TMerge::TImpl::CheckRecords() {
  const int32_t perSheet = Grid ? Grid->Count() : 1;
  if (Grid && (Options.First < 1 || Options.First > perSheet))
    throw EInputError("--first " + std::to_string(Options.First) + " is beyond the sheet, which has " +
                      std::to_string(perSheet) + " labels (" + std::to_string(Grid->Across) + " x " +
                      std::to_string(Grid->Down) + ")");
  if (!Grid && Options.First != 1)
    throw EInputError("--first " + std::to_string(Options.First) + " needs a layout with a label grid (\"labels\")");
  if (!Options.Data) {
    FileRecords = 1;
    Selected = 1;
    // A sheet of labels without data: the label on every place from --first on.
    Labels = Grid ? static_cast<size_t>(perSheet - Options.First + 1) * static_cast<size_t>(Options.Copies)
                  : static_cast<size_t>(Options.Copies);
  } else {
    TCsvReader& reader = *Reader;
    TCsvRecord record;
    while (reader.Next(record)) {
      ++FileRecords;
      if (!Options.Records.Contains(FileRecords)) continue;
      ++Selected;
      for (const TBinding& b : Bindings) {
        if (!b.Column || b.Cell->CellType() != ctGraphic) continue;
        const std::string& written = record.Fields[*b.Column];
        if (written.empty()) continue;
        const std::string where = Options.DataLabel + ":" + std::to_string(record.Line) + ": " + Header[*b.Column];
        if (b.Barcode) {
          // Encoded here as well, so that bad data stops the merge before anything prints.
          try {
            TBarcodeGraphic(b.Barcode->first, written, b.Barcode->second);
          } catch (const EBarcodeError& error) {
            throw EInputError(where + ": " + error.what());
          }
          continue;
        }
        const fs::path file = ResolveFile(Options.DataPolicy, written, where);
        std::error_code error;
        if (!fs::is_regular_file(file, error)) throw EInputError(where + ": no picture file \"" + written + "\"");
      }
    }
    if (FileRecords == 0)
      throw EInputError(Options.DataLabel + ": the file has a header but no records: nothing to print");
    if (Options.Records.Largest() > FileRecords)
      throw EInputError("--records names record " + std::to_string(Options.Records.Largest()) + ", but " +
                        Options.DataLabel + " has " + std::to_string(FileRecords) +
                        (FileRecords == 1 ? " record" : " records"));
    Labels = Selected * static_cast<size_t>(Options.Copies);
    Reader.reset();
  }
  const size_t slots = Labels + static_cast<size_t>(Options.First - 1);
  Pages = (slots + static_cast<size_t>(perSheet) - 1) / static_cast<size_t>(perSheet);
}

void TMerge::TImpl::Walk(
    const std::function<void(const std::vector<std::string>& Fields, const TMergeValues& Values, size_t Line)>&
        Each) {
  const size_t perSheet = Grid ? static_cast<size_t>(Grid->Count()) : 1;
  size_t slot = static_cast<size_t>(Options.First - 1);
  TMergeValues values;
  values.Records = FileRecords;
  values.Pages = Pages;
  values.Date = Date;
  const auto label = [&](const std::vector<std::string>& Fields, size_t Record, size_t Line) {
    values.Fields = &Fields;
    values.Record = Record;
    values.Page = slot / perSheet + 1;
    values.Label = slot % perSheet + 1;
    Each(Fields, values, Line);
    ++slot;
  };
  if (!Options.Data) {
    const std::vector<std::string> none;
    for (size_t i = 0; i < Labels; ++i) label(none, 1, 0);
    return;
  }
  TCsvReader reader(*Options.Data, Options.DataLabel, Options.Separator.value_or(DefaultSeparator(*Options.Data)));
  TCsvRecord record;
  size_t number = 0;
  while (reader.Next(record)) {
    ++number;
    if (!Options.Records.Contains(number)) continue;
    for (int32_t copy = 0; copy < Options.Copies; ++copy) label(record.Fields, number, record.Line);
    if (Options.Records.Largest() != 0 && number >= Options.Records.Largest()) break;
  }
}

fs::path TMerge::TImpl::PictureFile(const TBinding& B, const std::string& Name, size_t Line) const {
  const std::string where =
      (Line != 0 ? Options.DataLabel + ":" + std::to_string(Line) + ": cell \"" + B.Name + "\"" : B.FileWhere);
  const fs::path file = ResolveFile(LayoutPolicy, Name, where);
  std::error_code error;
  if (!fs::is_regular_file(file, error)) throw EInputError(where + ": no picture file \"" + Name + "\"");
  return file;
}

void TMerge::TImpl::CheckPictureNames() {
  std::vector<TBinding*> named;
  for (TBinding& b : Bindings)
    if (b.Template && b.Format == TTemplateFormat::FileName) named.push_back(&b);
  if (named.empty()) return;
  // Each name a record gives is looked for before anything prints; a name
  // that repeats the one before is not looked for twice.
  std::vector<std::string> checked(named.size());
  Walk([&](const std::vector<std::string>&, const TMergeValues& Values, size_t Line) {
    for (size_t i = 0; i < named.size(); ++i) {
      named[i]->Template->Fill(Values, Buffer);
      if (Buffer.empty() || Buffer == checked[i]) continue;
      PictureFile(*named[i], Buffer, Line);
      checked[i] = Buffer;
    }
  });
}

void TMerge::TImpl::Spool() {
  std::error_code error;
  const fs::path data = *Options.Data;
  if (!fs::exists(data, error) || fs::is_regular_file(data, error) || fs::is_directory(data, error)) return;
  // Data that can be read only once (a pipe) is copied, so that the check pass
  // and the print pass read the same records; the copy goes with the merge.
  std::ifstream in(data, std::ios::binary);
  if (!in) throw EInputError("Cannot read the data file \"" + Options.DataLabel + "\": " + std::strerror(errno));
  if (in.peek() == std::char_traits<char>::eof()) throw EInputError(Options.DataLabel + ": the file has no header row");
  std::string pattern = (fs::temp_directory_path(error) / "mivora-data-XXXXXX").string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw EPrinterError("Cannot keep a copy of the data file: " + std::string(std::strerror(errno)));
  close(fd);
  Spooled = pattern;
  std::ofstream out(Spooled, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.flush();
  if (!out) throw EPrinterError("Cannot keep a copy of the data file in \"" + Spooled.string() + "\"");
  Options.Data = Spooled;
}

void TMerge::TImpl::Fill(const std::vector<std::string>& Fields, const TMergeValues& Values, size_t Line) {
  for (TBinding& b : Bindings) {
    TCell* cell = b.Cell;
    bool empty = false;
    if (b.Column) {
      const std::string& value = Fields[*b.Column];
      empty = Blank(value);
      try {
        switch (cell->CellType()) {
        case ctText: cell->SetText(value); break;
        case ctGraphic:
          if (value != b.Loaded) {
            if (value.empty()) {
              cell->SetGraphic(nullptr);
            } else if (b.Barcode) {
              cell->SetGraphic(new TBarcodeGraphic(b.Barcode->first, value, b.Barcode->second));
            } else {
              const fs::path file = ResolveFile(Options.DataPolicy, value, Options.DataLabel);
              cell->SetGraphic(LoadGraphicFromFile(file.string()).release());
            }
            b.Loaded = value;
          }
          break;
        case ctRichEdit:
          if (cell->GetRichEdit() == nullptr) cell->SetRichEdit(new TRichEdit(nullptr));
          cell->GetRichEdit()->SetText(value);
          break;
        }
      } catch (const EPrinterError&) {
        throw;
      } catch (const Exception& error) {
        throw EInputError(Options.DataLabel + ":" + std::to_string(Line) + ": " + Header[*b.Column] + ": " +
                          error.what());
      }
    } else if (b.Template) {
      b.Template->Fill(Values, Buffer, b.DropLines);
      empty = Blank(Buffer);
      try {
        if (cell->CellType() == ctText) {
          cell->SetText(Buffer);
        } else if (b.Format == TTemplateFormat::FileName) {
          if (Buffer != b.Loaded) {
            cell->SetGraphic(Buffer.empty() ? nullptr
                                            : LoadGraphicFromFile(PictureFile(b, Buffer, Line).string()).release());
            b.Loaded = Buffer;
          }
        } else if (b.Barcode) {
          if (Buffer != b.Loaded) {
            cell->SetGraphic(Buffer.empty() ? nullptr
                                            : new TBarcodeGraphic(b.Barcode->first, Buffer, b.Barcode->second));
            b.Loaded = Buffer;
          }
        } else if (cell->CellType() == ctRichEdit && cell->GetRichEdit() != nullptr) {
          TRichEdit* control = cell->GetRichEdit();
          switch (b.Format) {
          case TTemplateFormat::Rtf: control->SetRtf(Buffer); break;
          case TTemplateFormat::Markup: control->SetMarkup(Buffer); break;
          default: control->SetText(Buffer); break;
          }
        }
      } catch (const EPrinterError&) {
        throw;
      } catch (const EInputError&) {
        throw;
      } catch (const Exception& error) {
        throw EInputError((Options.Data ? Options.DataLabel + ":" + std::to_string(Line) + ": " : std::string()) +
                          "cell \"" + b.Name + "\": " + error.what());
      }
    }
    cell->Visible = b.Visible && !(b.Hide && (b.Column || b.Template) && empty);
  }
}

TMerge::TMerge(TMivora& Sheet, const TLayout& Layout, const TMergeLayout& Merge, TMergeOptions Options)
    : impl_(std::make_unique<TImpl>()) {
  TImpl& m = *impl_;
  m.Sheet = &Sheet;
  m.Options = std::move(Options);
  m.Grid = Merge.Grid;
  if (m.Options.Copies < 1) throw EInputError("--record-copies must be at least 1");
  if (m.Options.Data) {
    m.Spool();
    m.Reader = std::make_unique<TCsvReader>(*m.Options.Data, m.Options.DataLabel,
                                            m.Options.Separator.value_or(DefaultSeparator(*m.Options.Data)));
    m.Header = m.Reader->Header();
  }
  m.LayoutPolicy = Layout.Files;
  m.Bind(Layout, Merge);
  m.GridWhere = Merge.GridWhere;
  if (m.Grid) m.CheckLabelCells();
  m.CheckRecords();
  m.CheckPictureNames();
}

TMerge::~TMerge() = default;

size_t TMerge::Pages() const noexcept { return impl_->Pages; }
size_t TMerge::Labels() const noexcept { return impl_->Labels; }
size_t TMerge::Records() const noexcept { return impl_->Options.Data ? impl_->FileRecords : 0; }

void TMerge::PrintPages(const std::function<void(size_t Done, size_t Total)>& Progress) { Run(Progress, nullptr); }

void TMerge::VisitLabels(const std::function<void(const std::string& Record)>& Visit) { Run(nullptr, Visit); }

void TMerge::Run(const std::function<void(size_t Done, size_t Total)>& Progress,
                 const std::function<void(const std::string& Record)>& Visit) {
  TImpl& m = *impl_;
  TMivora& sheet = *m.Sheet;
  const size_t perSheet = m.Grid ? static_cast<size_t>(m.Grid->Count()) : 1;
  std::optional<TLabelPrinter> labels;
  if (m.Grid) labels.emplace(sheet, *m.Grid, m.Options.First, m.GridWhere);
  size_t done = 0;  // labels (or pages) so far
  m.Walk([&](const std::vector<std::string>& Fields, const TMergeValues& Values, size_t Line) {
    m.Fill(Fields, Values, Line);
    const bool draws = !m.Options.DrawsPage || m.Options.DrawsPage(Values.Page);
    if (Visit) {
      const std::string record = Line == 0 ? std::string()
                                           : m.Options.DataLabel + ":" + std::to_string(Line) + " (record " +
                                                 std::to_string(Values.Record) + ")";
      if (labels)
        labels->VisitLabel([&] { Visit(record); });
      else
        Visit(record);
    } else if (!draws) {
      // Another process draws this page.
      if (labels) labels->SkipLabel();
    } else if (labels) {
      labels->PrintLabel();
    } else {
      sheet.PrintNextPage();
    }
    ++done;
    if (Progress && (done + static_cast<size_t>(m.Options.First - 1)) % perSheet == 0) Progress(Values.Page, m.Pages);
  });
  if (Progress && (done + static_cast<size_t>(m.Options.First - 1)) % perSheet != 0) Progress(m.Pages, m.Pages);
}

} // namespace mivora::tool
