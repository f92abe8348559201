#include "RtfReader_p.h"

#include "Exceptions.h"
#include "Numbers.h"
#include "TextEncoding.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <map>

namespace mivora {

namespace {

// Character formatting: what \b, \i, \ul, \strike, \f, \fs and \cf set.
struct TCharFormat {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strike = false;
  int32_t Font = -1;       // font number; -1: the document's default font (\deff)
  int32_t HalfPoints = 24; // \fs: 12 points unless told otherwise
  int32_t Color = 0;       // index into the colour table; 0 (or unknown): automatic
  friend bool operator==(const TCharFormat&, const TCharFormat&) = default;
};

// Where the text of the current group goes.
enum class TDestination : uint8_t { Text, FontTable, ColorTable, Skip };

// The state a group saves on '{' and restores on '}'.
struct TGroupState {
  TCharFormat Format;
  TParagraphAlignment Alignment = TParagraphAlignment::Left;
  int32_t UnicodeSkip = 1; // \uc: characters that stand in for each \u
  TDestination Destination = TDestination::Text;
};

// A stretch of the paragraph's text (byte offsets) in one format.
struct TRun {
  size_t Start;
  size_t End;
  TCharFormat Format;
};

// Destinations whose content is not text of the document.
constexpr std::array<std::string_view, 60> kSkippedDestinations = {
    "aftncn",     "aftnsep",     "aftnsepc",   "annotation", "atnauthor", "atnid",
    "author",     "bkmkend",     "bkmkstart",  "blipuid",    "buptim",    "category",
    "colorschememapping",        "comment",    "company",    "creatim",   "datastore",
    "doccomm",    "docvar",      "falt",       "filetbl",    "fldinst",   "footer",
    "footerf",    "footerl",     "footerr",    "footnote",   "ftncn",     "ftnsep",
    "ftnsepc",    "generator",   "header",     "headerf",    "headerl",   "headerr",
    "info",       "keywords",    "latentstyles",             "listoverridetable",
    "listtable",  "listtext",    "nonshppict", "object",     "operator",  "pict",
    "pntext",     "pntxta",      "pntxtb",     "printim",    "revtbl",    "revtim",
    "rsidtbl",    "shp",         "stylesheet", "subject",    "template",  "themedata",
    "title",      "userprops",   "xmlnstbl"};

bool IsSkippedDestination(std::string_view Word) {
  return std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), Word) !=
         kSkippedDestinations.end();
}

bool IsLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& Out, char32_t Cp) {
  char buffer[6];
  const int n = g_unichar_to_utf8(static_cast<gunichar>(Cp), buffer);
  Out.append(buffer, static_cast<size_t>(n));
}

// A byte of an 8-bit destination, read as Windows-1252.
std::string Cp1252(unsigned char Byte) {
  return ToUtf8(std::string_view(reinterpret_cast<const char*>(&Byte), 1));
}

std::string Trim(const std::string& S) {
  const size_t first = S.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = S.find_last_not_of(" \t\r\n");
  return S.substr(first, last - first + 1);
}

class TRtfReader {
public:
  TRtfReader(std::string_view Rtf, const std::string& Source) : rtf_(Rtf), source_(Source) {}

  TRichDocument Read() {
    if (!rtf_.starts_with("{\\rtf")) Fail("the text does not start with {\\rtf", 0);
    bool closed = false;
    while (pos_ < rtf_.size() && !closed) {
      const char c = rtf_[pos_];
      switch (c) {
      case '{':
        skip_ = 0;
        if (static_cast<int>(stack_.size()) >= MaxRtfDepth) {
          Fail("groups nested deeper than " + std::to_string(MaxRtfDepth), pos_);
        }
        stack_.push_back(state_);
        ++pos_;
        break;
      case '}':
        skip_ = 0;
        if (state_.Destination == TDestination::FontTable) CommitFont();
        state_ = stack_.back();
        stack_.pop_back();
        ++pos_;
        closed = stack_.empty();
        break;
      case '\\':
        Control();
        break;
      case '\r':
      case '\n':
        ++pos_;
        break;
      default:
        ++pos_;
        Byte(static_cast<unsigned char>(c));
        break;
      }
    }
    if (!closed) {
      const size_t open = stack_.size();
      Fail("unbalanced braces, " + std::to_string(open) + (open == 1 ? " group" : " groups") +
               " not closed at the end of the text",
           rtf_.size());
    }
    for (size_t i = pos_; i < rtf_.size(); ++i) {
      const char c = rtf_[i];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0') continue;
      if (c == '}') Fail("unbalanced braces, a '}' without a matching '{'", i);
      Fail("unexpected data after the end of the document", i);
    }
    if (!text_.empty()) EndParagraph();
    return std::move(document_);
  }

private:
  [[noreturn]] void Fail(const std::string& What, size_t Offset) const {
    throw ERichEditError("Malformed RTF" + (source_.empty() ? std::string() : " in " + source_) +
                         ": " + What + " at byte " + std::to_string(Offset));
  }

  // A control word, a control symbol or a \'hh escape, starting at the backslash.
  void Control() {
    const size_t start = pos_;
    ++pos_;
    if (pos_ >= rtf_.size()) Fail("truncated control word", start);
    const char c = rtf_[pos_];
    if (IsLetter(c)) {
      const size_t wordStart = pos_;
      while (pos_ < rtf_.size() && IsLetter(rtf_[pos_])) ++pos_;
      const std::string_view word = rtf_.substr(wordStart, pos_ - wordStart);
      bool negative = false;
      if (pos_ + 1 < rtf_.size() && rtf_[pos_] == '-' && IsDigit(rtf_[pos_ + 1])) {
        negative = true;
        ++pos_;
      }
      bool hasParameter = false;
      int64_t parameter = 0;
      while (pos_ < rtf_.size() && IsDigit(rtf_[pos_])) {
        hasParameter = true;
        // Longer numbers are cut to the range of a 32-bit parameter.
        parameter = std::min<int64_t>(parameter * 10 + (rtf_[pos_] - '0'), int64_t{1} << 32);
        ++pos_;
      }
      if (pos_ < rtf_.size() && rtf_[pos_] == ' ') ++pos_; // the delimiter belongs to the word
      if (negative) parameter = -parameter;
      parameter = ClampToInt32(parameter);
      if (word == "bin") {
        Binary(hasParameter ? parameter : 0, start);
        return;
      }
      if (skip_ > 0) {
        --skip_;
        return;
      }
      Word(word, hasParameter, static_cast<int32_t>(parameter));
      return;
    }
    if (c == '\'') {
      if (pos_ + 2 >= rtf_.size()) Fail("truncated \\' escape", start);
      const int high = HexValue(rtf_[pos_ + 1]);
      const int low = HexValue(rtf_[pos_ + 2]);
      if (high < 0 || low < 0) Fail("invalid \\' escape (two hexadecimal digits expected)", start);
      pos_ += 3;
      Byte(static_cast<unsigned char>(high * 16 + low));
      return;
    }
    ++pos_;
    if (c == '\r' || c == '\n') {
      if (skip_ > 0) {
        --skip_;
        return;
      }
      if (state_.Destination == TDestination::Text) EndParagraph();
      return;
    }
    if (skip_ > 0) {
      --skip_;
      return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
      Byte(static_cast<unsigned char>(c));
      break;
    case '~':
      Character(0x00A0); // non-breaking space
      break;
    case '-':
      Character(0x00AD); // optional hyphen
      break;
    case '_':
      Character(0x2011); // non-breaking hyphen
      break;
    case '*':
      state_.Destination = TDestination::Skip; // no destination we read is marked \*
      break;
    default:
      break; // other symbols (index entries, formulas) carry nothing we show
    }
  }

  // \binN: N bytes of binary data, never text.
  void Binary(int64_t Count, size_t Start) {
    if (Count < 0 || static_cast<uint64_t>(Count) > rtf_.size() - pos_) {
      Fail("truncated \\bin data", Start);
    }
    pos_ += static_cast<size_t>(Count);
  }

  void Word(std::string_view Word, bool HasParameter, int32_t Parameter) {
    const bool on = !HasParameter || Parameter != 0;
    if (Word == "fonttbl") {
      state_.Destination = TDestination::FontTable;
      fontEntry_ = -1;
      fontName_.clear();
      return;
    }
    if (Word == "colortbl") {
      state_.Destination = TDestination::ColorTable;
      ResetColor();
      return;
    }
    if (IsSkippedDestination(Word)) {
      state_.Destination = TDestination::Skip;
      return;
    }
    switch (state_.Destination) {
    case TDestination::Skip:
      return;
    case TDestination::FontTable:
      if (Word == "f") {
        CommitFont();
        fontEntry_ = Parameter;
      } else if (Word == "u") {
        Unicode(Parameter);
      }
      return;
    case TDestination::ColorTable:
      if (Word == "red" || Word == "green" || Word == "blue") {
        int32_t& channel = Word == "red" ? red_ : Word == "green" ? green_ : blue_;
        channel = std::clamp(Parameter, 0, 255);
        colorSet_ = true;
      }
      return;
    case TDestination::Text:
      break;
    }

    TCharFormat& format = state_.Format;
    if (Word == "par") {
      EndParagraph();
    } else if (Word == "sect" || Word == "page" || Word == "row") {
      if (!text_.empty()) EndParagraph();
    } else if (Word == "line") {
      Character(0x2028);
    } else if (Word == "tab" || Word == "cell") {
      Character('\t');
    } else if (Word == "pard") {
      state_.Alignment = TParagraphAlignment::Left;
    } else if (Word == "ql") {
      state_.Alignment = TParagraphAlignment::Left;
    } else if (Word == "qr") {
      state_.Alignment = TParagraphAlignment::Right;
    } else if (Word == "qc") {
      state_.Alignment = TParagraphAlignment::Center;
    } else if (Word == "qj") {
      state_.Alignment = TParagraphAlignment::Justify;
    } else if (Word == "plain") {
      format = TCharFormat{};
    } else if (Word == "b") {
      format.Bold = on;
    } else if (Word == "i") {
      format.Italic = on;
    } else if (Word == "strike" || Word == "striked") {
      format.Strike = on;
    } else if (Word == "ulnone") {
      format.Underline = false;
    } else if (Word == "ul" || Word == "uld" || Word == "uldb" || Word == "ulw" ||
               Word == "uldash" || Word == "ulth" || Word == "ulwave") {
      format.Underline = on;
    } else if (Word == "f") {
      if (HasParameter) format.Font = Parameter;
    } else if (Word == "fs") {
      // Half-points; nonsense sizes fall back to the default rather than vanish.
      format.HalfPoints = HasParameter && Parameter > 0 ? std::min(Parameter, 3276) : 24;
    } else if (Word == "cf") {
      format.Color = HasParameter ? Parameter : 0;
    } else if (Word == "deff") {
      if (HasParameter) defaultFont_ = Parameter;
    } else if (Word == "deftab") {
      if (HasParameter && Parameter > 0) document_.TabTwips = std::min(Parameter, 1440 * 22);
    } else if (Word == "uc") {
      state_.UnicodeSkip = HasParameter ? std::clamp(Parameter, 0, 255) : 1;
    } else if (Word == "u") {
      Unicode(Parameter);
      skip_ = state_.UnicodeSkip;
    } else if (Word == "emdash") {
      Character(0x2014);
    } else if (Word == "endash") {
      Character(0x2013);
    } else if (Word == "emspace") {
      Character(0x2003);
    } else if (Word == "enspace") {
      Character(0x2002);
    } else if (Word == "bullet") {
      Character(0x2022);
    } else if (Word == "lquote") {
      Character(0x2018);
    } else if (Word == "rquote") {
      Character(0x2019);
    } else if (Word == "ldblquote") {
      Character(0x201C);
    } else if (Word == "rdblquote") {
      Character(0x201D);
    }
    // Every other control word is formatting we do not keep.
  }

  // \uN: N is a signed 16-bit UTF-16 unit; surrogate pairs come as two \u.
  void Unicode(int32_t Value) {
    char32_t unit = Value < 0 ? static_cast<char32_t>(Value + 65536) : static_cast<char32_t>(Value);
    if (Value < -32768 || Value > 65535) unit = 0xFFFD;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (highSurrogate_ != 0) {
        highSurrogate_ = 0;
        Character(0xFFFD);
      }
      highSurrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (highSurrogate_ == 0) {
        Character(0xFFFD);
        return;
      }
      const char32_t cp = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
      highSurrogate_ = 0;
      Character(cp);
      return;
    }
    Character(unit);
  }

  // A byte of text in the current destination (8-bit, Windows-1252).
  void Byte(unsigned char B) {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    switch (state_.Destination) {
    case TDestination::Skip:
      return;
    case TDestination::FontTable:
      if (B == ';') {
        CommitFont();
      } else {
        fontName_ += Cp1252(B);
      }
      return;
    case TDestination::ColorTable:
      if (B == ';') CommitColor();
      return;
    case TDestination::Text:
      break;
    }
    if (B < 0x80) {
      Character(B);
    } else {
      AppendText(Cp1252(B));
    }
  }

  // A character of the current destination.
  void Character(char32_t Cp) {
    if (state_.Destination == TDestination::FontTable) {
      AppendUtf8(fontName_, Cp);
      return;
    }
    if (state_.Destination != TDestination::Text) return;
    if (Cp < 0x20 && Cp != '\t') return; // control characters are no text
    if (Cp == 0x7F) return;
    std::string utf8;
    AppendUtf8(utf8, Cp);
    AppendText(utf8);
  }

  void AppendText(const std::string& Utf8) {
    if (highSurrogate_ != 0) {
      highSurrogate_ = 0;
      AppendText("\xEF\xBF\xBD"); // a high surrogate without its partner
    }
    if (runs_.empty() || runs_.back().Format != state_.Format || runs_.back().End != text_.size()) {
      runs_.push_back(TRun{text_.size(), text_.size(), state_.Format});
    }
    text_ += Utf8;
    runs_.back().End = text_.size();
  }

  void CommitFont() {
    const std::string name = Trim(fontName_);
    if (fontEntry_ >= 0 && !name.empty()) fonts_[fontEntry_] = name;
    fontName_.clear();
    fontEntry_ = -1;
  }

  void ResetColor() {
    red_ = green_ = blue_ = 0;
    colorSet_ = false;
  }

  void CommitColor() {
    // An entry without components is "automatic": the default text colour.
    colors_.push_back(colorSet_ ? (red_ << 16) | (green_ << 8) | blue_ : -1);
    ResetColor();
  }

  // Pango attributes for text in Format over [Start, End) bytes.
  void AddAttributes(PangoAttrList* List, const TCharFormat& Format, guint Start, guint End) const {
    auto add = [&](PangoAttribute* Attribute) {
      Attribute->start_index = Start;
      Attribute->end_index = End;
      pango_attr_list_insert(List, Attribute);
    };
    const int32_t font = Format.Font >= 0 ? Format.Font : defaultFont_;
    const auto face = fonts_.find(font);
    if (face != fonts_.end()) add(pango_attr_family_new(face->second.c_str()));
    add(pango_attr_size_new(Format.HalfPoints * PANGO_SCALE / 2));
    if (Format.Bold) add(pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    if (Format.Italic) add(pango_attr_style_new(PANGO_STYLE_ITALIC));
    if (Format.Underline) add(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (Format.Strike) add(pango_attr_strikethrough_new(TRUE));
    if (Format.Color > 0 && static_cast<size_t>(Format.Color) < colors_.size() &&
        colors_[static_cast<size_t>(Format.Color)] >= 0) {
      const int32_t rgb = colors_[static_cast<size_t>(Format.Color)];
      const auto channel = [rgb](int Shift) { return static_cast<guint16>(((rgb >> Shift) & 0xFF) * 257); };
      add(pango_attr_foreground_new(channel(16), channel(8), channel(0)));
    }
  }

  void EndParagraph() {
    if (highSurrogate_ != 0) {
      highSurrogate_ = 0;
      Character(0xFFFD);
    }
    TRichParagraph paragraph;
    paragraph.Text = std::move(text_);
    paragraph.Alignment = state_.Alignment;
    paragraph.Attributes.reset(pango_attr_list_new());
    // The face and size in force at the paragraph mark cover the whole paragraph
    // first, so an empty paragraph is as tall as its mark; the runs override them.
    TCharFormat mark = state_.Format;
    mark.Bold = mark.Italic = mark.Underline = mark.Strike = false;
    mark.Color = 0;
    AddAttributes(paragraph.Attributes.get(), mark, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
    for (const TRun& run : runs_) {
      AddAttributes(paragraph.Attributes.get(), run.Format, static_cast<guint>(run.Start),
                    static_cast<guint>(run.End));
    }
    document_.Paragraphs.push_back(std::move(paragraph));
    text_.clear();
    runs_.clear();
  }

  std::string_view rtf_;
  const std::string& source_;
  size_t pos_ = 0;
  std::vector<TGroupState> stack_;
  TGroupState state_;
  int32_t skip_ = 0;            // characters still to skip after \u
  char32_t highSurrogate_ = 0;  // a \u high surrogate waiting for its partner

  std::map<int32_t, std::string> fonts_;
  int32_t defaultFont_ = -1;
  int32_t fontEntry_ = -1;
  std::string fontName_;

  std::vector<int32_t> colors_; // 0x00RRGGBB, or -1 for automatic
  int32_t red_ = 0;
  int32_t green_ = 0;
  int32_t blue_ = 0;
  bool colorSet_ = false;

  std::string text_;
  std::vector<TRun> runs_;
  TRichDocument document_;
};

} // namespace

TRichDocument ReadRtf(std::string_view Rtf, const std::string& Source) {
  return TRtfReader(Rtf, Source).Read();
}

} // namespace mivora
