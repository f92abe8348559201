#include "TextLayout_p.h"

#include "TextEncoding.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace mivora {

namespace {

// Em sizes are kept within what Pango can represent (sizes are whole 1/1024 units
// held in an int) and what a page can sensibly show.
constexpr double kMinEmSize = 1.0 / 16.0;
constexpr double kMaxEmSize = 100000.0;
// Faces are laid out at this em size in pixels and scaled to each font's size.
// Large enough that Pango's 1/1024 units are fine-grained after scaling, small
// enough that a line of some ten thousand characters stays within Pango's range.
constexpr int kReferenceEm = 256;
// A line fits when it is at most this much wider than the room it has: widths are
// sums of fractional advances, and a rounding error must not push a word away.
constexpr double kFitTolerance = 1e-3;
// Tab stops every 8 average character widths.
constexpr double kTabStopChars = 8.0;
// Text is laid out in pieces of at most this many bytes to estimate where its
// lines end: small enough that a piece's width stays within Pango's range.
constexpr size_t kEstimatePieceBytes = 1024;
// Pango keeps positions in ints of 1/1024 pixel: a line laid out as one reaches
// its limit at 8192 ems of the reference size. Lines wider than this many ems
// are measured and drawn in pieces, one after the other.
constexpr double kMaxLineEms = 6144.0;
// How far, in ems, glyphs may stand out of the piece of a long line they belong
// to: pieces this far outside the clip are not drawn.
constexpr double kPieceInkOverhangEms = 4.0;
// How far, in ems of the font, a width seen from the estimated pen positions is
// trusted: farther than kerning or shaping across a line's ends ever moves it.
constexpr double kEstimateMarginEms = 1.0;
// Texts up to this long keep the layouts of the lines they measure, to draw them:
// a cell's text is measured and then drawn. Longer texts have more lines than a
// cell shows, and measure them without keeping layouts (which is faster).
constexpr size_t kKeptLayoutsTextBytes = 4096;
// Laid-out lines kept per face; when it is full the line used longest ago goes.
// Measured on label sheets (three lines a label, one of them new on every
// label): 1,024 keeps the lines that come back every few pages, 4,096 also those
// that come back every fifty pages, with a third fewer lines laid out; 8,192
// lays out no fewer. A line kept costs about 1.4 KB.
constexpr size_t kMaxCachedLayouts = 4096;
// Faces kept while no font uses them.
constexpr size_t kMaxIdleFaces = 64;

// The one font map and context of the process, released when the process ends
// (layouts still alive then keep the context through their own reference).
struct TSharedText {
  PangoFontMap* FontMap = nullptr;
  PangoContext* Context = nullptr;

  TSharedText() {
    FontMap = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(FontMap), 72.0);
    Context = pango_font_map_create_context(FontMap);
    SetUpTextContext(Context);
  }
  ~TSharedText() {
    g_object_unref(Context);
    g_object_unref(FontMap);
  }
  TSharedText(const TSharedText&) = delete;
  TSharedText& operator=(const TSharedText&) = delete;
};

} // namespace

void SetUpTextContext(PangoContext* Context) {
  pango_cairo_context_set_resolution(Context, 72.0);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(Context, options);
  cairo_font_options_destroy(options);
  // Fractional glyph positions: advances do not depend on any pixel grid.
  pango_context_set_round_glyph_positions(Context, FALSE);
}

namespace {

TSharedText& Shared() {
  static TSharedText shared;
  return shared;
}

} // namespace

std::string FaceName(const LOGFONTA& LogFont) {
  const size_t length = strnlen(LogFont.lfFaceName, sizeof(LogFont.lfFaceName));
  std::string name = ToUtf8(std::string_view(LogFont.lfFaceName, length));
  return name.empty() ? std::string("sans-serif") : name;
}

namespace {

void FreeTextFont(void* Cache) { delete static_cast<TTextFont*>(Cache); }

// Positions of the words of a paragraph: runs of characters other than a space.
struct TWord {
  size_t Begin;
  size_t End;
};

std::vector<TWord> Words(std::string_view Paragraph) {
  std::vector<TWord> words;
  size_t i = 0;
  while (i < Paragraph.size()) {
    while (i < Paragraph.size() && Paragraph[i] == ' ') ++i;
    if (i == Paragraph.size()) break;
    const size_t begin = i;
    while (i < Paragraph.size() && Paragraph[i] != ' ') ++i;
    words.push_back({begin, i});
  }
  return words;
}

bool Fits(double Width, double MaxWidth) { return Width <= MaxWidth + kFitTolerance; }

// Whether Utf8 is printable ASCII and spaces only: text whose width laid out
// alone differs from its estimate by kerning at its ends at most, never by a
// change of script, direction or font that its neighbours could cause.
bool PlainAscii(std::string_view Utf8) {
  return std::all_of(Utf8.begin(), Utf8.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

// Lays out those of the given lines (indices into Lines, or every line when
// Indices is null) whose widths are estimated and that may be the widest of them:
// whose estimate is within Margin of the widest width known. Afterwards the widest
// of them has its laid-out width and every estimated one is narrower. Returns
// that widest width (0 for no lines).
double ResolveWidest(const TTextFont& Font, std::vector<TTextLine>& Lines, const std::vector<size_t>* Indices,
                     double Margin, bool ExpandTabs, bool KeepLayouts) {
  const size_t count = Indices != nullptr ? Indices->size() : Lines.size();
  auto at = [&](size_t i) -> TTextLine& { return Lines[Indices != nullptr ? (*Indices)[i] : i]; };
  double widest = 0;
  std::vector<std::pair<double, size_t>> estimated;  // estimate and position in the set
  for (size_t i = 0; i < count; ++i) {
    const TTextLine& line = at(i);
    if (line.Estimated) {
      estimated.emplace_back(line.Width, i);
    } else {
      widest = std::max(widest, line.Width);
    }
  }
  // Widest estimate first: once an estimate falls short of the widest known by
  // more than Margin, so do all after it.
  std::sort(estimated.begin(), estimated.end(), [](const auto& A, const auto& B) { return A.first > B.first; });
  for (const auto& [estimate, i] : estimated) {
    if (estimate + Margin < widest) break;
    TTextLine& line = at(i);
    line.Width = KeepLayouts ? Font.LineWidth(line.Text, ExpandTabs) : Font.MeasuredWidth(line.Text, ExpandTabs);
    line.Estimated = false;
    widest = std::max(widest, line.Width);
  }
  return widest;
}

// The end of the piece of Utf8 that starts at Begin: at most kEstimatePieceBytes
// of one paragraph, ending before a space where there is one, else before a
// character's first byte; Begin itself at a line break.
size_t PieceEnd(std::string_view Utf8, size_t Begin) {
  size_t end = Begin;
  while (end < Utf8.size() && Utf8[end] != '\r' && Utf8[end] != '\n' && end - Begin < kEstimatePieceBytes) {
    ++end;
  }
  if (end < Utf8.size() && Utf8[end] != '\r' && Utf8[end] != '\n') {
    const size_t space = Utf8.rfind(' ', end);
    if (space != std::string_view::npos && space > Begin) {
      end = space;
    } else {
      while (end > Begin + 1 && (static_cast<unsigned char>(Utf8[end]) & 0xC0) == 0x80) --end;
    }
  }
  return end;
}

// The lines of one text, and the range of room widths that break it into the
// same lines: every line of two words or more must still fit, and no line a word
// longer (the narrowest of those measured, or a bound below it) may.
struct TFormatted {
  std::vector<TTextLine> Lines;
  double WidestJoined = 0;  // the widest line of more than one word
  double Rejected = std::numeric_limits<double>::infinity();
  // Lines of more than one word, by index; only their widths bound WidestJoined.
  std::vector<size_t> Joined;

  bool SameLinesIn(double MaxWidth) const { return Fits(WidestJoined, MaxWidth) && !Fits(Rejected, MaxWidth); }
};

// Breaks one paragraph (no line breaks in it) at spaces so that each line fits
// MaxWidth where it can. The first line keeps the paragraph's leading spaces.
//
// A line's width is what laying out that line alone gives; it grows with every
// word added. Each line takes its first word whether or not it fits, then the
// most words that fit. Laying out candidate lines is what costs, so the search
// starts where the estimated pen positions (Pen, in pixels at each byte of the
// paragraph) say the line ends: when the estimate is right, as it nearly
// always is, that line and the one a word longer are all that is laid out; when
// it is not (tab stops, shaping across a break), a galloping search from there
// finds the same line. Each line costs what its own length costs, so a paragraph
// costs what its length does, however narrow the room.
//
// A line of plain ASCII, at most a piece long, that the estimate puts well
// within the room (by more than kerning across its ends could take away) fits
// without being laid out; it keeps its estimated width, marked as such, and is
// laid out only if it may be the widest line (ResolveWidest) or is drawn. In a long text in a narrow cell
// that is most lines: only those that end near the room's edge are laid out.
// Unless KeepLayouts, lines are measured without keeping their layouts for
// drawing: in a long text few of the lines measured are drawn.
void BreakParagraph(const TTextFont& Font, std::string_view Paragraph, const double* Pen,
                    const TFormatOptions& Options, bool KeepLayouts, TFormatted& Result) {
  const std::vector<TWord> words = Words(Paragraph);
  if (words.empty()) {
    Result.Lines.push_back({std::string(), 0.0});
    return;
  }
  // Where no tab stop can mislead the estimate, a line a word longer than the
  // estimated one that the estimate puts well beyond the room (by more than any
  // kerning or shaping across its ends could make up) is not laid out to learn so.
  const bool tabs = Options.ExpandTabs && Paragraph.find('\t') != std::string_view::npos;
  const double margin = kEstimateMarginEms * Font.EmSize();
  auto measure = [&](std::string_view Line) {
    return KeepLayouts ? Font.LineWidth(Line, Options.ExpandTabs) : Font.MeasuredWidth(Line, Options.ExpandTabs);
  };
  size_t first = 0;  // the first word of the current line
  while (first < words.size()) {
    const size_t start = first == 0 ? 0 : words[first].Begin;
    // The last word of the line last found to fit, and its width.
    size_t fitted = words.size();
    double fittedWidth = 0;
    auto fits = [&](size_t last) {
      const double width = measure(Paragraph.substr(start, words[last].End - start));
      if (Fits(width, Options.MaxWidth)) {
        fitted = last;
        fittedWidth = width;
        return true;
      }
      Result.Rejected = std::min(Result.Rejected, width);
      return false;
    };
    size_t guess = first;  // the last word the estimate puts on the line
    while (guess + 1 < words.size() && Fits(Pen[words[guess + 1].End] - Pen[start], Options.MaxWidth)) {
      ++guess;
    }
    // good: a last word known to be taken; bad: one known not to fit (or the end).
    size_t good = first;
    size_t bad = words.size();
    // At most one piece long: the estimate of a longer line adds up the kerning
    // it misses at every piece's end.
    const bool surely = guess > first && !tabs && words[guess].End - start <= kEstimatePieceBytes &&
                        PlainAscii(Paragraph.substr(start, words[guess].End - start)) &&
                        Pen[words[guess].End] - Pen[start] + margin <= Options.MaxWidth;
    if (guess == first || surely || fits(guess)) {
      good = guess;
      if (!tabs && good + 1 < bad) {
        const double longer = Pen[words[good + 1].End] - Pen[start];
        if (longer > Options.MaxWidth + kFitTolerance + margin) {
          bad = good + 1;
          Result.Rejected = std::min(Result.Rejected, longer - margin);
        }
      }
      for (size_t step = 1; good + 1 < bad; step *= 2) {
        const size_t probe = std::min(good + step, bad - 1);
        if (!fits(probe)) {
          bad = probe;
          break;
        }
        good = probe;
      }
    } else {
      bad = guess;
      for (size_t step = 1; good + 1 < bad; step *= 2) {
        const size_t probe = bad - std::min(step, bad - good - 1);
        if (fits(probe)) {
          good = probe;
          break;
        }
        bad = probe;
      }
    }
    while (good + 1 < bad) {
      const size_t middle = good + (bad - good) / 2;
      if (fits(middle)) {
        good = middle;
      } else {
        bad = middle;
      }
    }
    std::string text(Paragraph.substr(start, words[good].End - start));
    // The line taken was laid out unless the estimate alone took it.
    const bool estimated = surely && good == guess;
    double lineWidth = fittedWidth;
    if (estimated) {
      lineWidth = Pen[words[good].End] - Pen[start];
    } else if (fitted != good) {
      lineWidth = measure(text);
    }
    if (good > first) {
      Result.Joined.push_back(Result.Lines.size());
      if (!estimated) Result.WidestJoined = std::max(Result.WidestJoined, lineWidth);
    }
    Result.Lines.push_back({std::move(text), lineWidth, estimated});
    first = good + 1;
  }
}

// Text as the engine lays it out: UTF-8, no NUL characters (Pango cannot take
// them), mnemonic prefixes removed unless NoPrefix, tabs as spaces unless kept.
std::string PrepareText(std::string_view Text, bool ExpandTabs, bool NoPrefix) {
  const std::string utf8 = ToUtf8(Text);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\0') continue;
    if (c == '&' && !NoPrefix) {
      // "&&" prints one ampersand; a lone one marks the next character and vanishes.
      if (i + 1 < utf8.size() && utf8[i + 1] == '&') {
        out.push_back('&');
        ++i;
      }
      continue;
    }
    out.push_back(c == '\t' && !ExpandTabs ? ' ' : c);
  }
  return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Faces

// One face of a family (weight, slant, underline, strike-out), laid out at the
// reference size. Shared by every font of that face, whatever its size.
class TTextFace {
public:
  explicit TTextFace(const LOGFONTA& LogFont);
  ~TTextFace();
  TTextFace(const TTextFace&) = delete;
  TTextFace& operator=(const TTextFace&) = delete;

  // Ascent and descent per pixel of em size.
  double Ascent() const { return ascent_; }
  double Descent() const { return descent_; }
  // The line laid out at the reference size; owned by the face, valid until the next call.
  PangoLayout* LineLayout(std::string_view Utf8, bool ExpandTabs);
  // Estimated pen positions at the reference size before each byte of Utf8 and at
  // its end; see TTextFont::PenPositions. Valid until the next call.
  const std::vector<double>& PenPositions(const std::string& Utf8, bool ExpandTabs);

  // A new layout of one line at the reference size; the caller owns it.
  PangoLayout* NewLayout(std::string_view Utf8, bool ExpandTabs) const;
  // For a line too wide to be laid out as one, its pieces and their widths at the
  // reference size; no widths for any other line. The last line asked is kept:
  // shrinking asks for one line at size after size. Valid until the next call.
  const TLongLine& LongLine(std::string_view Utf8, bool ExpandTabs);
  // The width of one line at the reference size, from shaping it as a layout of
  // it does but without the layout: no line breaking, nothing kept. The same
  // value as the layout's width for a line without tabs (the layout places tabs
  // itself) that is not laid out in pieces.
  double ShapedWidth(std::string_view Utf8) const;

private:
  // Adds the advance of each cluster of Utf8, shaped as one run of text at the
  // reference size, to Advances at the cluster's first byte. Cheaper than a
  // layout: no line breaking, no layout object; tabs advance as Pango shapes them.
  void ShapePiece(std::string_view Utf8, std::vector<double>& Advances) const;

  PangoFontDescription* description_ = nullptr;
  PangoAttrList* attributes_ = nullptr;
  PangoTabArray* tabs_ = nullptr;
  double ascent_ = 0.905;
  double descent_ = 0.212;
  double averageCharWidth_ = 0.456;
  // Laid-out lines, the one used last first. A cell's text is laid out to be
  // measured and again to be drawn, and labels repeat some lines on every one
  // (a sender, a city) among lines seen once (a name): dropping the line used
  // longest ago keeps the lines that come back. Keys are 't' or 's' for
  // ExpandTabs, then the text; the index refers to the keys held in the list.
  struct TCachedLayout {
    std::string Key;
    PangoLayout* Layout = nullptr;
  };
  std::list<TCachedLayout> recent_;
  std::unordered_map<std::string_view, std::list<TCachedLayout>::iterator> layouts_;
  std::string lookup_;  // the key being looked up, kept to reuse its memory
  // Pen positions of the last texts asked ('t' or 's' for ExpandTabs, then the
  // text): shrinking text to fit asks for the same text at one size after
  // another, and for starts of it, while the whole text's stay in the first.
  struct TPens {
    std::string Key;
    std::vector<double> Pen;
  };
  TPens pens_[2];
  std::string longKey_;
  TLongLine long_;
};

TTextFace::TTextFace(const LOGFONTA& LogFont) {
  description_ = pango_font_description_new();
  const std::string family = FaceName(LogFont);
  pango_font_description_set_family(description_, family.c_str());
  pango_font_description_set_weight(description_,
                                    LogFont.lfWeight >= 600 ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(description_,
                                   LogFont.lfItalic != 0 ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(description_, kReferenceEm * PANGO_SCALE);

  PangoFont* font = pango_font_map_load_font(Shared().FontMap, Shared().Context, description_);
  if (font != nullptr) {
    PangoFontMetrics* metrics = pango_font_get_metrics(font, nullptr);
    const double unit = static_cast<double>(kReferenceEm) * PANGO_SCALE;
    const double ascent = pango_font_metrics_get_ascent(metrics) / unit;
    const double descent = pango_font_metrics_get_descent(metrics) / unit;
    const double average = pango_font_metrics_get_approximate_char_width(metrics) / unit;
    // A face without usable metrics keeps the defaults rather than a zero height.
    if (ascent + descent > 0) {
      ascent_ = ascent;
      descent_ = descent;
    }
    if (average > 0) averageCharWidth_ = average;
    pango_font_metrics_unref(metrics);
    g_object_unref(font);
  }

  const double tabInterval = kTabStopChars * averageCharWidth_ * kReferenceEm;
  tabs_ = pango_tab_array_new_with_positions(
      1, FALSE, PANGO_TAB_LEFT, std::max(1, static_cast<int>(std::nearbyint(tabInterval * PANGO_SCALE))));

  if (LogFont.lfUnderline != 0 || LogFont.lfStrikeOut != 0) {
    attributes_ = pango_attr_list_new();
    if (LogFont.lfUnderline != 0) {
      pango_attr_list_insert(attributes_, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    }
    if (LogFont.lfStrikeOut != 0) {
      pango_attr_list_insert(attributes_, pango_attr_strikethrough_new(TRUE));
    }
  }
}

TTextFace::~TTextFace() {
  for (TCachedLayout& entry : recent_) g_object_unref(entry.Layout);
  if (attributes_ != nullptr) pango_attr_list_unref(attributes_);
  pango_tab_array_free(tabs_);
  pango_font_description_free(description_);
}

PangoLayout* TTextFace::NewLayout(std::string_view Utf8, bool ExpandTabs) const {
  PangoLayout* layout = pango_layout_new(Shared().Context);
  pango_layout_set_font_description(layout, description_);
  // Line breaks are handled before text gets here; any separator Pango would
  // still treat as one stays on this line.
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  if (attributes_ != nullptr) pango_layout_set_attributes(layout, attributes_);
  if (ExpandTabs) pango_layout_set_tabs(layout, tabs_);
  const size_t length = std::min(Utf8.size(), static_cast<size_t>(INT_MAX));
  pango_layout_set_text(layout, Utf8.data(), static_cast<int>(length));
  return layout;
}

PangoLayout* TTextFace::LineLayout(std::string_view Utf8, bool ExpandTabs) {
  // Tab stops change nothing on a line without tabs: measuring it as one line
  // and formatting it share one entry.
  ExpandTabs = ExpandTabs && Utf8.find('\t') != std::string_view::npos;
  lookup_.assign(1, ExpandTabs ? 't' : 's');
  lookup_.append(Utf8);
  const auto found = layouts_.find(lookup_);
  if (found != layouts_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second);
    return found->second->Layout;
  }
  PangoLayout* layout = NewLayout(Utf8, ExpandTabs);
  if (recent_.size() < kMaxCachedLayouts) {
    recent_.emplace_front();
  } else {
    // The entry used longest ago makes room, its list node reused for the new line.
    layouts_.erase(recent_.back().Key);
    g_object_unref(recent_.back().Layout);
    recent_.splice(recent_.begin(), recent_, std::prev(recent_.end()));
  }
  TCachedLayout& entry = recent_.front();
  entry.Key.swap(lookup_);
  entry.Layout = layout;
  layouts_.emplace(entry.Key, recent_.begin());
  return layout;
}

const TLongLine& TTextFace::LongLine(std::string_view Utf8, bool ExpandTabs) {
  const char flag = ExpandTabs ? 't' : 's';
  if (longKey_.size() == Utf8.size() + 1 && longKey_[0] == flag && std::string_view(longKey_).substr(1) == Utf8) {
    return long_;
  }
  long_ = TLongLine{{0}, {}};
  double width = 0;
  while (long_.Pieces.back() < Utf8.size()) {
    const size_t begin = long_.Pieces.back();
    const size_t end = std::max(PieceEnd(Utf8, begin), begin + 1);
    const std::string_view piece = Utf8.substr(begin, end - begin);
    if (ExpandTabs && piece.find('\t') != std::string_view::npos) {
      PangoLayout* layout = NewLayout(piece, ExpandTabs);
      PangoRectangle logical;
      pango_layout_get_extents(layout, nullptr, &logical);
      g_object_unref(layout);
      long_.Widths.push_back(static_cast<double>(logical.width) / PANGO_SCALE);
    } else {
      long_.Widths.push_back(ShapedWidth(piece));
    }
    width += long_.Widths.back();
    long_.Pieces.push_back(end);
  }
  if (width <= kMaxLineEms * kReferenceEm) long_ = TLongLine{};
  longKey_.assign(1, flag);
  longKey_.append(Utf8);
  return long_;
}

namespace {

// Calls Glyphs(Item, Glyphs) for each run of Utf8 as Pango itemizes and shapes it
// with the face's description: one font, script and direction per run.
template <typename TGlyphs>
void ShapeRuns(const PangoFontDescription* Description, std::string_view Utf8, TGlyphs Glyphs) {
  const int length = static_cast<int>(std::min(Utf8.size(), static_cast<size_t>(INT_MAX)));
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_font_desc_new(Description));
  GList* items = pango_itemize(Shared().Context, Utf8.data(), 0, length, attributes, nullptr);
  PangoGlyphString* glyphs = pango_glyph_string_new();
  for (GList* node = items; node != nullptr; node = node->next) {
    auto* item = static_cast<PangoItem*>(node->data);
    pango_shape_full(Utf8.data() + item->offset, item->length, Utf8.data(), length, &item->analysis,
                     glyphs);
    Glyphs(*item, *glyphs);
    pango_item_free(item);
  }
  pango_glyph_string_free(glyphs);
  g_list_free(items);
  pango_attr_list_unref(attributes);
}

} // namespace

void TTextFace::ShapePiece(std::string_view Utf8, std::vector<double>& Advances) const {
  ShapeRuns(description_, Utf8, [&](const PangoItem& Item, const PangoGlyphString& Glyphs) {
    for (int i = 0; i < Glyphs.num_glyphs; ++i) {
      const auto index = static_cast<size_t>(Item.offset) + static_cast<size_t>(Glyphs.log_clusters[i]);
      if (index < Advances.size()) Advances[index] += static_cast<double>(Glyphs.glyphs[i].geometry.width);
    }
  });
}

double TTextFace::ShapedWidth(std::string_view Utf8) const {
  // A layout's width is the sum of its glyphs' advances, in whole Pango units.
  int64_t width = 0;
  ShapeRuns(description_, Utf8, [&](const PangoItem&, const PangoGlyphString& Glyphs) {
    for (int i = 0; i < Glyphs.num_glyphs; ++i) width += Glyphs.glyphs[i].geometry.width;
  });
  return static_cast<double>(width) / PANGO_SCALE;
}

const std::vector<double>& TTextFace::PenPositions(const std::string& Utf8, bool ExpandTabs) {
  const char flag = ExpandTabs ? 't' : 's';
  for (TPens& pens : pens_) {
    if (pens.Key.size() == Utf8.size() + 1 && pens.Key[0] == flag && std::string_view(pens.Key).substr(1) == Utf8) {
      return pens.Pen;
    }
  }
  // A start of the whole text goes beside it; any other text replaces both.
  TPens* slot = &pens_[0];
  if (pens_[0].Key.size() > Utf8.size() + 1 && pens_[0].Key[0] == flag &&
      std::string_view(pens_[0].Key).substr(1, Utf8.size()) == Utf8) {
    slot = &pens_[1];
  } else {
    pens_[1] = TPens{};
  }
  std::string& key = slot->Key;
  std::vector<double>& pen = slot->Pen;
  key.clear();
  pen.assign(Utf8.size() + 1, 0.0);
  std::vector<double> advances;  // of the cluster that starts at each byte of a piece
  double x = 0;
  size_t begin = 0;
  while (begin < Utf8.size()) {
    const size_t end = PieceEnd(Utf8, begin);
    if (end == begin) {  // a line break: no advance
      pen[++begin] = x;
      continue;
    }
    advances.assign(end - begin, 0.0);
    ShapePiece(std::string_view(Utf8).substr(begin, end - begin), advances);
    for (size_t i = begin; i < end; ++i) {
      x += advances[i - begin] / PANGO_SCALE;
      pen[i + 1] = x;
    }
    begin = end;
  }
  key.reserve(Utf8.size() + 1);
  key.push_back(flag);
  key.append(Utf8);
  return pen;
}

namespace {

// The shared face of a record; faces no font uses any more are let go once there
// are many of them.
std::shared_ptr<TTextFace> FaceOf(const LOGFONTA& LogFont) {
  static std::map<std::string, std::shared_ptr<TTextFace>> faces;
  std::string key = FaceName(LogFont);
  key.push_back('\n');
  key.push_back(LogFont.lfWeight >= 600 ? 'b' : '-');
  key.push_back(LogFont.lfItalic != 0 ? 'i' : '-');
  key.push_back(LogFont.lfUnderline != 0 ? 'u' : '-');
  key.push_back(LogFont.lfStrikeOut != 0 ? 's' : '-');
  auto found = faces.find(key);
  if (found != faces.end()) return found->second;
  if (faces.size() >= kMaxIdleFaces) {
    std::erase_if(faces, [](const auto& entry) { return entry.second.use_count() == 1; });
  }
  auto face = std::make_shared<TTextFace>(LogFont);
  faces.emplace(std::move(key), face);
  return face;
}

} // namespace

// ---------------------------------------------------------------------------
// TTextFont

TTextFont::TTextFont(const LOGFONTA& LogFont, int32_t DpiY)
    : logFont_(LogFont), dpiY_(DpiY), face_(FaceOf(LogFont)) {
  // Device height semantics; 64-bit so that the most negative height has a magnitude.
  const int64_t height = LogFont.lfHeight;
  double em = 0;
  if (height > 0) {
    em = static_cast<double>(height) / (face_->Ascent() + face_->Descent());
  } else if (height < 0) {
    em = static_cast<double>(-height);
  } else {
    // The default font: 10 points at the vertical resolution.
    em = (DpiY > 0 ? DpiY : 600) * 10.0 / 72.0;
  }
  const bool clamped = em < kMinEmSize || em > kMaxEmSize;
  emSize_ = std::clamp(em, kMinEmSize, kMaxEmSize);
  scale_ = emSize_ / kReferenceEm;
  ascent_ = face_->Ascent() * emSize_;
  descent_ = face_->Descent() * emSize_;
  if (height > 0 && !clamped) {
    lineHeight_ = static_cast<int32_t>(height);
  } else {
    lineHeight_ = std::max(1, static_cast<int32_t>(std::nearbyint(ascent_ + descent_)));
  }
}

TTextFont::~TTextFont() = default;

bool TTextFont::Matches(const LOGFONTA& LogFont, int32_t DpiY) const {
  return DpiY == dpiY_ && std::memcmp(&LogFont, &logFont_, sizeof(LOGFONTA)) == 0;
}

double TTextFont::LineWidth(std::string_view Utf8, bool ExpandTabs) const {
  if (Utf8.empty()) return 0.0;
  if (Utf8.size() > kEstimatePieceBytes) {
    const TLongLine& line = face_->LongLine(Utf8, ExpandTabs);
    if (!line.Widths.empty()) {
      double width = 0;
      for (double piece : line.Widths) width += piece;
      return width * scale_;
    }
  }
  return ReferenceWidth(Utf8, ExpandTabs) * scale_;
}

double TTextFont::MeasuredWidth(std::string_view Utf8, bool ExpandTabs) const {
  if (Utf8.empty() || Utf8.size() > kEstimatePieceBytes ||
      (ExpandTabs && Utf8.find('\t') != std::string_view::npos)) {
    return LineWidth(Utf8, ExpandTabs);
  }
  return face_->ShapedWidth(Utf8) * scale_;
}

double TTextFont::ReferenceWidth(std::string_view Utf8, bool ExpandTabs) const {
  PangoRectangle logical;
  pango_layout_get_extents(face_->LineLayout(Utf8, ExpandTabs), nullptr, &logical);
  return static_cast<double>(logical.width) / PANGO_SCALE;
}

std::vector<double> TTextFont::PenPositions(const std::string& Utf8, bool ExpandTabs) const {
  std::vector<double> pen = face_->PenPositions(Utf8, ExpandTabs);
  for (double& x : pen) x *= scale_;
  return pen;
}

void TTextFont::ShowLayout(cairo_t* Cairo, PangoLayout* Layout, double X) const {
  // The baseline lies one ascent of this face below the cell's top, also when a
  // fallback face with other metrics shows part of the line.
  const double layoutBaseline = static_cast<double>(pango_layout_get_baseline(Layout)) / PANGO_SCALE;
  cairo_move_to(Cairo, X, face_->Ascent() * kReferenceEm - layoutBaseline);
  pango_cairo_show_layout(Cairo, Layout);
}

void TTextFont::ShowLine(cairo_t* Cairo, std::string_view Utf8, bool ExpandTabs, double X,
                         double Y) const {
  if (Cairo == nullptr || Utf8.empty()) return;
  cairo_save(Cairo);
  cairo_translate(Cairo, X, Y);
  cairo_scale(Cairo, scale_, scale_);
  const TLongLine* line = Utf8.size() > kEstimatePieceBytes ? &face_->LongLine(Utf8, ExpandTabs) : nullptr;
  if (line == nullptr || line->Widths.empty()) {
    ShowLayout(Cairo, face_->LineLayout(Utf8, ExpandTabs), 0.0);
  } else {
    // Only the pieces that reach into the clip are drawn (with a margin for
    // glyphs that stand out of their piece): a line of a megabyte in a small
    // cell costs the pieces that show, and the file holds no text nobody sees.
    double clipLeft = 0;
    double clipTop = 0;
    double clipRight = 0;
    double clipBottom = 0;
    cairo_clip_extents(Cairo, &clipLeft, &clipTop, &clipRight, &clipBottom);
    const double overhang = kPieceInkOverhangEms * kReferenceEm;
    double x = 0;
    for (size_t i = 0; i < line->Widths.size(); ++i) {
      if (x + line->Widths[i] >= clipLeft - overhang && x <= clipRight + overhang) {
        const std::string_view piece = Utf8.substr(line->Pieces[i], line->Pieces[i + 1] - line->Pieces[i]);
        PangoLayout* layout = face_->NewLayout(piece, ExpandTabs);
        ShowLayout(Cairo, layout, x);
        g_object_unref(layout);
      }
      x += line->Widths[i];
    }
  }
  cairo_restore(Cairo);
}

// ---------------------------------------------------------------------------
// Fonts of device contexts

const TTextFont& TextFontOf(const TDeviceContext& DC) {
  if (DC.Font == nullptr) {
    static std::unique_ptr<TTextFont> fallback;
    LOGFONTA record;
    std::strcpy(record.lfFaceName, DefaultFontFace);
    if (!fallback || !fallback->Matches(record, DC.DpiY)) {
      fallback = std::make_unique<TTextFont>(record, DC.DpiY);
    }
    return *fallback;
  }
  TFontObject& font = *DC.Font;
  if (font.Cache != nullptr && font.FreeCache == &FreeTextFont) {
    const auto* cached = static_cast<const TTextFont*>(font.Cache);
    if (cached->Matches(font.LogFont, DC.DpiY)) return *cached;
  }
  auto fresh = std::make_unique<TTextFont>(font.LogFont, DC.DpiY);
  if (font.Cache != nullptr && font.FreeCache != nullptr) font.FreeCache(font.Cache);
  font.Cache = fresh.release();
  font.FreeCache = &FreeTextFont;
  return *static_cast<const TTextFont*>(font.Cache);
}

// ---------------------------------------------------------------------------
// Formatting

namespace {

// The last text formatted: measuring a cell's text and then drawing it formats
// the same text twice, the second time in a room as wide as its widest line.
struct TLastFormat {
  std::shared_ptr<const TTextFace> Face;
  double EmSize = 0;
  bool ExpandTabs = false;
  bool NoPrefix = false;
  bool WordBreak = false;
  std::string Text;
  TFormatted Result;
};

TLastFormat& LastFormat() {
  static TLastFormat last;
  return last;
}

} // namespace

std::vector<TTextLine> FormatLines(const TTextFont& Font, std::string_view Text,
                                   const TFormatOptions& Options) {
  TLastFormat& last = LastFormat();
  if (last.Face == Font.Face() && last.EmSize == Font.EmSize() && last.ExpandTabs == Options.ExpandTabs &&
      last.NoPrefix == Options.NoPrefix && last.WordBreak == Options.WordBreak && last.Text == Text &&
      (!Options.WordBreak || last.Result.SameLinesIn(Options.MaxWidth))) {
    return last.Result.Lines;
  }
  const std::string text = PrepareText(Text, Options.ExpandTabs, Options.NoPrefix);
  std::vector<double> pen;
  if (Options.WordBreak) pen = Font.PenPositions(text, Options.ExpandTabs);
  // A short text is measured and then drawn, line by line: its layouts are kept.
  const bool keepLayouts = text.size() <= kKeptLayoutsTextBytes;
  TFormatted result;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    const std::string_view paragraph(text.data() + begin, end - begin);
    if (Options.WordBreak) {
      BreakParagraph(Font, paragraph, pen.data() + begin, Options, keepLayouts, result);
    } else {
      result.Lines.push_back({std::string(paragraph), Font.LineWidth(paragraph, Options.ExpandTabs)});
    }
    // CR LF is one break; a lone CR or LF is one break each.
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    begin = end + 1;
  }
  if (Options.WordBreak) {
    const double margin = kEstimateMarginEms * Font.EmSize();
    ResolveWidest(Font, result.Lines, nullptr, margin, Options.ExpandTabs, keepLayouts);
    result.WidestJoined =
        ResolveWidest(Font, result.Lines, &result.Joined, margin, Options.ExpandTabs, keepLayouts);
    result.Joined = {};
  }
  last = TLastFormat{Font.Face(), Font.EmSize(), Options.ExpandTabs, Options.NoPrefix, Options.WordBreak,
                     std::string(Text), std::move(result)};
  return last.Result.Lines;
}

std::string SingleLine(std::string_view Text) {
  const std::string utf8 = ToUtf8(Text);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\0') continue;
    if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    out.push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
  }
  return out;
}

int32_t WholePixels(double Width) {
  const double whole = std::ceil(Width - kFitTolerance);
  if (!(whole > 0)) return 0;
  if (whole >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(whole);
}

void SetSourceColor(cairo_t* Cairo, TColor Color) {
  cairo_set_source_rgb(Cairo, (Color & 0xFF) / 255.0, ((Color >> 8) & 0xFF) / 255.0,
                       ((Color >> 16) & 0xFF) / 255.0);
}

} // namespace mivora
