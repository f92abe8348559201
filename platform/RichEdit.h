// The rich-edit control: formatted text that draws itself onto a device in answer
// to a formatting request (EM_FORMATRANGE).
//
// The content is plain text, Pango markup or RTF (a subset: paragraphs and their
// alignment, bold, italic, underline, strike-out, font face and size, colours,
// tabs, \'hh and \uN escapes). Whatever its source, the control keeps it as
// paragraphs of UTF-8 text; Text() is that text with one '\n' between paragraphs,
// and the character positions of a formatting request count its code points.
#pragma once

#include "Component.h"
#include "Controls.h"
#include "Types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mivora {

class TRichEdit : public TWinControl {
public:
  explicit TRichEdit(TComponent* AOwner);
  ~TRichEdit() override;

  // The plain text of the control: UTF-8, paragraphs separated by one '\n'.
  const std::string& Text() const noexcept;
  // Number of characters (code points, one per paragraph break) in Text().
  int32_t TextLength() const noexcept;

  // Replaces the content by plain text. Bytes that are not UTF-8 read as
  // Windows-1252; "\r\n", "\n" and "\r" end paragraphs.
  void SetText(std::string Value);
  // Replaces the content by Pango markup; '\n' ends a paragraph. Font sizes in
  // the markup are points. Markup text is drawn in the font selected into the
  // device context (face, size, bold, italic, underline, strike-out and colour:
  // a cell's font) and aligned by MarkupAlignment, wherever the markup's own
  // attributes say nothing. Raises ERichEditError (content unchanged) when malformed.
  void SetMarkup(const std::string& Markup);
  // Replaces the content by an RTF document, which must start with "{\rtf".
  // Raises ERichEditError naming the fault and its byte offset (content unchanged).
  void SetRtf(const std::string& Rtf);
  // Loads a file: RTF when it starts with "{\rtf", markup when its name ends in
  // ".pango" or ".markup" (any letter case), plain text otherwise. Raises
  // ERichEditError naming the file (content unchanged).
  void LoadFromFile(const std::string& Path);

  // Face and size in points of text whose source names none (plain text, RTF
  // without a font table).
  std::string FontName = "Arial";
  double FontSize = 10.0;

  // How markup paragraphs are aligned: 0 left, 1 right, 2 centre (as a cell's
  // Alignment). A cell that shows the control sets it from its own alignment.
  uint8_t MarkupAlignment = 0;

  // The twips rectangle of the last formatting request made by ShowRichEdit.
  TRect PageRect;

  // EM_FORMATRANGE: wParam 1 with a FORMATRANGE* draws the whole lines of the
  // range chrg (cpMax -1: to the end) that fit into rc (twips) onto hdc and
  // returns the first character not drawn; wParam 0 with a FORMATRANGE* measures
  // the same without drawing; wParam 0 with lParam 0 releases cached formatting
  // (formatting is made afresh for each request, so nothing is kept). Other
  // messages answer 0.
  intptr_t Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override;

  struct Impl;

private:
  std::unique_ptr<Impl> impl_;
};

} // namespace mivora
