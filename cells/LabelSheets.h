// Sheets of identical labels: the grid of labels on a paper, the preset grids
// of common label and badge sheets (named by the codes people look them up
// by), and TLabelPrinter, which prints a sheet that describes ONE label once
// for every label, sheet after sheet.
#pragma once

#include "Mivora.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mivora {

// The order in which labels are filled on a sheet.
enum class TReadingOrder : uint8_t { AcrossThenDown, DownThenAcross };

// A grid of Across x Down labels of one size on a paper; all lengths in
// millimetres from the paper's top left corner. The pitch is the distance from
// one label's left (top) edge to the next one's: the label's size plus the gap.
struct TLabelGrid {
  double PaperWidth = 210, PaperHeight = 297;
  int32_t Across = 1, Down = 1;
  double LabelWidth = 0, LabelHeight = 0;
  double Left = 0, Top = 0;  // the first label's top left corner
  double PitchX = 0, PitchY = 0;
  TReadingOrder Order = TReadingOrder::AcrossThenDown;

  // Labels on one sheet.
  int32_t Count() const noexcept { return Across * Down; }
};

// One label's rectangle on the paper, in millimetres.
struct TLabelRect {
  double Left = 0, Top = 0, Width = 0, Height = 0;
};

// A preset: a sheet as sold, by the code people look it up by.
struct TLabelSheet {
  std::string Code;         // "5160", "L7160"
  std::string Description;  // "US Letter, 3 x 10 address labels of 2-5/8 x 1 in"
  TLabelGrid Grid;
};

// Every preset, in a fixed order.
const std::vector<TLabelSheet>& LabelSheets();

// The preset with Code (letter case ignored), or null when there is none.
const TLabelSheet* FindLabelSheet(const std::string& Code) noexcept;

// The preset with Code (letter case ignored). Raises ECellError "No label
// sheet "Code" (the presets are ...)" when there is none.
const TLabelSheet& LabelSheet(const std::string& Code);

// Label Index (0-based, in the grid's reading order) on the sheet. Raises
// ECellError for a grid without labels across or down.
TLabelRect LabelRect(const TLabelGrid& Grid, int32_t Index);

// Checks that the grid makes sense: at least one label, positive sizes, labels
// inside the paper and not overlapping one another. Raises ECellError
// "Where: ..." naming the offending figure.
void CheckLabelGrid(const TLabelGrid& Grid, const std::string& Where = "Label grid");

// Prints a sheet whose cells describe ONE label, in the label's own
// coordinates (the sheet's measurement, measured from the label's top left
// corner), once per label: each PrintLabel puts the cells on the next label of
// the grid, starting a new page when a sheet is full. Labels that are never
// printed stay blank. The cells' bounds are theirs again after every label, so
// the application changes texts (or anything else) between labels as it would
// between pages.
//
//   TLabelPrinter labels(sheet, LabelSheet("L7160").Grid);
//   sheet.BeginDocument("Addresses");
//   for (const TAddress& a : addresses) { name->SetText(a.Name); labels.PrintLabel(); }
//   sheet.EndDocument();
//
// The grid lies on the printer's paper (set the printer's paper and margins
// first; label sheets are usually printed with margins of 0). The sheet's
// DuringPrint event is raised once a page, after its first label.
class TLabelPrinter {
public:
  // Labels of Grid for Sheet, from label First (counted from 1 in the grid's
  // reading order) of the first sheet, for a partly used sheet. Raises
  // ECellError "Where: ..." when the grid is unsound, does not fit the
  // printer's paper or reaches into its margins, or First is not on the sheet.
  TLabelPrinter(TMivora& Sheet, const TLabelGrid& Grid, int32_t First = 1, std::string Where = "Label grid");

  // Prints the sheet's visible cells on the next label, into the sheet's open
  // document (BeginDocument first); the first label of a sheet starts its
  // page. A visible cell that lies outside the label raises ECellError and
  // nothing is printed; a cell that fails to draw abandons the document, as
  // PrintNextPage does.
  void PrintLabel();
  // Puts the cells on the next label as PrintLabel would, calls Visit instead
  // of printing (to check the page, say), puts them back and moves on.
  void VisitLabel(const std::function<void()>& Visit);
  // Leaves the next label blank and moves on.
  void SkipLabel() noexcept;

  // The next label's place on its sheet, counting from 1.
  int32_t NextLabel() const noexcept;
  // The sheet (page) the next label is on, counting from 1.
  int64_t NextSheet() const noexcept;
  // The next label's rectangle on the paper, in millimetres.
  TLabelRect NextRect() const;
  // Labels printed (or visited) so far.
  int64_t Printed() const noexcept { return printed_; }
  const TLabelGrid& Grid() const noexcept { return grid_; }

private:
  struct TSaved;

  void Place(std::vector<TSaved>& Saved);
  static void Restore(std::vector<TSaved>& Saved) noexcept;
  // Places the cells on the next label, runs Work, gives the cells their
  // bounds back and moves on to the following label.
  void AtNextLabel(const std::function<void()>& Work);
  void UpdateUnits();

  TMivora& sheet_;
  TLabelGrid grid_;
  std::string where_;
  int64_t slot_ = 0;         // the next label, counted over all sheets from the first's label 1
  int64_t openSheet_ = -1;   // the sheet whose page this printer has started
  int32_t pageOfSheet_ = 0;  // that page's number in the document
  int64_t printed_ = 0;
  TMeasurement measurement_ = mtCentimeters;
  double unitPerMmX_ = 0, unitPerMmY_ = 0, marginLeft_ = 0, marginTop_ = 0;
};

} // namespace mivora
