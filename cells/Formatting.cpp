#include "Mivora.h"

#include <limits>

namespace mivora {

// Each command below changes the selected cells, or the current settings (and so
// the cells added later) when nothing is selected. Values are stored unchecked.

void TMivora::SetAlignment(uint8_t Value) {
  if (selection_.empty()) CurrentAlignment = Value;
  for (TCell* cell : selection_) cell->Alignment = Value;
}

void TMivora::SetBrush(TColor Color, uint8_t Style) {
  auto apply = [&](TBrushData& Brush) {
    Brush.Color = Color;
    Brush.Style = Style;
  };
  if (selection_.empty()) apply(CurrentBrush);
  for (TCell* cell : selection_) apply(cell->Brush);
}

void TMivora::SetFont(const std::string& Name, TColor Color, float Height, TFontStyles Style) {
  const TFontName face(Name); // longer names are cut to their first 31 characters
  auto apply = [&](TFontData& Font) {
    Font.Name = face;
    Font.Color = Color;
    Font.Height = Height;
    Font.Style = Style;
  };
  if (selection_.empty()) apply(CurrentFont);
  for (TCell* cell : selection_) apply(cell->Font);
}

void TMivora::SetLayout(uint8_t Value) {
  if (selection_.empty()) CurrentLayout = Value;
  for (TCell* cell : selection_) cell->Layout = Value;
}

void TMivora::SetOrientation(TTextOrientation Value) {
  if (selection_.empty()) CurrentOrientation = Value;
  for (TCell* cell : selection_) cell->Orientation = Value;
}

void TMivora::SetTextProperties(bool ShrinkToFit, bool WordWrap) {
  if (selection_.empty()) {
    CurrentShrinkToFit = ShrinkToFit;
    CurrentWordWrap = WordWrap;
  }
  for (TCell* cell : selection_) {
    cell->ShrinkToFit = ShrinkToFit;
    cell->WordWrap = WordWrap;
  }
}

void TMivora::SetEdges(TEdges Edges, TColor Color, uint8_t Style, int32_t Width) {
  SetPen(Edges, Color, Style, Width, false);
}

void TMivora::SetEdgesWR(TEdges Edges, TColor Color, uint8_t Style, int32_t Width) {
  SetPen(Edges, Color, Style, Width, true);
}

namespace {
constexpr TEdge kEdges[] = {edLeft, edTop, edRight, edBottom};
} // namespace

void TMivora::SetPen(TEdges Edges, TColor Color, uint8_t Style, int32_t Width,
                     bool ClearOthers) {
  if (selection_.empty()) {
    // Clearing a current pen only hides it: its colour and width stay.
    if (Edges.Contains(edBorders)) Edges = edAll;
    for (TEdge edge : kEdges) {
      TPenData& pen = CurrentPens[edge];
      if (ClearOthers) pen.Style = psClear;
      if (Edges.Contains(edge)) {
        pen.Color = Color;
        pen.Width = Width;
        pen.Style = Style;
      }
    }
    return;
  }

  TPenData pen;
  pen.Color = Color;
  pen.Width = Width;
  pen.Style = Style;

  if (!Edges.Contains(edBorders)) {
    for (TCell* cell : selection_)
      for (TEdge edge : kEdges) {
        if (ClearOthers) cell->SetPenData(edge, DefaultPenData);
        if (Edges.Contains(edge)) cell->SetPenData(edge, pen);
      }
    return;
  }

  // The outline of the selection as a whole: an edge gets the pen when it lies
  // exactly on the bounding rectangle of all selected cells.
  float minLeft = std::numeric_limits<float>::infinity();
  float minTop = std::numeric_limits<float>::infinity();
  float maxRight = -std::numeric_limits<float>::infinity();
  float maxBottom = -std::numeric_limits<float>::infinity();
  for (const TCell* cell : selection_) {
    if (cell->Left() < minLeft) minLeft = cell->Left();
    if (cell->Top() < minTop) minTop = cell->Top();
    if (cell->Right() > maxRight) maxRight = cell->Right();
    if (cell->Bottom() > maxBottom) maxBottom = cell->Bottom();
  }
  for (TCell* cell : selection_) {
    const bool outer[] = {cell->Left() == minLeft, cell->Top() == minTop,
                          cell->Right() == maxRight, cell->Bottom() == maxBottom};
    for (TEdge edge : kEdges) {
      if (outer[edge])
        cell->SetPenData(edge, pen);
      else if (ClearOthers)
        cell->SetPenData(edge, DefaultPenData);
    }
  }
}

void TMivora::CopyFormat(TCell* Source, bool WithoutEdges) {
  if (Source == nullptr) throw ECellError("Invalid cell");
  for (TCell* cell : selection_) {
    if (cell == Source) continue;
    cell->Alignment = Source->Alignment;
    cell->Brush = Source->Brush;
    cell->Font = Source->Font;
    cell->Layout = Source->Layout;
    cell->Orientation = Source->Orientation;
    if (!WithoutEdges)
      for (TEdge edge : kEdges) cell->SetPenData(edge, Source->GetPenData(edge));
    cell->ShrinkToFit = Source->ShrinkToFit;
    cell->WordWrap = Source->WordWrap;
  }
}

void TMivora::FillText(const std::vector<std::string>& Texts) {
  // Cells beyond the list get the empty text; texts beyond the selection go nowhere.
  for (size_t i = 0; i < selection_.size(); ++i)
    selection_[i]->SetText(i < Texts.size() ? Texts[i] : std::string());
}

} // namespace mivora
