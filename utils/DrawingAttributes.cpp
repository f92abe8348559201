// Applying the pen, brush and font records to a canvas just before drawing.
#include "MivoraUtils.h"

#include "Canvas.h"

namespace mivora {

void AssignPen(TCanvas* Canvas, TPenData Data) {
  TPen* pen = Canvas->Pen();
  pen->SetColor(Data.Color);
  pen->SetWidth(Data.Width);
  pen->SetStyle(Data.Style);
}

void AssignBrush(TCanvas* Canvas, TBrushData Data) {
  // A fill never comes with a stray frame from the last edge drawn.
  TPen* pen = Canvas->Pen();
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  pen->SetColor(clBlack);
  TBrush* brush = Canvas->Brush();
  brush->SetStyle(Data.Style);
  brush->SetColor(Data.Color);
}

void AssignFont(TCanvas* Canvas, TFontData Data, int32_t Height) {
  TFont* font = Canvas->Font();
  font->SetHeight(Height);
  font->SetPitch(Data.Pitch);
  font->SetStyle(Data.Style);
  font->SetCharset(Data.Charset);
  font->SetName(Data.Name.Str());
  font->SetColor(Data.Color);
}

} // namespace mivora
