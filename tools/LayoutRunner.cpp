#include "LayoutRunner.h"

#include "Commands.h"
#include "Gdi.h"
#include "InputError.h"
#include "Numbers.h"
#include "Picture.h"
#include "RichEdit.h"

#include <cmath>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

std::string Number(double Value) { return FormatNumber(Value); }

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
      command.Spec->Run(Sheet, command);
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
