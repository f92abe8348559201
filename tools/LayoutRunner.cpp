#include "LayoutRunner.h"

#include "Gdi.h"
#include "InputError.h"
#include "Picture.h"
#include "RichEdit.h"

#include <cmath>
#include <locale>
#include <memory>
#include <sstream>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

std::string Number(double Value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << Value;
  return text.str();
}

// "commands[3] (AddText "Title")": which command, as the user wrote it.
std::string Describe(const TCommand& C) {
  std::string text = C.Path + " (" + OpName(C.Op);
  switch (C.Op) {
  case TOp::Add:
  case TOp::AddCell:
  case TOp::AddText:
  case TOp::AddGraphic:
  case TOp::AddRichEdit:
  case TOp::Cut:
  case TOp::CutH:
  case TOp::CutV:
  case TOp::Split:
  case TOp::SplitH:
  case TOp::SplitV:
  case TOp::CutCell: text += " \"" + C.Name + "\""; break;
  case TOp::Select: text += " \"" + C.Patterns + "\""; break;
  case TOp::CopyFormat: text += " \"" + C.Source + "\""; break;
  default:
    if (C.Cell) text += " \"" + *C.Cell + "\"";
    break;
  }
  return text + ")";
}

// The cells a command for one cell works on: the named one, or every selected cell.
std::vector<TCell*> Targets(TMivora& Sheet, const TCommand& C) {
  if (C.Cell) return {Sheet.Find(*C.Cell)};
  std::vector<TCell*> cells;
  for (int32_t i = 0; i < Sheet.GetSelectionCount(); ++i) cells.push_back(Sheet.GetSelectedCell(i));
  return cells;
}

// The font a change starts from: the first selected cell's, or the current settings.
TFontData FontBase(const TMivora& Sheet) {
  const TCell* first = Sheet.GetSelectedCell(0);
  return first != nullptr ? first->Font : Sheet.CurrentFont;
}

void ApplyFont(TMivora& Sheet, const TFontSpec& Spec) {
  const TFontData base = FontBase(Sheet);
  Sheet.SetFont(Spec.Name.value_or(base.Name.Str()), Spec.Color.value_or(base.Color),
                Spec.Height.value_or(base.Height), Spec.Style.value_or(base.Style));
}

void ApplyTextProperties(TMivora& Sheet, std::optional<bool> ShrinkToFit, std::optional<bool> WordWrap) {
  const TCell* first = Sheet.GetSelectedCell(0);
  const bool shrink = first != nullptr ? first->ShrinkToFit : Sheet.CurrentShrinkToFit;
  const bool wrap = first != nullptr ? first->WordWrap : Sheet.CurrentWordWrap;
  Sheet.SetTextProperties(ShrinkToFit.value_or(shrink), WordWrap.value_or(wrap));
}

// The format given with an Add command, for the new (and only selected) cell.
void ApplyFormat(TMivora& Sheet, TCell* Cell, const TFormatSpec& F) {
  if (F.Alignment) Sheet.SetAlignment(*F.Alignment);
  if (F.Layout) Sheet.SetLayout(*F.Layout);
  if (F.Orientation) Sheet.SetOrientation(*F.Orientation);
  if (F.Font) ApplyFont(Sheet, *F.Font);
  if (F.Brush) Sheet.SetBrush(F.Brush->Color, F.Brush->Style);
  if (F.Pen) Sheet.SetEdges(F.Pen->Edges, F.Pen->Color, F.Pen->Style, F.Pen->Width);
  if (F.ShrinkToFit || F.WordWrap) ApplyTextProperties(Sheet, F.ShrinkToFit, F.WordWrap);
  if (F.Visible) Cell->Visible = *F.Visible;
  if (F.Stretch) Cell->Stretch = *F.Stretch;
}

std::unique_ptr<TRichEdit> LoadRichEdit(const TCommand& C) {
  auto control = std::make_unique<TRichEdit>(nullptr);
  switch (C.RichSource) {
  case TRichSource::File: control->LoadFromFile(C.File.string()); break;
  case TRichSource::Rtf: control->SetRtf(C.Text); break;
  case TRichSource::Markup: control->SetMarkup(C.Text); break;
  case TRichSource::Text: control->SetText(C.Text); break;
  }
  return control;
}

void Run(TMivora& Sheet, const TCommand& C) {
  switch (C.Op) {
  case TOp::Add: ApplyFormat(Sheet, Sheet.Add(C.Name, C.Left, C.Top, C.Width, C.Height), C.Format); break;
  case TOp::AddCell: Sheet.AddCell(C.Name, C.Left, C.Top, C.Width, C.Height); break;
  case TOp::AddText:
    ApplyFormat(Sheet, Sheet.AddText(C.Name, C.Text, C.Left, C.Top, C.Width, C.Height), C.Format);
    break;
  case TOp::AddGraphic: {
    std::unique_ptr<TGraphic> graphic = LoadGraphicFromFile(C.File.string());
    TCell* cell = Sheet.AddGraphic(C.Name, graphic.release(), C.Left, C.Top, C.Width, C.Height);
    ApplyFormat(Sheet, cell, C.Format);
    break;
  }
  case TOp::AddRichEdit: {
    std::unique_ptr<TRichEdit> control = LoadRichEdit(C);
    TCell* cell = Sheet.AddRichEdit(C.Name, control.release(), C.Left, C.Top, C.Width, C.Height);
    ApplyFormat(Sheet, cell, C.Format);
    break;
  }
  case TOp::Select: Sheet.Select(C.Patterns); break;
  case TOp::AddToSelection: Sheet.AddToSelection(Sheet.Find(*C.Cell), C.ClearFirst); break;
  case TOp::RemoveFromSelection: Sheet.RemoveFromSelection(C.Cell ? Sheet.Find(*C.Cell) : nullptr); break;
  case TOp::BringToFront: Sheet.BringToFront(C.Cell ? Sheet.Find(*C.Cell) : nullptr); break;
  case TOp::SendToBack: Sheet.SendToBack(C.Cell ? Sheet.Find(*C.Cell) : nullptr); break;
  case TOp::MoveCell: Sheet.MoveCell(C.Cell ? Sheet.Find(*C.Cell) : nullptr, C.ToFront); break;
  case TOp::SetAlignment: Sheet.SetAlignment(C.Alignment); break;
  case TOp::SetLayout: Sheet.SetLayout(C.Layout); break;
  case TOp::SetOrientation: Sheet.SetOrientation(C.Orientation); break;
  case TOp::SetBrush: Sheet.SetBrush(C.Color, C.Style); break;
  case TOp::SetFont: ApplyFont(Sheet, C.Font); break;
  case TOp::SetTextProperties: ApplyTextProperties(Sheet, C.ShrinkToFit, C.WordWrap); break;
  case TOp::SetEdges: Sheet.SetEdges(C.Edges, C.Color, C.Style, C.PenWidth); break;
  case TOp::SetEdgesWR: Sheet.SetEdgesWR(C.Edges, C.Color, C.Style, C.PenWidth); break;
  case TOp::SetPen: Sheet.SetPen(C.Edges, C.Color, C.Style, C.PenWidth, C.ClearOthers); break;
  case TOp::CopyFormat: Sheet.CopyFormat(Sheet.Find(C.Source), C.WithoutEdges); break;
  case TOp::FillText: Sheet.FillText(C.Texts); break;
  case TOp::Cut: Sheet.Cut(C.Name, C.Widths, C.Heights); break;
  case TOp::CutH: Sheet.CutH(C.Name, C.Heights); break;
  case TOp::CutV: Sheet.CutV(C.Name, C.Widths); break;
  case TOp::Split: Sheet.Split(C.Name, C.Rows, C.Cols); break;
  case TOp::SplitH: Sheet.SplitH(C.Name, C.Rows); break;
  case TOp::SplitV: Sheet.SplitV(C.Name, C.Rows); break;
  case TOp::CutCell: Sheet.CutCell(C.Name, C.Widths, C.Heights, C.Rows, C.Cols); break;
  case TOp::Inflate:
    for (TCell* cell : Targets(Sheet, C)) cell->Inflate(C.DX, C.DY);
    break;
  case TOp::CenterOnPage:
    for (TCell* cell : Targets(Sheet, C)) cell->CenterOnPage(C.Center);
    break;
  case TOp::Magnification:
    // Without a cell the whole sheet is magnified, selection or not.
    if (C.Cell)
      Sheet.Find(*C.Cell)->Magnification(C.Factor, C.ScaleFont);
    else
      Sheet.Magnification(C.Factor, C.ScaleFont);
    break;
  case TOp::SetVisible:
    for (TCell* cell : Targets(Sheet, C)) cell->Visible = C.Switch;
    break;
  case TOp::SetStretch:
    for (TCell* cell : Targets(Sheet, C)) cell->Stretch = C.Switch;
    break;
  case TOp::ChangeCellName: Sheet.ChangeCellName(Sheet.Find(*C.Cell), C.Name); break;
  case TOp::Remove: Sheet.Remove(C.Cell ? Sheet.Find(*C.Cell) : nullptr); break;
  case TOp::Reset: Sheet.Reset(); break;
  case TOp::RestoreDefaultSettings: Sheet.RestoreDefaultSettings(); break;
  case TOp::SetMeasurement: Sheet.SetMeasurement(C.Measurement); break;
  }
}

} // namespace

void ApplyPrinterSettings(TPrinter& Printer, const TLayout& Layout) {
  const TPrinterSettings& s = Layout.Printer;
  const std::string where = Layout.Label + ": printer";
  try {
    // Margins go last, and are cleared first, so that a smaller paper is not
    // refused for the margins of the paper before it.
    if (s.Margins) Printer.SetMargins(TPrinterMargins{});
    if (s.Paper) Printer.SetPaper(*s.Paper);
    if (s.PaperMm) Printer.SetPaperSize(s.PaperMm->first, s.PaperMm->second);
    if (s.Orientation) Printer.SetOrientation(*s.Orientation);
    if (s.Dpi) Printer.SetResolution(s.Dpi->first, s.Dpi->second);
    if (s.Margins) Printer.SetMargins(*s.Margins);
  } catch (const EPrinterError& error) {
    throw EInputError(where + ": " + error.what());
  }
}

void BuildSheet(TMivora& Sheet, const TLayout& Layout) {
  try {
    Sheet.SetMeasurement(Layout.Measurement);
  } catch (const EPrinterError& error) {
    throw EPrinterError(Layout.Label + ": measurement: " + error.what());
  }
  if (Layout.PrintEdgesLast) Sheet.PrintEdgesLast = *Layout.PrintEdgesLast;
  for (const TCommand& command : Layout.Commands) {
    const auto context = [&] { return Layout.Label + ": " + Describe(command) + ": "; };
    try {
      Run(Sheet, command);
    } catch (const EPrinterError& error) {
      throw EPrinterError(context() + error.what());
    } catch (const EInputError&) {
      throw;
    } catch (const Exception& error) {
      // The sheet's own errors, and pictures or rich text that cannot be read.
      throw EInputError(context() + error.what());
    }
    // Cells that left the sheet are not needed again: the layout holds no pointers.
    Sheet.PurgeRemovedCells();
    if (Sheet.Count() > MaxCells)
      throw EInputError(context() + "the sheet has " + std::to_string(Sheet.Count()) +
                        " cells; the most accepted is " + std::to_string(MaxCells));
  }
}

void CheckPrintable(TMivora& Sheet, const std::string& Label) {
  for (int32_t i = 0; i < Sheet.Count(); ++i) {
    const TCell* cell = Sheet.GetCell(i);
    if (!cell->Visible) continue;
    const std::string name = "\"" + Sheet.GetCellName(cell) + "\"";
    // The figures the cell will print with, before they are rounded.
    const TPixelBounds bounds = Sheet.CellPixelBounds(cell);
    const std::pair<const char*, double> edges[] = {
        {"left", bounds.Left}, {"top", bounds.Top}, {"right", bounds.Right}, {"bottom", bounds.Bottom}};
    for (const auto& [edge, pixels] : edges) {
      if (!std::isfinite(pixels) || std::fabs(pixels) > MaxCellPixels)
        throw EInputError(Label + ": cell " + name + ": its " + edge + " edge lies " + Number(pixels) +
                          " printer pixels from the page; the most accepted is " + Number(MaxCellPixels));
    }
    const double fontPixels = bounds.FontHeight;
    if (!std::isfinite(fontPixels) || std::fabs(fontPixels) > MaxFontPixels)
      throw EInputError(Label + ": cell " + name + ": its font is " + Number(fontPixels) +
                        " printer pixels high; the most accepted is " + Number(MaxFontPixels));
  }
}

TMergePlan PlanMerge(TMivora& Sheet, const TCsvTable& Table, const std::string& Label, const TPathPolicy& Policy) {
  TMergePlan plan;
  plan.Label = Label;
  const std::string headerAt = Label + ":" + std::to_string(Table.HeaderLine) + ": ";
  std::vector<std::pair<const TCell*, size_t>> filled;  // cell, column that fills it
  for (size_t column = 0; column < Table.Header.size(); ++column) {
    const std::string& name = Table.Header[column];
    const std::string which = "column " + std::to_string(column + 1) + " \"" + name + "\"";
    if (name.empty())
      throw EInputError(headerAt + "column " + std::to_string(column + 1) +
                        " has no name; the header row names the cells to fill");
    std::vector<TCell*> cells;
    if (name.find('*') != std::string::npos) {
      for (int32_t i = 0; i < Sheet.Count(); ++i)
        if (Sheet.StringMatchCellName(name, Sheet.GetCell(i))) cells.push_back(Sheet.GetCell(i));
    } else {
      try {
        cells.push_back(Sheet.Find(name));
      } catch (const ECellError&) {
      }
    }
    if (cells.empty()) {
      std::string names;
      for (int32_t i = 0; i < Sheet.Count() && i < 20; ++i)
        names += (i ? ", " : "") + Sheet.GetCellName(Sheet.GetCell(i));
      if (Sheet.Count() > 20) names += ", ...";
      throw EInputError(headerAt + which + " names no cell of the layout" +
                        (names.empty() ? std::string(" (it has no cells)") : " (its cells: " + names + ")"));
    }
    bool pictures = false;
    for (const TCell* cell : cells) {
      for (const auto& [other, otherColumn] : filled)
        if (other == cell)
          throw EInputError(headerAt + which + " fills the cell \"" + Sheet.GetCellName(cell) +
                            "\", which column " + std::to_string(otherColumn + 1) + " \"" +
                            Table.Header[otherColumn] + "\" fills already");
      filled.emplace_back(cell, column);
      pictures = pictures || cell->CellType() == ctGraphic;
    }
    std::vector<fs::path> files;
    if (pictures) {
      for (const TCsvRecord& record : Table.Records) {
        const std::string& written = record.Fields[column];
        if (written.empty()) {
          files.emplace_back();
          continue;
        }
        const std::string where = Label + ":" + std::to_string(record.Line) + ": " + name;
        fs::path file = ResolveFile(Policy, written, where);
        std::error_code error;
        if (!fs::is_regular_file(file, error)) throw EInputError(where + ": no picture file \"" + written + "\"");
        files.push_back(std::move(file));
      }
    }
    plan.Columns.push_back(name);
    plan.Cells.push_back(std::move(cells));
    plan.Pictures.push_back(std::move(files));
  }
  return plan;
}

void FillRecord(const TMergePlan& Plan, const TCsvTable& Table, size_t Index) {
  const TCsvRecord& record = Table.Records[Index];
  for (size_t column = 0; column < Plan.Cells.size(); ++column) {
    const std::string& value = record.Fields[column];
    for (TCell* cell : Plan.Cells[column]) {
      try {
        switch (cell->CellType()) {
        case ctText: cell->SetText(value); break;
        case ctGraphic: {
          const fs::path& file = Plan.Pictures[column][Index];
          if (file.empty())
            cell->SetGraphic(nullptr);
          else
            cell->SetGraphic(LoadGraphicFromFile(file.string()).release());
          break;
        }
        case ctRichEdit:
          if (cell->GetRichEdit() == nullptr) cell->SetRichEdit(new TRichEdit(nullptr));
          cell->GetRichEdit()->SetText(value);
          break;
        }
      } catch (const EPrinterError&) {
        throw;
      } catch (const Exception& error) {
        throw EInputError(Plan.Label + ":" + std::to_string(record.Line) + ": " + Plan.Columns[column] + ": " +
                          error.what());
      }
    }
  }
}

} // namespace mivora::tool
