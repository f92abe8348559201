#include "Preflight.h"

#include "Canvas.h"
#include "FontCatalog.h"
#include "Gdi.h"
#include "MivoraUtils.h"
#include "Numbers.h"
#include "Picture.h"
#include "Printer.h"
#include "RichEdit.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <set>

namespace mivora {

namespace {

// The size a picture's pixels have when nothing says otherwise: 96 per inch.
constexpr double kNaturalPixelsPerInch = 96.0;
// How much of a text a message quotes.
constexpr size_t kQuotedChars = 30;
// The longest paragraph, in bytes, that the check measures as one line.
constexpr size_t kLongestOneLineParagraph = 4096;

struct TDevice {
  int32_t DpiX = 600;
  int32_t DpiY = 600;
  int32_t Width = 0;  // printable area in pixels
  int32_t Height = 0;
};

std::string MmText(int64_t Pixels, int32_t Dpi) {
  return FormatNumber(static_cast<double>(Pixels) * 25.4 / Dpi, 3) + " mm";
}

std::string Quoted(const std::string& Text) {
  std::string shown = Text.substr(0, kQuotedChars);
  for (char& c : shown) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  if (Text.size() > kQuotedChars) shown += "...";
  return "\"" + shown + "\"";
}

int64_t WidthOf(const TRect& Rect) { return int64_t{Rect.Right} - Rect.Left; }
int64_t HeightOf(const TRect& Rect) { return int64_t{Rect.Bottom} - Rect.Top; }

TRect Inset(const TRect& Rect, int64_t Horizontal, int64_t Vertical) {
  return TRect{ClampToInt32(Rect.Left + Horizontal), ClampToInt32(Rect.Top + Vertical),
               ClampToInt32(Rect.Right - Horizontal), ClampToInt32(Rect.Bottom - Vertical)};
}

// Whether Text certainly fits Inner as drawing formats it, told from the width of
// each of its lines laid out alone. When every paragraph fits the width on one
// line, formatting breaks none of them (a line only grows with each word), so
// the text takes one line a paragraph, each as wide as measured here; word
// wrapping drops the spaces at a paragraph's end. Laying out each line is all
// this costs, where formatting the text also shapes all of it to estimate where
// lines break: a merge checks every record's texts before printing them. False
// when a paragraph is too wide, the lines too many, or the text holds a tab
// (which the one-line measure reads as a space): the caller then formats it.
bool FitsLineByLine(HDC DC, const std::string& Text, const TRect& Inner, bool WordWrap) {
  if (Text.find('\t') != std::string::npos) return false;
  const int64_t room = WidthOf(Inner);
  const int64_t height = HeightOf(Inner);
  int64_t used = 0;
  size_t begin = 0;
  while (begin < Text.size()) {
    size_t end = Text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = Text.size();
    size_t last = end;
    if (WordWrap) {
      while (last > begin && Text[last - 1] == ' ') --last;
    }
    // A paragraph this long is no label line: formatting tells faster than
    // shaping it whole as one line only to find it too wide.
    if (last - begin > kLongestOneLineParagraph) return false;
    TSize extent{};
    if (!GetTextExtentPoint32A(DC, Text.data() + begin, static_cast<int>(last - begin), &extent)) return false;
    used += extent.cy;
    if (extent.cx > room || used > height) return false;
    // CR LF is one break.
    if (end + 1 < Text.size() && Text[end] == '\r' && Text[end + 1] == '\n') ++end;
    begin = end + 1;
  }
  return true;
}

class TChecker {
public:
  TChecker(const TMivora& Sheet, const TPreflightOptions& Options) : sheet_(Sheet), options_(Options) {
    TPrinter* printer = Printer();
    device_.DpiX = printer->ResolutionX();
    device_.DpiY = printer->ResolutionY();
    device_.Width = printer->GetPageWidth();
    device_.Height = printer->GetPageHeight();
  }

  std::vector<TFinding> Run() {
    for (int32_t i = 0; i < sheet_.Count(); ++i) {
      const TCell* cell = sheet_.GetCell(i);
      if (cell == nullptr || !cell->Visible) continue;
      Check(*cell);
    }
    return std::move(findings_);
  }

private:
  void Add(TFindingKind Kind, const TCell& Cell, std::string Message) {
    findings_.push_back(TFinding{Kind, sheet_.GetCellName(&Cell), std::move(Message)});
  }

  void Check(const TCell& Cell) {
    TRect r;
    int32_t fontHeight = 0;
    sheet_.TransformCellBounds(&Cell, r.Left, r.Top, r.Right, r.Bottom, fontHeight);
    CheckPlacement(Cell, r);
    switch (Cell.CellType()) {
    case ctText:
      if (Cell.Text().empty()) break;
      CheckFont(Cell);
      if (Cell.Orientation == toHorizontal)
        CheckHorizontalText(Cell, r, fontHeight);
      else
        CheckVerticalText(Cell, r, fontHeight);
      break;
    case ctGraphic:
      CheckPicture(Cell, r);
      break;
    case ctRichEdit:
      CheckRichText(Cell, r);
      break;
    }
  }

  void CheckPlacement(const TCell& Cell, const TRect& R) {
    if (WidthOf(R) <= 0 || HeightOf(R) <= 0) return;
    // Most cells lie inside: the message is made only for those that do not.
    if (R.Left >= 0 && R.Top >= 0 && R.Right <= device_.Width && R.Bottom <= device_.Height) return;
    const std::string area = "the printable area (" + MmText(device_.Width, device_.DpiX) + " x " +
                             MmText(device_.Height, device_.DpiY) + ")";
    if (R.Right <= 0 || R.Bottom <= 0 || R.Left >= device_.Width || R.Top >= device_.Height) {
      Add(fkOutsidePrintable, Cell, "lies wholly outside " + area + " and does not print");
      return;
    }
    std::vector<std::string> sides;
    if (R.Left < 0) sides.push_back("left by " + MmText(-int64_t{R.Left}, device_.DpiX));
    if (R.Top < 0) sides.push_back("top by " + MmText(-int64_t{R.Top}, device_.DpiY));
    if (R.Right > device_.Width) sides.push_back("right by " + MmText(int64_t{R.Right} - device_.Width, device_.DpiX));
    if (R.Bottom > device_.Height)
      sides.push_back("bottom by " + MmText(int64_t{R.Bottom} - device_.Height, device_.DpiY));
    if (sides.empty()) return;
    std::string text;
    for (size_t i = 0; i < sides.size(); ++i) text += (i == 0 ? "" : ", ") + sides[i];
    Add(fkOutsidePrintable, Cell, "reaches past " + area + " (" + text + "); that part does not print");
  }

  void CheckFont(const TCell& Cell) {
    const std::string family = Cell.Font.Name.Str();
    if (!checkedFamilies_.insert(family).second) return;
    std::optional<std::string> replacement;
    if (options_.FontsLookedUp != nullptr) {
      auto& known = *options_.FontsLookedUp;
      auto found = known.find(family);
      if (found == known.end()) found = known.emplace(family, LookUp(family)).first;
      replacement = found->second;
    } else {
      replacement = LookUp(family);
    }
    if (!replacement) return;
    Add(fkFontReplaced, Cell,
        "font \"" + family + "\" is not installed; " +
            (replacement->empty() ? std::string("no font") : "\"" + *replacement + "\"") + " is used instead");
  }

  // The family drawn instead of Family ("" for none), or no value when Family is
  // drawn as itself.
  static std::optional<std::string> LookUp(const std::string& Family) {
    std::string replacement;
    if (!FontFamilyReplaced(Family, replacement)) return std::nullopt;
    return replacement;
  }

  // As drawing does: the canvas font of the cell, the inner rectangle half a
  // space in from the sides and a twelfth of a line from top and bottom, the
  // text measured as the device formats it, shrunk step by step if asked.
  void CheckHorizontalText(const TCell& Cell, const TRect& R, int32_t FontHeight) {
    TCanvas* canvas = Printer()->GetCanvas();
    AssignFont(canvas, Cell.Font, FontHeight);
    const std::string& text = Cell.Text();
    const int count = static_cast<int>(std::min(text.size(), static_cast<size_t>(INT_MAX)));
    const uint32_t flags = DT_EXPANDTABS | DT_NOPREFIX | (Cell.WordWrap ? DT_WORDBREAK : 0) | DT_CALCRECT;
    const int32_t space = canvas->TextWidth(" ");
    const int32_t lineHeight = canvas->TextHeight(" ");
    const TRect inner = Inset(R, space / 2, (lineHeight / 6) / 2);

    if (FitsLineByLine(canvas->GetHandle(), text, inner, Cell.WordWrap)) return;
    TRect measured = inner;
    bool smallest = false;
    if (Cell.ShrinkToFit) {
      // At each size only as far as the text overflows; in full where it fits
      // or stops shrinking.
      bool whole = MeasureTextUntilOverflow(canvas, text, inner, flags, measured);
      while (measured.Right > inner.Right || measured.Bottom > inner.Bottom) {
        TFont* font = canvas->Font();
        const int32_t next = ShrunkFontHeight(font->Height(), lineHeight);
        if (next == font->Height()) {
          smallest = true;
          break;
        }
        font->SetHeight(next);
        whole = MeasureTextUntilOverflow(canvas, text, inner, flags, measured);
      }
      if (!whole) {
        measured = inner;
        DrawTextA(canvas->GetHandle(), text.data(), count, &measured, flags);
      }
    } else {
      DrawTextA(canvas->GetHandle(), text.data(), count, &measured, flags);
    }
    const int64_t wider = int64_t{measured.Right} - inner.Right;
    const int64_t taller = int64_t{measured.Bottom} - inner.Bottom;
    if (wider <= 0 && taller <= 0) return;

    const std::string prefix = smallest ? "even at the smallest font size, text " : "text ";
    const int32_t line = std::max(1, canvas->TextHeight(" "));
    if (taller > 0) {
      const int64_t lines = HeightOf(measured) / line;
      const int64_t room = std::max<int64_t>(0, HeightOf(inner) / line);
      Add(fkTextOverflow, Cell,
          prefix + Quoted(text) + " does not fit: its " + std::to_string(lines) +
              (lines == 1 ? " line needs " : " lines need ") + MmText(HeightOf(measured), device_.DpiY) +
              " of height, the cell has room for " + std::to_string(room) + " (" +
              MmText(std::max<int64_t>(0, HeightOf(inner)), device_.DpiY) + "); the rest is cut off");
    }
    if (wider > 0) {
      Add(fkTextOverflow, Cell,
          prefix + Quoted(text) + (Cell.WordWrap ? " holds a word " : " runs ") + MmText(wider, device_.DpiX) +
              " wider than the cell and is cut off at its side");
    }
  }

  // Turned text: one line, its length along the cell's height.
  void CheckVerticalText(const TCell& Cell, const TRect& R, int32_t FontHeight) {
    TCanvas* canvas = Printer()->GetCanvas();
    AssignFont(canvas, Cell.Font, FontHeight);
    const std::string& text = Cell.Text();
    const int32_t space = canvas->TextWidth(" ");
    const int32_t lineHeight = canvas->TextHeight(" ");
    const TRect inner = Inset(R, (lineHeight / 6) / 2, space / 2);
    const int count = static_cast<int>(std::min(text.size(), static_cast<size_t>(INT_MAX)));
    TSize extent;
    GetTextExtentPoint32A(canvas->GetHandle(), text.data(), count, &extent);
    bool smallest = false;
    if (Cell.ShrinkToFit) {
      while (HeightOf(inner) < extent.cx || WidthOf(inner) < extent.cy) {
        TFont* font = canvas->Font();
        const int32_t next = ShrunkFontHeight(font->Height(), lineHeight);
        if (next == font->Height()) {
          smallest = true;
          break;
        }
        font->SetHeight(next);
        GetTextExtentPoint32A(canvas->GetHandle(), text.data(), count, &extent);
      }
    }
    const int64_t longer = int64_t{extent.cx} - HeightOf(inner);
    const int64_t thicker = int64_t{extent.cy} - WidthOf(inner);
    const std::string prefix = smallest ? "even at the smallest font size, turned text " : "turned text ";
    if (longer > 0) {
      Add(fkTextOverflow, Cell,
          prefix + Quoted(text) + " is " + MmText(longer, device_.DpiY) +
              " longer than the cell is high and is cut off");
    }
    if (thicker > 0) {
      Add(fkTextOverflow, Cell,
          prefix + Quoted(text) + " is " + MmText(thicker, device_.DpiX) +
              " taller than the cell is wide and is cut off");
    }
  }

  // Rich text prints the whole lines that fit, inside a margin of a twentieth of
  // an inch; what follows them is left out. Asked as drawing asks, measuring only.
  void CheckRichText(const TCell& Cell, const TRect& R) {
    TRichEdit* rich = Cell.GetRichEdit();
    if (rich == nullptr || rich->TextLength() == 0) return;
    TRect inner = R;
    InflateRect(&inner, -(device_.DpiX / 20), -(device_.DpiY / 20));
    const auto twips = [](int32_t Value, int32_t Dpi) {
      return ClampToInt32(std::llround(static_cast<double>(int64_t{Value} * 1440) / Dpi));
    };
    FORMATRANGE range{};
    range.hdc = Printer()->GetCanvas()->GetHandle();
    range.hdcTarget = range.hdc;
    range.rc = TRect{twips(inner.Left, device_.DpiX), twips(inner.Top, device_.DpiY),
                     twips(inner.Right, device_.DpiX), twips(inner.Bottom, device_.DpiY)};
    range.rcPage = range.rc;
    range.chrg.cpMin = 0;
    range.chrg.cpMax = -1;
    const intptr_t firstLeftOut = SendMessageA(rich, EM_FORMATRANGE, 0, reinterpret_cast<intptr_t>(&range));
    SendMessageA(rich, EM_FORMATRANGE, 0, 0);
    if (firstLeftOut >= rich->TextLength()) return;
    // Character positions count code points of the UTF-8 text.
    const std::string& text = rich->Text();
    size_t byte = 0;
    for (intptr_t chars = 0; byte < text.size() && chars < firstLeftOut; ++chars) {
      ++byte;
      while (byte < text.size() && (static_cast<unsigned char>(text[byte]) & 0xC0) == 0x80) ++byte;
    }
    Add(fkTextOverflow, Cell,
        "rich text does not fit: " + std::to_string(rich->TextLength() - firstLeftOut) + " of its " +
            std::to_string(rich->TextLength()) + " characters, from " + Quoted(text.substr(byte)) +
            ", are left out");
  }

  // How many times larger than its own resolution allows a picture prints: the
  // size it is drawn at follows the cell's Fit and Stretch as drawing does.
  void CheckPicture(const TCell& Cell, const TRect& R) {
    // Vector pictures and barcodes keep their sharpness at any size.
    const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(Cell.GetGraphic());
    if (bitmap == nullptr || bitmap->Width() <= 0 || bitmap->Height() <= 0) return;
    const double width = static_cast<double>(WidthOf(R));
    const double height = static_cast<double>(HeightOf(R));
    if (!(width > 0) || !(height > 0)) return;
    const double pixelsX = bitmap->Width(), pixelsY = bitmap->Height();
    const bool told = bitmap->ResolutionX() > 0 && bitmap->ResolutionY() > 0;
    const double ownX = told ? bitmap->ResolutionX() : kNaturalPixelsPerInch;
    const double ownY = told ? bitmap->ResolutionY() : kNaturalPixelsPerInch;
    // Natural size in printer dots: one dot a pixel, or the picture's own inches
    // when the cell asks for any fit other than the default.
    const bool ownInches = told && Cell.Fit != gfAuto;
    const double naturalX = ownInches ? pixelsX * device_.DpiX / ownX : pixelsX;
    const double naturalY = ownInches ? pixelsY * device_.DpiY / ownY : pixelsY;
    double printedX = naturalX, printedY = naturalY;
    if (Cell.Fit == gfContain || Cell.Fit == gfCover) {
      const double scaleX = width / naturalX, scaleY = height / naturalY;
      const double scale = Cell.Fit == gfContain ? std::min(scaleX, scaleY) : std::max(scaleX, scaleY);
      printedX = naturalX * scale;
      printedY = naturalY * scale;
    } else if (Cell.Stretch || naturalX > width || naturalY > height) {
      printedX = width;
      printedY = height;
    }
    const double ppiX = pixelsX * device_.DpiX / printedX;
    const double ppiY = pixelsY * device_.DpiY / printedY;
    const double enlargement = std::max(ownX / ppiX, ownY / ppiY);
    if (!(enlargement > options_.MaxEnlargement)) return;
    Add(fkPictureEnlarged, Cell,
        "picture of " + std::to_string(bitmap->Width()) + " x " + std::to_string(bitmap->Height()) +
            " pixels at " + FormatNumber(std::min(ownX, ownY), 3) + " per inch is enlarged " +
            FormatNumber(enlargement, 2) + " times, to " + FormatNumber(std::min(ppiX, ppiY), 3) +
            " per inch over " + MmText(std::llround(printedX), device_.DpiX) + " x " +
            MmText(std::llround(printedY), device_.DpiY) + ", and will print coarsely");
  }

  const TMivora& sheet_;
  TPreflightOptions options_;
  TDevice device_;
  std::set<std::string> checkedFamilies_;
  std::vector<TFinding> findings_;
};

} // namespace

std::vector<TFinding> CheckSheet(const TMivora& Sheet, const TPreflightOptions& Options) {
  return TChecker(Sheet, Options).Run();
}

std::string DescribeFinding(const TFinding& Finding) {
  return "cell \"" + Finding.Cell + "\": " + Finding.Message;
}

} // namespace mivora
