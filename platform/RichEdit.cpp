#include "RichEdit.h"

#include "DeviceContext_p.h"
#include "FileContents_p.h"
#include "Gdi.h"
#include "RtfReader_p.h"
#include "TextEncoding.h"
#include "TextLayout_p.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace mivora {

namespace {

// The largest rich-text file LoadFromFile reads.
constexpr size_t kMaxRichTextFile = size_t{64} * 1024 * 1024;
// Font sizes are kept within what Pango represents well (device pixels).
constexpr double kMaxFontPixels = 100000.0;
// A line fits when it ends at most this far below the rectangle: line heights are
// sums of fractional metrics, and a rounding error must not push a line away.
constexpr double kFitTolerance = 1e-3;

// ---------------------------------------------------------------------------
// Pango

// The context every rich-edit layout is made in: 72 units per inch so that user
// space is device pixels, hinting off so that lines break alike on every target.
// The same settings as the device's own text, so rich and plain text measure alike.
PangoContext* RichTextContext() {
  static PangoContext* context = [] {
    PangoFontMap* fontMap = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fontMap), 72.0);
    PangoContext* made = pango_font_map_create_context(fontMap);
    g_object_unref(fontMap); // the context keeps it
    SetUpTextContext(made);
    return made;
  }();
  return context;
}

struct TObjectUnref {
  void operator()(gpointer Object) const noexcept { g_object_unref(Object); }
};
using TLayoutPtr = std::unique_ptr<PangoLayout, TObjectUnref>;

int ScaledUnits(double Value, double Scale, double Max) {
  if (!std::isfinite(Value * Scale)) return 0;
  return static_cast<int>(std::nearbyint(std::clamp(Value * Scale, -Max, Max)));
}

// Scales one attribute's lengths (points in Pango units) by Scale (device pixels per point).
void ScaleAttribute(PangoAttribute* Attribute, double Scale) {
  constexpr double maxSize = kMaxFontPixels * PANGO_SCALE;
  switch (Attribute->klass->type) {
  case PANGO_ATTR_SIZE:
  case PANGO_ATTR_ABSOLUTE_SIZE: {
    auto* size = reinterpret_cast<PangoAttrSize*>(Attribute);
    size->size = std::max(1, ScaledUnits(size->size, Scale, maxSize));
    break;
  }
  case PANGO_ATTR_FONT_DESC: {
    PangoFontDescription* desc = reinterpret_cast<PangoAttrFontDesc*>(Attribute)->desc;
    if ((pango_font_description_get_set_fields(desc) & PANGO_FONT_MASK_SIZE) != 0) {
      const int size = std::max(1, ScaledUnits(pango_font_description_get_size(desc), Scale, maxSize));
      if (pango_font_description_get_size_is_absolute(desc)) {
        pango_font_description_set_absolute_size(desc, size);
      } else {
        pango_font_description_set_size(desc, size);
      }
    }
    break;
  }
  case PANGO_ATTR_RISE:
  case PANGO_ATTR_LETTER_SPACING:
  case PANGO_ATTR_ABSOLUTE_LINE_HEIGHT: {
    auto* value = reinterpret_cast<PangoAttrInt*>(Attribute);
    value->value = ScaledUnits(value->value, Scale, maxSize);
    break;
  }
  default:
    break;
  }
}

// The attributes of List that touch the bytes [Start, End), moved to start at 0,
// their lengths scaled by Scale. An attribute reaching End reaches the end of the
// new text, so an empty slice keeps the face and size at its position.
PangoAttrList* SliceAttributes(PangoAttrList* List, guint Start, guint End, double Scale) {
  PangoAttrList* out = pango_attr_list_new();
  if (List == nullptr) return out;
  GSList* attributes = pango_attr_list_get_attributes(List);
  for (GSList* item = attributes; item != nullptr; item = item->next) {
    auto* attribute = static_cast<PangoAttribute*>(item->data);
    const bool overlaps = attribute->start_index < End && attribute->end_index > Start;
    const bool covers = attribute->start_index <= Start && attribute->end_index > Start;
    if (!(overlaps || (Start == End && covers))) {
      pango_attribute_destroy(attribute);
      continue;
    }
    attribute->start_index = std::max(attribute->start_index, Start) - Start;
    attribute->end_index =
        attribute->end_index >= End ? PANGO_ATTR_INDEX_TO_TEXT_END : attribute->end_index - Start;
    if (Scale != 1.0) ScaleAttribute(attribute, Scale);
    pango_attr_list_insert(out, attribute);
  }
  g_slist_free(attributes);
  return out;
}

// ---------------------------------------------------------------------------
// Reading the sources

// Splits UTF-8 text into paragraphs at "\r\n", "\n" and "\r"; a break at the
// very end starts no further paragraph. Control characters other than tabs are
// dropped.
TRichDocument ReadPlainText(std::string_view Text) {
  const std::string utf8 = ToUtf8(Text);
  TRichDocument document;
  std::string current;
  bool pending = false; // a paragraph has begun
  auto finish = [&] {
    TRichParagraph paragraph;
    paragraph.Text = std::move(current);
    paragraph.Attributes.reset(pango_attr_list_new());
    document.Paragraphs.push_back(std::move(paragraph));
    current.clear();
    pending = false;
  };
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      finish();
      continue;
    }
    pending = true;
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') continue;
    if (c == 0x7F) continue;
    current.push_back(c);
  }
  if (pending) finish();
  return document;
}

std::string SourceSuffix(const std::string& Source) {
  return Source.empty() ? std::string() : " in " + Source;
}

// Parses Pango markup; '\n' (or "\r\n") ends a paragraph.
TRichDocument ReadMarkup(std::string_view Markup, const std::string& Source) {
  const std::string utf8 = ToUtf8(Markup);
  if (utf8.size() > static_cast<size_t>(INT_MAX)) {
    throw ERichEditError("Malformed markup" + SourceSuffix(Source) + ": the text is too long");
  }
  PangoAttrList* attributes = nullptr;
  char* text = nullptr;
  GError* error = nullptr;
  if (!pango_parse_markup(utf8.data(), static_cast<int>(utf8.size()), 0, &attributes, &text,
                          nullptr, &error)) {
    std::string message = "Malformed markup" + SourceSuffix(Source);
    if (error != nullptr) {
      message += std::string(": ") + error->message;
      g_error_free(error);
    }
    throw ERichEditError(message);
  }
  const TAttrListPtr ownedAttributes(attributes);
  const std::string plain(text);
  g_free(text);

  TRichDocument document;
  size_t start = 0;
  while (start < plain.size()) {
    size_t end = plain.find('\n', start);
    const size_t next = end == std::string::npos ? plain.size() : end + 1;
    if (end == std::string::npos) end = plain.size();
    const size_t textEnd = end > start && plain[end - 1] == '\r' ? end - 1 : end;
    TRichParagraph paragraph;
    paragraph.Text = plain.substr(start, textEnd - start);
    paragraph.Attributes.reset(SliceAttributes(ownedAttributes.get(), static_cast<guint>(start),
                                               static_cast<guint>(textEnd), 1.0));
    document.Paragraphs.push_back(std::move(paragraph));
    start = next;
  }
  return document;
}

// Reads a whole regular file of at most kMaxRichTextFile bytes.
std::string ReadRichTextFile(const std::string& Path) {
  TFileContents file = ReadFileContents(Path, kMaxRichTextFile);
  if (!file.Error.empty()) {
    throw ERichEditError("Cannot read rich text file \"" + Path + "\": " + file.Error);
  }
  return std::move(file.Data);
}

bool EndsWithNoCase(const std::string& S, std::string_view Suffix) {
  if (S.size() < Suffix.size()) return false;
  for (size_t i = 0; i < Suffix.size(); ++i) {
    const char c = S[S.size() - Suffix.size() + i];
    if (g_ascii_tolower(c) != Suffix[i]) return false;
  }
  return true;
}

} // namespace

// ---------------------------------------------------------------------------
// The control

struct TRichEdit::Impl {
  TRichDocument Document;
  bool Markup = false;               // the content came from markup
  std::string Text;                  // paragraphs joined by '\n'
  std::vector<int64_t> Starts;       // character index of each paragraph
  std::vector<int64_t> Lengths;      // characters of each paragraph, without its break
  int64_t Length = 0;

  void Assign(TRichDocument NewDocument) {
    std::string text;
    std::vector<int64_t> starts;
    std::vector<int64_t> lengths;
    int64_t position = 0;
    for (size_t i = 0; i < NewDocument.Paragraphs.size(); ++i) {
      const std::string& paragraph = NewDocument.Paragraphs[i].Text;
      if (i > 0) {
        text.push_back('\n');
        ++position;
      }
      text += paragraph;
      const int64_t length =
          g_utf8_strlen(paragraph.data(), static_cast<gssize>(paragraph.size()));
      starts.push_back(position);
      lengths.push_back(length);
      position += length;
    }
    Document = std::move(NewDocument);
    Text = std::move(text);
    Starts = std::move(starts);
    Lengths = std::move(lengths);
    Length = position;
  }

  intptr_t FormatRange(const TRichEdit& Control, const FORMATRANGE& Request, bool Render) const;
};

TRichEdit::TRichEdit(TComponent* AOwner) : TWinControl(AOwner), impl_(std::make_unique<Impl>()) {}

TRichEdit::~TRichEdit() = default;

const std::string& TRichEdit::Text() const noexcept { return impl_->Text; }

int32_t TRichEdit::TextLength() const noexcept {
  return static_cast<int32_t>(std::min<int64_t>(impl_->Length, INT32_MAX));
}

void TRichEdit::SetText(std::string Value) {
  impl_->Assign(ReadPlainText(Value));
  impl_->Markup = false;
}

void TRichEdit::SetMarkup(const std::string& Markup) {
  impl_->Assign(ReadMarkup(Markup, {}));
  impl_->Markup = true;
}

void TRichEdit::SetRtf(const std::string& Rtf) {
  impl_->Assign(ReadRtf(Rtf, {}));
  impl_->Markup = false;
}

void TRichEdit::LoadFromFile(const std::string& Path) {
  const std::string data = ReadRichTextFile(Path);
  const std::string source = "\"" + Path + "\"";
  bool markup = false;
  if (data.starts_with("{\\rtf") || EndsWithNoCase(Path, ".rtf")) {
    impl_->Assign(ReadRtf(data, source));
  } else if (EndsWithNoCase(Path, ".pango") || EndsWithNoCase(Path, ".markup")) {
    impl_->Assign(ReadMarkup(data, source));
    markup = true;
  } else {
    impl_->Assign(ReadPlainText(data));
  }
  impl_->Markup = markup;
}

intptr_t TRichEdit::Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  if (Msg != EM_FORMATRANGE) return TWinControl::Perform(Msg, WParam, LParam);
  // Formatting is made afresh for every request, so there is nothing to release.
  if (LParam == 0) return 0;
  const auto* request = reinterpret_cast<const FORMATRANGE*>(LParam);
  return impl_->FormatRange(*this, *request, WParam != 0);
}

// ---------------------------------------------------------------------------
// Formatting

namespace {

double TwipsToPixels(int32_t Twips, int32_t Dpi) {
  return std::nearbyint(static_cast<double>(int64_t{Twips} * Dpi) / 1440.0);
}

// Restores the Cairo state saved at construction, also when drawing throws.
class TCairoSave {
public:
  explicit TCairoSave(cairo_t* Cairo) : cairo_(Cairo) {
    if (cairo_ != nullptr) cairo_save(cairo_);
  }
  ~TCairoSave() {
    if (cairo_ != nullptr) cairo_restore(cairo_);
  }
  TCairoSave(const TCairoSave&) = delete;
  TCairoSave& operator=(const TCairoSave&) = delete;

private:
  cairo_t* cairo_;
};

struct TFontDescriptionFree {
  void operator()(PangoFontDescription* Description) const noexcept {
    pango_font_description_free(Description);
  }
};

struct TTabArrayFree {
  void operator()(PangoTabArray* Tabs) const noexcept { pango_tab_array_free(Tabs); }
};

// A cell's alignment (0 left, 1 right, 2 centre) as a paragraph's; others read as left.
TParagraphAlignment MarkupParagraphAlignment(uint8_t Alignment) {
  switch (Alignment) {
  case 1:
    return TParagraphAlignment::Right;
  case 2:
    return TParagraphAlignment::Center;
  default:
    return TParagraphAlignment::Left;
  }
}

} // namespace

intptr_t TRichEdit::Impl::FormatRange(const TRichEdit& Control, const FORMATRANGE& Request,
                                      bool Render) const {
  TDeviceContext* dc = Request.hdc;
  if (dc == nullptr) throw ERichEditError("Formatting request without a device context");
  if (Render && dc->Idle) throw ERichEditError("Cannot draw rich text: no print job is open");
  if (Render) {
    dc->Record("FormatRange", {Request.rc.Left, Request.rc.Top, Request.rc.Right,
                               Request.rc.Bottom, Request.chrg.cpMin, Request.chrg.cpMax});
  }
  if (dc->DpiX <= 0 || dc->DpiY <= 0) {
    throw ERichEditError("Formatting request for a device with resolution " +
                         std::to_string(dc->DpiX) + " x " + std::to_string(dc->DpiY) +
                         " dots per inch");
  }

  const int64_t cpMin = std::clamp<int64_t>(Request.chrg.cpMin, 0, Length);
  const int64_t cpMax =
      Request.chrg.cpMax < 0 ? Length : std::clamp<int64_t>(Request.chrg.cpMax, cpMin, Length);
  const double left = TwipsToPixels(Request.rc.Left, dc->DpiX);
  const double top = TwipsToPixels(Request.rc.Top, dc->DpiY);
  const double right = TwipsToPixels(Request.rc.Right, dc->DpiX);
  const double bottom = TwipsToPixels(Request.rc.Bottom, dc->DpiY);
  if (cpMin >= cpMax || right <= left || bottom <= top) return static_cast<intptr_t>(cpMin);

  // Device pixels per point: sizes in the text are points.
  const double scale = static_cast<double>(dc->DpiY) / 72.0;
  const std::unique_ptr<PangoFontDescription, TFontDescriptionFree> font(
      pango_font_description_new());
  // Markup starts from the font selected into the device (a cell's font); the
  // other sources from the control's face and size.
  const TFontObject* deviceFont = Markup ? dc->Font : nullptr;
  if (deviceFont != nullptr) {
    const LOGFONTA& record = deviceFont->LogFont;
    pango_font_description_set_family(font.get(), FaceName(record).c_str());
    pango_font_description_set_weight(font.get(),
                                      record.lfWeight >= 600 ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(font.get(),
                                     record.lfItalic != 0 ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // The size as the device's own text has it: the same height semantics.
    pango_font_description_set_size(
        font.get(), std::max(1, ScaledUnits(TextFontOf(*dc).EmSize(), PANGO_SCALE,
                                            kMaxFontPixels * PANGO_SCALE)));
  } else {
    pango_font_description_set_family(font.get(), Control.FontName.c_str());
    pango_font_description_set_size(
        font.get(), std::max(1, ScaledUnits(Control.FontSize * PANGO_SCALE, scale,
                                            kMaxFontPixels * PANGO_SCALE)));
  }
  const bool underline = deviceFont != nullptr && deviceFont->LogFont.lfUnderline != 0;
  const bool strikeOut = deviceFont != nullptr && deviceFont->LogFont.lfStrikeOut != 0;
  const TColor ink = deviceFont != nullptr ? dc->TextColor : clBlack;
  const double tabPixels = static_cast<double>(Document.TabTwips) * dc->DpiX / 1440.0;
  const std::unique_ptr<PangoTabArray, TTabArrayFree> tabs(pango_tab_array_new(1, FALSE));
  pango_tab_array_set_tab(tabs.get(), 0, PANGO_TAB_LEFT,
                          std::max(1, ScaledUnits(tabPixels, PANGO_SCALE, INT_MAX / 2)));
  const int width = ScaledUnits(right - left, PANGO_SCALE, INT_MAX / 2);

  cairo_t* cairo = Render ? dc->Cairo : nullptr;
  const TCairoSave saved(cairo);
  if (cairo != nullptr) {
    cairo_rectangle(cairo, left, top, right - left, bottom - top);
    cairo_clip(cairo);
  }

  double y = top;
  int64_t next = cpMin; // the first character not drawn yet
  for (size_t p = 0; p < Document.Paragraphs.size(); ++p) {
    const int64_t start = Starts[p];
    const int64_t end = start + Lengths[p]; // where its break (or the text) ends
    if (end < cpMin) continue;
    if (start >= cpMax) break;
    const int64_t from = std::max(cpMin, start) - start; // characters within the paragraph
    const int64_t to = std::min(cpMax, end) - start;
    if (from == to && Lengths[p] > 0) { // only the paragraph's break is in the range
      next = end + 1;
      continue;
    }
    const TRichParagraph& paragraph = Document.Paragraphs[p];
    const char* text = paragraph.Text.c_str();
    const char* first = g_utf8_offset_to_pointer(text, static_cast<glong>(from));
    const char* last = g_utf8_offset_to_pointer(text, static_cast<glong>(to));
    const auto firstByte = static_cast<guint>(first - text);
    const auto lastByte = static_cast<guint>(last - text);

    const TLayoutPtr layout(pango_layout_new(RichTextContext()));
    pango_layout_set_text(layout.get(), first, static_cast<int>(lastByte - firstByte));
    PangoAttrList* attributes =
        SliceAttributes(paragraph.Attributes.get(), firstByte, lastByte, scale);
    // The device font's lines go first, so that the text's own attributes override them.
    if (strikeOut) pango_attr_list_insert_before(attributes, pango_attr_strikethrough_new(TRUE));
    if (underline) pango_attr_list_insert_before(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout.get(), attributes);
    pango_attr_list_unref(attributes);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_tabs(layout.get(), tabs.get());
    pango_layout_set_width(layout.get(), width);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    switch (Markup ? MarkupParagraphAlignment(Control.MarkupAlignment) : paragraph.Alignment) {
    case TParagraphAlignment::Left:
      pango_layout_set_alignment(layout.get(), PANGO_ALIGN_LEFT);
      break;
    case TParagraphAlignment::Right:
      pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
      break;
    case TParagraphAlignment::Center:
      pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
      break;
    case TParagraphAlignment::Justify:
      pango_layout_set_alignment(layout.get(), PANGO_ALIGN_LEFT);
      pango_layout_set_justify(layout.get(), TRUE);
      break;
    }

    PangoLayoutIter* iter = pango_layout_get_iter(layout.get());
    bool full = false;
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
      PangoRectangle logical;
      pango_layout_iter_get_line_extents(iter, nullptr, &logical);
      const double lineBottom =
          y + static_cast<double>(logical.y + logical.height) / PANGO_SCALE;
      if (lineBottom > bottom + kFitTolerance) {
        // Whole lines only: this one and everything after it wait for the next request.
        next = start + from + g_utf8_pointer_to_offset(first, first + line->start_index);
        full = true;
        break;
      }
      if (cairo != nullptr) {
        PangoRectangle own;
        pango_layout_line_get_extents(line, nullptr, &own);
        const double x = left + static_cast<double>(logical.x - own.x) / PANGO_SCALE;
        const double baseline =
            y + static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
        SetSourceColor(cairo, ink);
        cairo_move_to(cairo, x, baseline);
        pango_cairo_show_layout_line(cairo, line);
      }
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    if (full) return static_cast<intptr_t>(next);

    PangoRectangle extents;
    pango_layout_get_extents(layout.get(), nullptr, &extents);
    y += static_cast<double>(extents.height) / PANGO_SCALE;
    next = to == Lengths[p] ? end + 1 : start + to;
  }
  return static_cast<intptr_t>(std::min(next, cpMax));
}

} // namespace mivora
