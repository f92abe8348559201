// Cell edges: plain lines, axis-parallel lines drawn as bars for solid pens,
// and the trimming of an edge where it meets thinner neighbours.
#include "MivoraUtils.h"

#include "Canvas.h"
#include "Numbers.h"
#include "Printer.h"

#include <algorithm>

namespace mivora {

namespace {

// Draws a solid bar in the pen's colour with a width-1 solid pen.
void Bar(TCanvas* Canvas, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Canvas->Pen()->Color());
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetWidth(1);
  Canvas->Rectangle(ClampToInt32(Left), ClampToInt32(Top), ClampToInt32(Right), ClampToInt32(Bottom));
}

void Adjust(const TPenData& Pen, const TPenData& StartPen, const TPenData& EndPen, int32_t First,
            int32_t Last, int32_t& Start, int32_t& Length) {
  int64_t start = First;
  if (StartPen.Style != psClear && Pen.Width > StartPen.Width)
    start += (int64_t{Pen.Width} - StartPen.Width + 1) / 2;
  int64_t end = Last;
  if (EndPen.Style != psClear && Pen.Width > EndPen.Width)
    end -= (int64_t{Pen.Width} - EndPen.Width + 1) / 2;
  Start = ClampToInt32(start);
  Length = ClampToInt32(end - start);
}

} // namespace

void Line(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  TCanvas* canvas = Printer()->GetCanvas();
  canvas->MoveTo(X1, Y1);
  canvas->LineTo(X2, Y2);
}

void LineH(int32_t X, int32_t Y, int32_t Length) {
  TCanvas* canvas = Printer()->GetCanvas();
  if (canvas->Pen()->Style() != psSolid) {
    Line(X, Y, ClampToInt32(int64_t{X} + Length), Y);
    return;
  }
  const int64_t m = canvas->Pen()->Width() / 2 + 1;
  Bar(canvas, X - m, Y - m, int64_t{X} + Length + m, Y + m);
}

void LineV(int32_t X, int32_t Y, int32_t Length) {
  TCanvas* canvas = Printer()->GetCanvas();
  if (canvas->Pen()->Style() != psSolid) {
    Line(X, Y, X, ClampToInt32(int64_t{Y} + Length));
    return;
  }
  const int64_t m = canvas->Pen()->Width() / 2 + 1;
  Bar(canvas, X - m, Y - m, X + m, int64_t{Y} + Length + m);
}

void AdjustLineX(TPenData Pen, TPenData StartPen, TPenData EndPen, TRect Rect, int32_t& Start,
                 int32_t& Length) {
  Adjust(Pen, StartPen, EndPen, Rect.Left, Rect.Right, Start, Length);
}

void AdjustLineY(TPenData Pen, TPenData StartPen, TPenData EndPen, TRect Rect, int32_t& Start,
                 int32_t& Length) {
  Adjust(Pen, StartPen, EndPen, Rect.Top, Rect.Bottom, Start, Length);
}

} // namespace mivora
