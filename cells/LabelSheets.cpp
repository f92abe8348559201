#include "LabelSheets.h"

#include "Gdi.h"
#include "Numbers.h"
#include "Printer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mivora {

namespace {

constexpr double Inch = 25.4;
constexpr double LetterWidth = 8.5 * Inch, LetterHeight = 11 * Inch;
constexpr double A4Width = 210, A4Height = 297;
// Sheets are cut to a tenth of a millimetre at best: a label that ends within
// this much of the paper's edge, or of the next label, still fits.
constexpr double GridToleranceMm = 1e-6;
// A cell within this much of its label's border still lies on the label: the
// sheet's units and the printer's pixels round lengths by less.
constexpr double CellToleranceMm = 0.01;
constexpr int32_t MaxLabelsAcross = 1000;

// The figures come from the label makers' published templates for each code
// (label size, top and side margins, horizontal and vertical pitch); where the
// maker calls the grid centred, the margins are computed so that it is.
std::vector<TLabelSheet> MakeSheets() {
  std::vector<TLabelSheet> sheets;
  // US Letter, 30 address labels of 2-5/8 x 1 in: top margin 1/2 in, side
  // margin 3/16 in, pitch 2-3/4 in across and 1 in down (no gap between rows).
  sheets.push_back({"5160", "US Letter, 3 x 10 address labels of 2-5/8 x 1 in",
                    {LetterWidth, LetterHeight, 3, 10, 2.625 * Inch, 1 * Inch, 0.1875 * Inch, 0.5 * Inch,
                     2.75 * Inch, 1 * Inch, TReadingOrder::AcrossThenDown}});
  // US Letter, 10 shipping labels of 4 x 2 in: top margin 1/2 in, side margin
  // 5/32 in, pitch 4-3/16 in across and 2 in down.
  sheets.push_back({"5163", "US Letter, 2 x 5 shipping labels of 4 x 2 in",
                    {LetterWidth, LetterHeight, 2, 5, 4 * Inch, 2 * Inch, 0.15625 * Inch, 0.5 * Inch,
                     4.1875 * Inch, 2 * Inch, TReadingOrder::AcrossThenDown}});
  // A4, 21 address labels of 63.5 x 38.1 mm: pitch 66.04 mm across and
  // 38.1 mm down, the grid centred (top margin 15.15 mm, side margin 7.21 mm).
  sheets.push_back({"L7160", "A4, 3 x 7 address labels of 63.5 x 38.1 mm",
                    {A4Width, A4Height, 3, 7, 63.5, 38.1, (A4Width - (2 * 66.04 + 63.5)) / 2, (A4Height - 7 * 38.1) / 2,
                     66.04, 38.1, TReadingOrder::AcrossThenDown}});
  // A4, 14 labels of 99.1 x 38.1 mm: pitch 101.6 mm across and 38.1 mm down,
  // centred (top margin 15.15 mm, side margin 4.65 mm).
  sheets.push_back({"L7163", "A4, 2 x 7 address labels of 99.1 x 38.1 mm",
                    {A4Width, A4Height, 2, 7, 99.1, 38.1, (A4Width - (101.6 + 99.1)) / 2, (A4Height - 7 * 38.1) / 2,
                     101.6, 38.1, TReadingOrder::AcrossThenDown}});
  // A4, 65 mini labels of 38.1 x 21.2 mm: pitch 40.6 mm across and 21.2 mm
  // down, centred (top margin 10.7 mm, side margin 4.75 mm).
  sheets.push_back({"L7651", "A4, 5 x 13 mini labels of 38.1 x 21.2 mm",
                    {A4Width, A4Height, 5, 13, 38.1, 21.2, (A4Width - (4 * 40.6 + 38.1)) / 2,
                     (A4Height - 13 * 21.2) / 2, 40.6, 21.2, TReadingOrder::AcrossThenDown}});
  // A4, 8 name badges of 90 x 54 mm (the usual badge-holder insert). Badge
  // sheets differ from maker to maker; this generic grid has 10 mm between
  // columns and 15 mm between rows, centred on the paper.
  sheets.push_back({"badge-90x54", "A4, 2 x 4 name badges of 90 x 54 mm",
                    {A4Width, A4Height, 2, 4, 90, 54, (A4Width - (100 + 90)) / 2, (A4Height - (3 * 69 + 54)) / 2, 100,
                     69, TReadingOrder::AcrossThenDown}});
  // One 4 x 6 in shipping label on paper of its own size (label printers).
  sheets.push_back({"4x6", "one 4 x 6 in label on 4 x 6 in paper",
                    {4 * Inch, 6 * Inch, 1, 1, 4 * Inch, 6 * Inch, 0, 0, 4 * Inch, 6 * Inch,
                     TReadingOrder::AcrossThenDown}});
  return sheets;
}

std::string Mm(double Value) { return FormatNumber(Value, 6) + " mm"; }

bool SameCode(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(a) == lower(b);
         });
}

} // namespace

const std::vector<TLabelSheet>& LabelSheets() {
  static const std::vector<TLabelSheet> sheets = MakeSheets();
  return sheets;
}

const TLabelSheet* FindLabelSheet(const std::string& Code) noexcept {
  for (const TLabelSheet& sheet : LabelSheets())
    if (SameCode(sheet.Code, Code)) return &sheet;
  return nullptr;
}

const TLabelSheet& LabelSheet(const std::string& Code) {
  if (const TLabelSheet* sheet = FindLabelSheet(Code)) return *sheet;
  std::string list;
  for (const TLabelSheet& sheet : LabelSheets()) list += (list.empty() ? "" : ", ") + sheet.Code;
  throw ECellError("No label sheet \"" + Code + "\" (the presets are " + list + ")");
}

TLabelRect LabelRect(const TLabelGrid& Grid, int32_t Index) {
  if (Grid.Across < 1 || Grid.Down < 1)
    throw ECellError("A label grid of " + std::to_string(Grid.Across) + " x " + std::to_string(Grid.Down) +
                     " labels has no label " + std::to_string(Index + 1));
  const int32_t column = Grid.Order == TReadingOrder::AcrossThenDown ? Index % Grid.Across : Index / Grid.Down;
  const int32_t row = Grid.Order == TReadingOrder::AcrossThenDown ? Index / Grid.Across : Index % Grid.Down;
  return {Grid.Left + column * Grid.PitchX, Grid.Top + row * Grid.PitchY, Grid.LabelWidth, Grid.LabelHeight};
}

void CheckLabelGrid(const TLabelGrid& Grid, const std::string& Where) {
  const auto fail = [&](const std::string& Message) { throw ECellError(Where + ": " + Message); };
  if (Grid.Across < 1 || Grid.Across > MaxLabelsAcross)
    fail("labels across is " + std::to_string(Grid.Across) + "; it must be 1 to " + std::to_string(MaxLabelsAcross));
  if (Grid.Down < 1 || Grid.Down > MaxLabelsAcross)
    fail("labels down is " + std::to_string(Grid.Down) + "; it must be 1 to " + std::to_string(MaxLabelsAcross));
  const std::pair<const char*, double> sizes[] = {{"label width", Grid.LabelWidth},
                                                  {"label height", Grid.LabelHeight},
                                                  {"paper width", Grid.PaperWidth},
                                                  {"paper height", Grid.PaperHeight}};
  for (const auto& [what, value] : sizes)
    if (!std::isfinite(value) || value <= 0) fail(std::string("the ") + what + " is " + Mm(value) + "; it must be more than 0");
  const std::pair<const char*, double> places[] = {
      {"left edge of the first label", Grid.Left}, {"top edge of the first label", Grid.Top},
      {"horizontal pitch", Grid.PitchX}, {"vertical pitch", Grid.PitchY}};
  for (const auto& [what, value] : places)
    if (!std::isfinite(value) || value < 0) fail(std::string("the ") + what + " is " + Mm(value) + "; it cannot be negative");

  if (Grid.Across > 1 && Grid.PitchX < Grid.LabelWidth - GridToleranceMm)
    fail("labels overlap: the horizontal pitch (" + Mm(Grid.PitchX) + ") is less than the label width (" +
         Mm(Grid.LabelWidth) + ")");
  if (Grid.Down > 1 && Grid.PitchY < Grid.LabelHeight - GridToleranceMm)
    fail("labels overlap: the vertical pitch (" + Mm(Grid.PitchY) + ") is less than the label height (" +
         Mm(Grid.LabelHeight) + ")");
  const double right = Grid.Left + (Grid.Across - 1) * Grid.PitchX + Grid.LabelWidth;
  const double bottom = Grid.Top + (Grid.Down - 1) * Grid.PitchY + Grid.LabelHeight;
  if (right > Grid.PaperWidth + GridToleranceMm)
    fail("the grid does not fit its paper: " + std::to_string(Grid.Across) + " labels across end " + Mm(right) +
         " from the left edge, beyond the paper's width of " + Mm(Grid.PaperWidth));
  if (bottom > Grid.PaperHeight + GridToleranceMm)
    fail("the grid does not fit its paper: " + std::to_string(Grid.Down) + " labels down end " + Mm(bottom) +
         " from the top edge, beyond the paper's height of " + Mm(Grid.PaperHeight));
}

// --- Printing label after label

// A cell moved onto a label, and where it was.
struct TLabelPrinter::TSaved {
  TCell* Cell;
  float Left, Top, Right, Bottom;
  bool CheckBounds;
};

TLabelPrinter::TLabelPrinter(TMivora& Sheet, const TLabelGrid& Grid, int32_t First, std::string Where)
    : sheet_(Sheet), grid_(Grid), where_(std::move(Where)) {
  TPrinter* printer = Printer();
  // The grid lies on the paper the printer prints on.
  grid_.PaperWidth = printer->PaperWidthMm();
  grid_.PaperHeight = printer->PaperHeightMm();
  CheckLabelGrid(grid_, where_);
  const TPrinterMargins& margins = printer->Margins();
  const TLabelRect first = LabelRect(grid_, 0), last = LabelRect(grid_, grid_.Count() - 1);
  const double right = std::max(first.Left, last.Left) + grid_.LabelWidth;
  const double bottom = std::max(first.Top, last.Top) + grid_.LabelHeight;
  if (grid_.Left < margins.Left - CellToleranceMm || grid_.Top < margins.Top - CellToleranceMm ||
      right > grid_.PaperWidth - margins.Right + CellToleranceMm ||
      bottom > grid_.PaperHeight - margins.Bottom + CellToleranceMm)
    throw ECellError(where_ + ": the label grid reaches into the printer's margins (left " + Mm(margins.Left) +
                     ", top " + Mm(margins.Top) + ", right " + Mm(margins.Right) + ", bottom " + Mm(margins.Bottom) +
                     "); label sheets are printed with margins of 0");
  if (First < 1 || First > grid_.Count())
    throw ECellError(where_ + ": label " + std::to_string(First) + " is beyond the sheet, which has " +
                     std::to_string(grid_.Count()) + " labels (" + std::to_string(grid_.Across) + " x " +
                     std::to_string(grid_.Down) + ")");
  slot_ = First - 1;
  UpdateUnits();
}

void TLabelPrinter::UpdateUnits() {
  TPrinter* printer = Printer();
  const TPrinterMargins& margins = printer->Margins();
  measurement_ = sheet_.Measurement();
  switch (measurement_) {
  case mtCentimeters: unitPerMmX_ = unitPerMmY_ = 0.1; break;
  case mtInches: unitPerMmX_ = unitPerMmY_ = 1 / 25.4; break;
  case mtPixels:
    unitPerMmX_ = GetDeviceCaps(printer->GetHandle(), LOGPIXELSX) / 25.4;
    unitPerMmY_ = GetDeviceCaps(printer->GetHandle(), LOGPIXELSY) / 25.4;
    break;
  case mtPercentage:
    unitPerMmX_ = 1 / (printer->PaperWidthMm() - margins.Left - margins.Right);
    unitPerMmY_ = 1 / (printer->PaperHeightMm() - margins.Top - margins.Bottom);
    break;
  }
  // Cells are placed from the printable area's corner.
  marginLeft_ = margins.Left;
  marginTop_ = margins.Top;
}

int32_t TLabelPrinter::NextLabel() const noexcept { return static_cast<int32_t>(slot_ % grid_.Count()) + 1; }

int64_t TLabelPrinter::NextSheet() const noexcept { return slot_ / grid_.Count() + 1; }

TLabelRect TLabelPrinter::NextRect() const { return LabelRect(grid_, NextLabel() - 1); }

void TLabelPrinter::SkipLabel() noexcept { ++slot_; }

void TLabelPrinter::Place(std::vector<TSaved>& Saved) {
  if (sheet_.Measurement() != measurement_) UpdateUnits();
  const TLabelRect rect = NextRect();
  // Every cell is checked before any moves, so a refused label leaves them as they were.
  for (int32_t i = 0; i < sheet_.Count(); ++i) {
    TCell* cell = sheet_.GetCell(i);
    if (!cell->Visible) continue;
    const double l = cell->Left() / unitPerMmX_, t = cell->Top() / unitPerMmY_;
    const double r = cell->Right() / unitPerMmX_, b = cell->Bottom() / unitPerMmY_;
    if (!(l >= -CellToleranceMm && t >= -CellToleranceMm && r <= grid_.LabelWidth + CellToleranceMm &&
          b <= grid_.LabelHeight + CellToleranceMm))
      throw ECellError(where_ + ": cell \"" + sheet_.GetCellName(cell) + "\" lies outside its label: it spans " +
                       Mm(l) + " to " + Mm(r) + " across and " + Mm(t) + " to " + Mm(b) + " down, the label " +
                       Mm(grid_.LabelWidth) + " x " + Mm(grid_.LabelHeight) +
                       " (a label's cells are placed in the label's own coordinates)");
    Saved.push_back({cell, cell->Left(), cell->Top(), cell->Right(), cell->Bottom(), cell->CheckBounds});
  }
  const float dx = static_cast<float>((rect.Left - marginLeft_) * unitPerMmX_);
  const float dy = static_cast<float>((rect.Top - marginTop_) * unitPerMmY_);
  for (const TSaved& s : Saved) {
    s.Cell->CheckBounds = false;
    s.Cell->SetLeft(s.Left + dx);
    s.Cell->SetTop(s.Top + dy);
    s.Cell->SetRight(s.Right + dx);
    s.Cell->SetBottom(s.Bottom + dy);
  }
}

void TLabelPrinter::Restore(std::vector<TSaved>& Saved) noexcept {
  for (const TSaved& s : Saved) {
    s.Cell->CheckBounds = false;
    s.Cell->SetLeft(s.Left);
    s.Cell->SetTop(s.Top);
    s.Cell->SetRight(s.Right);
    s.Cell->SetBottom(s.Bottom);
    s.Cell->CheckBounds = s.CheckBounds;
  }
  Saved.clear();
}

void TLabelPrinter::AtNextLabel(const std::function<void()>& Work) {
  std::vector<TSaved> saved;
  saved.reserve(static_cast<size_t>(sheet_.Count()));
  {
    // The cells go back where they were, however the label ends.
    struct TGuard {
      std::vector<TSaved>& Saved;
      ~TGuard() { Restore(Saved); }
    } guard{saved};
    Place(saved);
    Work();
  }
  ++slot_;
  ++printed_;
}

void TLabelPrinter::PrintLabel() {
  AtNextLabel([this] {
    const int64_t sheetNumber = slot_ / grid_.Count();
    // A page of its own for each sheet; and a new one when the document's
    // pages changed under this printer (another page printed, or a new document).
    if (sheetNumber != openSheet_ || !sheet_.DocumentOpen() || sheet_.DocumentPages() != pageOfSheet_) {
      sheet_.PrintNextPage();
      openSheet_ = sheetNumber;
      pageOfSheet_ = sheet_.DocumentPages();
    } else {
      try {
        sheet_.PrintPage();
      } catch (...) {
        // As for a page: a half-drawn sheet of labels is not delivered.
        sheet_.AbortDocument();
        throw;
      }
    }
  });
}

void TLabelPrinter::VisitLabel(const std::function<void()>& Visit) {
  AtNextLabel([&Visit] {
    if (Visit) Visit();
  });
}

} // namespace mivora
