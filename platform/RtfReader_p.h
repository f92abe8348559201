// Rich text as the rich-edit control keeps it (paragraphs of UTF-8 text with Pango
// attributes), and the RTF reader that produces it. Shared by the platform's
// .cpp files only.
#pragma once

#include <pango/pango.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

enum class TParagraphAlignment : uint8_t { Left, Right, Center, Justify };

struct TAttrListDeleter {
  void operator()(PangoAttrList* List) const noexcept { pango_attr_list_unref(List); }
};
using TAttrListPtr = std::unique_ptr<PangoAttrList, TAttrListDeleter>;

// One paragraph: its text without the break, and attributes over byte ranges of
// it. Font sizes (and other lengths) in the attributes are in points, in Pango
// units; they are turned into device pixels when the text is laid out.
struct TRichParagraph {
  std::string Text;
  TParagraphAlignment Alignment = TParagraphAlignment::Left;
  TAttrListPtr Attributes;
};

struct TRichDocument {
  std::vector<TRichParagraph> Paragraphs;
  int32_t TabTwips = 720; // distance between default tab stops
};

// The deepest nesting of RTF groups the reader accepts.
constexpr int MaxRtfDepth = 256;

// Reads an RTF document. Source names the text in error messages (a quoted file
// name, or empty for a string). Raises ERichEditError for malformed input, with
// the byte offset of the fault.
TRichDocument ReadRtf(std::string_view Rtf, const std::string& Source);

} // namespace mivora
