#include "Mivora.h"

#include <cmath>
#include <span>

namespace mivora {

namespace {

// The name of the cell in row Row and column Col of a grid of Rows by Cols:
// the base name, then "R<row>" if there is more than one row, then "C<col>" if
// there is more than one column.
std::string GridCellName(const std::string& BaseName, int32_t Row, int32_t Col, int32_t Rows,
                         int32_t Cols) {
  std::string name = BaseName;
  if (Rows > 1) name.append(1, 'R').append(std::to_string(Row));
  if (Cols > 1) name.append(1, 'C').append(std::to_string(Col));
  return name;
}

float Product(float A, float B) {
  return static_cast<float>(static_cast<double>(A) * static_cast<double>(B));
}

} // namespace

void TMivora::Cut(const std::string& BaseName, const std::vector<float>& Widths,
                  const std::vector<float>& Heights) {
  CutCell(BaseName, Widths, Heights, 0, 0);
}

void TMivora::CutH(const std::string& BaseName, const std::vector<float>& Heights) {
  const TCell* cell = GetSelectedCell(0);
  if (cell == nullptr) throw ECellError("Invalid cell");
  const float width = measurement_ == mtPercentage ? 1.0f : cell->GetWidth();
  CutCell(BaseName, {width}, Heights, 0, 0);
}

void TMivora::CutV(const std::string& BaseName, const std::vector<float>& Widths) {
  const TCell* cell = GetSelectedCell(0);
  if (cell == nullptr) throw ECellError("Invalid cell");
  const float height = measurement_ == mtPercentage ? 1.0f : cell->GetHeight();
  CutCell(BaseName, Widths, {height}, 0, 0);
}

void TMivora::Split(const std::string& BaseName, int32_t RowCount, int32_t ColCount) {
  const TCell* cell = GetSelectedCell(0);
  if (cell == nullptr) throw ECellError("Invalid cell");
  if (RowCount <= 0 || ColCount <= 0) return;
  float width = 0.0f;
  float height = 0.0f;
  if (measurement_ == mtPercentage) {
    width = static_cast<float>(1.0 / ColCount);
    height = static_cast<float>(1.0 / RowCount);
  } else {
    width = static_cast<float>(static_cast<double>(cell->GetWidth()) / ColCount);
    height = static_cast<float>(static_cast<double>(cell->GetHeight()) / RowCount);
  }
  CutCell(BaseName, {width}, {height}, RowCount, ColCount);
}

void TMivora::SplitH(const std::string& BaseName, int32_t PartCount) {
  Split(BaseName, PartCount, 1);
}

void TMivora::SplitV(const std::string& BaseName, int32_t PartCount) {
  Split(BaseName, 1, PartCount);
}

void TMivora::CutCell(const std::string& BaseName, const std::vector<float>& Widths,
                      const std::vector<float>& Heights, int32_t RowCount, int32_t ColCount) {
  TCell* const cut = GetSelectedCell(0);
  // A cell the application selected but this sheet does not hold cannot be
  // replaced: refuse before any new cell exists.
  if (IndexOf(cut) < 0) throw ECellError("Invalid cell");

  const std::span<const float> widths(Widths);
  const std::span<const float> heights(Heights);
  const int32_t rows = RowCount != 0 ? RowCount : CutValuesCount(heights);
  const int32_t cols = ColCount != 0 ? ColCount : CutValuesCount(widths);
  if (rows < 1 || cols < 1) return;
  // A fixed count takes its size from the first entry: without one there is no size.
  if ((RowCount != 0 && heights.empty()) || (ColCount != 0 && widths.empty())) return;

  const bool fractions = measurement_ == mtPercentage;
  const float cutLeft = cut->Left();
  const float cutTop = cut->Top();
  const float cutRight = cut->Right();
  const float cutBottom = cut->Bottom();
  const float cutWidth = cut->GetWidth();
  const float cutHeight = cut->GetHeight();

  RemoveFromSelection(nullptr);
  std::vector<TCell*> created;
  try {
    float y = cutTop;
    TCutValueRec rowCursor;
    ResetCutValueRec(rowCursor);
    for (int32_t r = 1; r <= rows; ++r) {
      float x = cutLeft;
      float h = 0.0f;
      if (RowCount == 0)
        CutValue(heights, rowCursor, h);
      else
        h = std::fabs(heights.front());
      if (fractions) h = Product(cutHeight, h);

      TCutValueRec colCursor; // every row reads the widths from their start
      ResetCutValueRec(colCursor);
      TCell* last = nullptr;
      for (int32_t c = 1; c <= cols; ++c) {
        float w = 0.0f;
        if (ColCount == 0)
          CutValue(widths, colCursor, w);
        else
          w = std::fabs(widths.front());
        if (fractions) w = Product(cutWidth, w);

        last = AddCell(GridCellName(BaseName, r, c, rows, cols), x, y, w, h);
        created.push_back(last);
        AddToSelection(last, false);
        if (last->Bottom() > cutBottom) last->SetBottom(cutBottom);
        x = last->Right();
        if (x >= cutRight) {
          last->SetRight(cutRight);
          break;
        }
      }
      y = last->Bottom();
      if (y == cutBottom) break;
    }
    if (IndexOf(cut) >= 0) Remove(cut);
  } catch (...) {
    // Take out again exactly the cells this call made, in one pass, so the sheet
    // holds what it held before; the selection ends empty.
    RemoveFromSelection(nullptr);
    for (TCell* cell : created)
      if (IndexOf(cell) >= 0) AddToSelection(cell, false);
    Remove(nullptr);
    throw;
  }
}

} // namespace mivora
