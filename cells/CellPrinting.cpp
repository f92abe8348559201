#include "Mivora.h"

#include "Canvas.h"
#include "Gdi.h"
#include "Printer.h"
#include "RichEdit.h"

namespace mivora {

namespace {

// The cell's rectangle in printer pixels, and its font height in pixels.
TRect PixelBounds(const TMivora& Sheet, const TCell& Cell, int32_t& FontHeight) {
  TRect r;
  Sheet.TransformCellBounds(&Cell, r.Left, r.Top, r.Right, r.Bottom, FontHeight);
  return r;
}

} // namespace

void TCell::Print() {
  if (sheet_ == nullptr || !Visible) return;
  int32_t fontHeight = 0;
  const TRect r = PixelBounds(*sheet_, *this, fontHeight);

  TCanvas* canvas = Printer()->GetCanvas();
  // A filled cell hides what lies beneath it: every brush that is not clear fills
  // the whole rectangle with an opaque colour, so no white goes under it first.
  // A clear cell lets what lies beneath show through.
  AssignBrush(canvas, Brush);
  canvas->Pen()->SetStyle(psClear);
  canvas->Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  canvas->Brush()->SetStyle(bsClear);
  AssignFont(canvas, Font, fontHeight);

  switch (cellType_) {
  case ctText:
    if (Orientation == toHorizontal)
      ShowText(canvas, text_, r, Alignment, Layout, WordWrap, ShrinkToFit);
    else
      ShowTextVertically(canvas, text_, r, Alignment, Layout, ShrinkToFit);
    break;
  case ctGraphic:
    ShowGraphic(canvas, GetGraphic(), r, Stretch, Alignment, Layout, Fit);
    break;
  case ctRichEdit:
    // Markup takes the cell's alignment, and its font from the canvas (set above).
    if (TRichEdit* edit = GetRichEdit()) edit->MarkupAlignment = Alignment;
    ShowRichEdit(canvas, GetRichEdit(), r);
    break;
  }

  if (!sheet_->PrintEdgesLast) PrintEdges();
}

void TCell::PrintEdges() {
  if (sheet_ == nullptr || !Visible) return;
  int32_t unusedFontHeight = 0;
  const TRect r = PixelBounds(*sheet_, *this, unusedFontHeight);

  // Each edge is trimmed where it is wider than the visible edges it meets; a
  // later edge is drawn over an earlier one at the corners.
  TCanvas* canvas = Printer()->GetCanvas();
  // A cell's edges in one colour reach the page as one drawing operation.
  const TCanvasFigures figures(canvas);
  int32_t start = 0, length = 0;
  AssignPen(canvas, Pens[edLeft]);
  AdjustLineY(Pens[edLeft], Pens[edTop], Pens[edBottom], r, start, length);
  LineV(r.Left, start, length);

  AssignPen(canvas, Pens[edTop]);
  AdjustLineX(Pens[edTop], Pens[edLeft], Pens[edRight], r, start, length);
  LineH(start, r.Top, length);

  AssignPen(canvas, Pens[edRight]);
  AdjustLineY(Pens[edRight], Pens[edTop], Pens[edBottom], r, start, length);
  LineV(r.Right, start, length);

  AssignPen(canvas, Pens[edBottom]);
  AdjustLineX(Pens[edBottom], Pens[edLeft], Pens[edRight], r, start, length);
  LineH(start, r.Bottom, length);
}

} // namespace mivora
