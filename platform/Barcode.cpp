#include "Barcode.h"

#include "Barcode_p.h"
#include "DeviceContext_p.h"
#include "Numbers.h"
#include "TextLayout_p.h"

#include <zint.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace mivora {

namespace {

struct TSymbologyInfo {
  TSymbology Symbology;
  const char* Name;        // as written in layouts
  const char* DisplayName; // in messages
  int ZintType;
  bool TwoDimensional;
  int32_t QuietZone;       // modules each side, as the symbology's standard asks
};

// Quiet zones: 10 modules for the linear codes without a fixed one; EAN-13 asks
// 11 on its left (7 on its right), UPC 9; the matrix codes their standard margins.
constexpr std::array<TSymbologyInfo, 14> kSymbologies{{
    {TSymbology::Code128, "code128", "Code 128", BARCODE_CODE128, false, 10},
    {TSymbology::Gs1_128, "gs1-128", "GS1-128", BARCODE_GS1_128, false, 10},
    {TSymbology::Ean13, "ean13", "EAN-13", BARCODE_EANX, false, 11},
    {TSymbology::Ean8, "ean8", "EAN-8", BARCODE_EANX, false, 7},
    {TSymbology::UpcA, "upca", "UPC-A", BARCODE_UPCA, false, 9},
    {TSymbology::UpcE, "upce", "UPC-E", BARCODE_UPCE, false, 9},
    {TSymbology::Code39, "code39", "Code 39", BARCODE_CODE39, false, 10},
    {TSymbology::Itf14, "itf14", "ITF-14", BARCODE_ITF14, false, 10},
    {TSymbology::Interleaved2of5, "interleaved2of5", "Interleaved 2 of 5", BARCODE_C25INTER, false,
     10},
    {TSymbology::QrCode, "qr", "QR Code", BARCODE_QRCODE, true, 4},
    {TSymbology::DataMatrix, "datamatrix", "Data Matrix", BARCODE_DATAMATRIX, true, 1},
    {TSymbology::Gs1DataMatrix, "gs1-datamatrix", "GS1 Data Matrix", BARCODE_DATAMATRIX, true, 1},
    {TSymbology::Pdf417, "pdf417", "PDF417", BARCODE_PDF417, true, 2},
    {TSymbology::Aztec, "aztec", "Aztec Code", BARCODE_AZTEC, true, 1},
}};

const TSymbologyInfo& InfoOf(TSymbology Symbology) {
  return kSymbologies[static_cast<size_t>(Symbology)];
}

// The longest data accepted, in bytes; larger than any symbol holds, so the
// encoder reports "too long" with its own reason below this.
constexpr size_t kMaxDataBytes = 8192;

// Data quoted for messages: at most 60 bytes, control bytes escaped.
std::string Quoted(std::string_view Data) {
  std::string out = "\"";
  for (size_t i = 0; i < Data.size() && i < 60; ++i) {
    const auto c = static_cast<unsigned char>(Data[i]);
    if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (Data.size() > 60) out += "...";
  return out + "\"";
}

[[noreturn]] void Fail(TSymbology Symbology, std::string_view Data, const std::string& Reason) {
  throw EBarcodeError("Cannot make " + std::string(InfoOf(Symbology).DisplayName) + " barcode " +
                      Quoted(Data) + ": " + Reason);
}

bool AllDigits(std::string_view Data) {
  return !Data.empty() &&
         std::all_of(Data.begin(), Data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Checks what the encoder would accept but change or misread: the digit counts of
// the retail codes (a 7-digit "EAN-13" would come out as an EAN-8), add-ons, lower
// case in Code 39, options that do not apply.
void CheckInput(TSymbology Symbology, std::string_view Data, const TBarcodeOptions& Options) {
  if (Data.empty()) Fail(Symbology, Data, "no data");
  if (Data.size() > kMaxDataBytes) {
    Fail(Symbology, Data,
         std::to_string(Data.size()) + " bytes is more than any symbol holds");
  }
  auto digits = [&](size_t Low, size_t High) {
    if (!AllDigits(Data)) return; // the encoder names the character at fault
    if (Data.size() < Low || Data.size() > High) {
      Fail(Symbology, Data,
           std::to_string(Data.size()) + " digits given; it takes " + std::to_string(Low) +
               " (the check digit is added)" +
               (High > Low ? " or " + std::to_string(High) + " (with the check digit)" : ""));
    }
  };
  const bool retail = Symbology == TSymbology::Ean13 || Symbology == TSymbology::Ean8 ||
                      Symbology == TSymbology::UpcA || Symbology == TSymbology::UpcE;
  if (const size_t plus = Data.find('+'); retail && plus != std::string_view::npos) {
    Fail(Symbology, Data,
         "'+' at position " + std::to_string(plus + 1) + ": add-on symbols are not supported");
  }
  switch (Symbology) {
  case TSymbology::Ean13: digits(12, 13); break;
  case TSymbology::Ean8: digits(7, 8); break;
  case TSymbology::UpcA: digits(11, 12); break;
  case TSymbology::UpcE:
    if (AllDigits(Data) && (Data.size() < 6 || Data.size() > 8)) {
      Fail(Symbology, Data,
           std::to_string(Data.size()) + " digits given; it takes 6 or 7 (the check digit is "
                                         "added) or 8 (with the check digit)");
    }
    break;
  case TSymbology::Itf14: digits(13, 14); break;
  case TSymbology::Code39:
    for (size_t i = 0; i < Data.size(); ++i) {
      if (Data[i] >= 'a' && Data[i] <= 'z') {
        Fail(Symbology, Data,
             "lower-case letter '" + std::string(1, Data[i]) + "' at position " +
                 std::to_string(i + 1) + " (Code 39 has capitals only)");
      }
    }
    break;
  default: break;
  }
  const char level = Options.ErrorCorrection;
  if (level != 'L' && level != 'M' && level != 'Q' && level != 'H') {
    Fail(Symbology, Data,
         "unknown error correction level '" + std::string(1, level) + "' (L, M, Q or H)");
  }
  if (Options.Version != 0) {
    int32_t most = 0;
    if (Symbology == TSymbology::QrCode) most = 40;
    if (Symbology == TSymbology::DataMatrix || Symbology == TSymbology::Gs1DataMatrix) most = 30;
    if (most == 0) {
      Fail(Symbology, Data,
           "version " + std::to_string(Options.Version) +
               " given, but only QR Code and Data Matrix have a version");
    }
    if (Options.Version < 1 || Options.Version > most) {
      Fail(Symbology, Data,
           "version " + std::to_string(Options.Version) + " is out of range (1 to " +
               std::to_string(most) + ")");
    }
  }
}

// A zint symbol, deleted on every path.
class TZintSymbol {
public:
  TZintSymbol() : symbol_(ZBarcode_Create()) {
    if (symbol_ == nullptr) throw EBarcodeError("Cannot make a barcode: out of memory");
  }
  ~TZintSymbol() { ZBarcode_Delete(symbol_); }
  TZintSymbol(const TZintSymbol&) = delete;
  TZintSymbol& operator=(const TZintSymbol&) = delete;
  zint_symbol* operator->() const noexcept { return symbol_; }
  zint_symbol* get() const noexcept { return symbol_; }

private:
  zint_symbol* symbol_;
};

bool ModuleIsSet(const zint_symbol& Symbol, int Row, int Column) {
  return ((Symbol.encoded_data[Row][Column >> 3] >> (Column & 7)) & 1) != 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Names

std::optional<TSymbology> SymbologyFromName(std::string_view Name) {
  std::string lower(Name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const TSymbologyInfo& info : kSymbologies) {
    if (lower == info.Name) return info.Symbology;
  }
  return std::nullopt;
}

const char* SymbologyName(TSymbology Symbology) { return InfoOf(Symbology).Name; }

std::string SymbologyNames() {
  std::string names;
  for (const TSymbologyInfo& info : kSymbologies) {
    if (!names.empty()) names += ", ";
    names += info.Name;
  }
  return names;
}

// ---------------------------------------------------------------------------
// Encoding

TBarcodeGraphic::TBarcodeGraphic(TSymbology Symbology, std::string Data,
                                 const TBarcodeOptions& Options)
    : symbology_(Symbology), data_(std::move(Data)), options_(Options) {
  if (static_cast<size_t>(Symbology) >= kSymbologies.size()) {
    throw EBarcodeError("Cannot make a barcode: unknown symbology " +
                        std::to_string(static_cast<int>(Symbology)));
  }
  CheckInput(symbology_, data_, options_);
  const TSymbologyInfo& info = InfoOf(symbology_);

  TZintSymbol symbol;
  symbol->symbology = info.ZintType;
  symbol->input_mode = UNICODE_MODE;
  if (symbology_ == TSymbology::Gs1_128 || symbology_ == TSymbology::Gs1DataMatrix) {
    // Element strings as "[01]0950..." or, as printed under the bars, "(01)0950...".
    symbol->input_mode = GS1_MODE | (data_.starts_with('(') ? GS1PARENS_MODE : 0);
  }
  if (symbology_ == TSymbology::QrCode) {
    symbol->option_1 = std::string_view("LMQH").find(options_.ErrorCorrection) + 1;
  }
  if (options_.Version != 0) symbol->option_2 = options_.Version;
  if (symbology_ == TSymbology::DataMatrix || symbology_ == TSymbology::Gs1DataMatrix) {
    symbol->option_3 = DM_SQUARE; // square symbols unless a rectangular size is asked for
  }

  const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data_.data()),
                                     static_cast<int>(data_.size()));
  if (result >= ZINT_ERROR || result == ZINT_WARN_INVALID_OPTION ||
      result == ZINT_WARN_NONCOMPLIANT) {
    std::string reason = symbol->errtxt;
    // "Error 275: Invalid check digit '2', expecting '1'" -> the reason alone.
    if (const size_t colon = reason.find(": "); reason.starts_with("Error ") || reason.starts_with("Warning ")) {
      if (colon != std::string::npos) reason.erase(0, colon + 2);
    }
    if (reason.empty()) reason = "the encoder refused it (code " + std::to_string(result) + ")";
    Fail(symbology_, data_, reason);
  }
  if (symbol->rows <= 0 || symbol->width <= 0 || symbol->rows > 200 || symbol->width > 144 * 8) {
    Fail(symbology_, data_, "the encoder made an empty symbol");
  }

  columns_ = symbol->width;
  rows_ = info.TwoDimensional ? symbol->rows : 1;
  rowHeights_.resize(static_cast<size_t>(rows_));
  const double defaultRow = symbol->height / std::max(1, symbol->rows);
  for (int32_t r = 0; r < rows_; ++r) {
    const double h = symbol->row_height[r] > 0 ? symbol->row_height[r] : defaultRow;
    rowHeights_[static_cast<size_t>(r)] = std::max<int32_t>(1, static_cast<int32_t>(std::lround(h)));
  }
  if (!info.TwoDimensional) rowHeights_[0] = std::max<int32_t>(1, static_cast<int32_t>(std::lround(symbol->height)));
  modules_.resize(static_cast<size_t>(rows_) * static_cast<size_t>(columns_));
  for (int32_t r = 0; r < rows_; ++r) {
    for (int32_t c = 0; c < columns_; ++c) {
      modules_[static_cast<size_t>(r) * static_cast<size_t>(columns_) + static_cast<size_t>(c)] =
          ModuleIsSet(*symbol.get(), r, c) ? 1 : 0;
    }
  }
  if (!info.TwoDimensional && options_.HumanReadable) {
    text_ = reinterpret_cast<const char*>(symbol->text);
  }
}

TBarcodeGraphic::~TBarcodeGraphic() = default;

bool TBarcodeGraphic::TwoDimensional() const noexcept { return InfoOf(symbology_).TwoDimensional; }

int32_t TBarcodeGraphic::QuietX() const noexcept {
  return options_.QuietZones ? InfoOf(symbology_).QuietZone : 0;
}

int32_t TBarcodeGraphic::QuietY() const noexcept { return TwoDimensional() ? QuietX() : 0; }

int32_t TBarcodeGraphic::RowHeight(int32_t Row) const noexcept {
  if (Row < 0 || Row >= rows_) return 0;
  return rowHeights_[static_cast<size_t>(Row)];
}

bool TBarcodeGraphic::Dark(int32_t Column, int32_t Row) const noexcept {
  if (Column < 0 || Row < 0 || Column >= columns_ || Row >= rows_) return false;
  return modules_[static_cast<size_t>(Row) * static_cast<size_t>(columns_) +
                  static_cast<size_t>(Column)] != 0;
}

int32_t TBarcodeGraphic::Width() const { return columns_ + 2 * QuietX(); }

int32_t TBarcodeGraphic::Height() const {
  int32_t height = 2 * QuietY();
  for (int32_t h : rowHeights_) height += h;
  return height;
}

std::unique_ptr<TBarcodeGraphic> MakeBarcode(std::string_view Symbology, const std::string& Data,
                                             const TBarcodeOptions& Options) {
  const std::optional<TSymbology> symbology = SymbologyFromName(Symbology);
  if (!symbology) {
    throw EBarcodeError("Unknown barcode symbology " + Quoted(Symbology) + " (known: " +
                        SymbologyNames() + ")");
  }
  return std::make_unique<TBarcodeGraphic>(*symbology, Data, Options);
}

// ---------------------------------------------------------------------------
// Drawing

void AddBarcodePath(cairo_t* Cairo, const TBarcodeGraphic& Barcode, double X, double Y,
                    double ModuleWidth, double ModuleHeight, double BarHeight) {
  const int32_t rows = Barcode.Rows(), columns = Barcode.Columns();
  if (!Barcode.TwoDimensional()) {
    // One rectangle a bar: each run of dark modules.
    for (int32_t c = 0; c < columns;) {
      if (!Barcode.Dark(c, 0)) {
        ++c;
        continue;
      }
      const int32_t start = c;
      while (c < columns && Barcode.Dark(c, 0)) ++c;
      cairo_rectangle(Cairo, X + start * ModuleWidth, Y, (c - start) * ModuleWidth, BarHeight);
    }
    return;
  }
  // Matrix and stacked symbols: each run of dark modules, grown downward over the
  // rows below it that are dark in the same columns, so a symbol takes about a
  // third fewer rectangles than runs (smaller files, faster to write and to rip).
  std::vector<double> tops(static_cast<size_t>(rows) + 1, Y);
  for (int32_t r = 0; r < rows; ++r)
    tops[static_cast<size_t>(r) + 1] = tops[static_cast<size_t>(r)] + Barcode.RowHeight(r) * ModuleHeight;
  std::vector<uint8_t> taken(static_cast<size_t>(rows) * static_cast<size_t>(columns), 0);
  const auto free = [&](int32_t C, int32_t R) {
    return Barcode.Dark(C, R) &&
           taken[static_cast<size_t>(R) * static_cast<size_t>(columns) + static_cast<size_t>(C)] == 0;
  };
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < columns;) {
      if (!free(c, r)) {
        ++c;
        continue;
      }
      const int32_t start = c;
      while (c < columns && free(c, r)) ++c;
      int32_t end = r + 1;
      while (end < rows) {
        bool whole = true;
        for (int32_t k = start; k < c && whole; ++k) whole = free(k, end);
        if (!whole) break;
        ++end;
      }
      for (int32_t rr = r; rr < end; ++rr)
        for (int32_t k = start; k < c; ++k)
          taken[static_cast<size_t>(rr) * static_cast<size_t>(columns) + static_cast<size_t>(k)] = 1;
      cairo_rectangle(Cairo, X + start * ModuleWidth, tops[static_cast<size_t>(r)],
                      (c - start) * ModuleWidth,
                      tops[static_cast<size_t>(end)] - tops[static_cast<size_t>(r)]);
    }
  }
}

namespace {

std::string Millimetres(int64_t Pixels, int32_t Dpi) {
  return FormatNumber(std::ceil(Pixels * 254.0 / Dpi) / 10.0, 4) + " mm";
}

} // namespace

void PaintBarcode(cairo_t* Cairo, const TBarcodeGraphic& Barcode, double X, double Y,
                  double Width, double Height) {
  if (Cairo == nullptr || !std::isfinite(X) || !std::isfinite(Y) || !std::isfinite(Width) ||
      !std::isfinite(Height) || Width <= 0.0 || Height <= 0.0) {
    return;
  }
  const double moduleX = Width / Barcode.Width();
  const double moduleY = Height / Barcode.Height();
  cairo_save(Cairo);
  cairo_new_path(Cairo);
  cairo_set_source_rgb(Cairo, 0, 0, 0);
  AddBarcodePath(Cairo, Barcode, X + Barcode.QuietX() * moduleX, Y + Barcode.QuietY() * moduleY,
                 moduleX, moduleY, Height);
  cairo_fill(Cairo);
  cairo_restore(Cairo);
}

void DrawBarcode(HDC DC, TColor Ink, const TBarcodeGraphic& Barcode, const TRect& Rect,
                 uint8_t Alignment, uint8_t Layout) {
  if (DC == nullptr) return;
  const HDC dc = DC;
  const int32_t dpiX = std::max(1, GetDeviceCaps(dc, LOGPIXELSX));
  const int32_t dpiY = std::max(1, GetDeviceCaps(dc, LOGPIXELSY));
  const int64_t width = std::max<int64_t>(0, int64_t{Rect.Right} - Rect.Left);
  const int64_t height = std::max<int64_t>(0, int64_t{Rect.Bottom} - Rect.Top);
  const bool linear = !Barcode.TwoDimensional();
  const int64_t columns = Barcode.Width();  // quiet zones included
  const int64_t rows = Barcode.Height();    // module rows, 2-D symbols only

  // Text under 1-D bars, measured in the cell's font.
  const std::string& text = Barcode.HumanReadableText();
  int64_t textHeight = 0;
  if (linear && !text.empty()) {
    TRect measure{0, 0, ClampToInt32(width), 0};
    textHeight = DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &measure,
                           DT_CALCRECT | DT_NOPREFIX);
  }

  // The module: a whole number of device pixels across; down, the same length
  // on paper (a whole number of pixels too) so that 2-D modules stay square.
  int64_t moduleX = width / columns;
  int64_t moduleY = 0;
  auto down = [&](int64_t Across) { return std::max<int64_t>(1, (Across * dpiY + dpiX / 2) / dpiX); };
  if (!linear) {
    while (moduleX > 0 && down(moduleX) * rows > height) --moduleX;
    moduleY = moduleX > 0 ? down(moduleX) : 0;
  }
  const int64_t barHeight = linear ? height - textHeight : 0;

  const std::string what = InfoOf(Barcode.Symbology()).DisplayName;
  const int64_t minimum =
      dc->Raster ? 1 : static_cast<int64_t>(std::ceil(MinModuleMillimetres * dpiX / 25.4 - 1e-9));
  if (moduleX < minimum || (linear && barHeight < std::max<int64_t>(minimum, 1))) {
    const int64_t needX = minimum * columns;
    std::string message = "Barcode " + Quoted(Barcode.Data()) + " (" + what + ", " +
                          std::to_string(columns) + " modules across" +
                          (linear ? "" : " and " + std::to_string(rows) + " down") +
                          ") does not fit its cell of " + Millimetres(width, dpiX) + " x " +
                          Millimetres(height, dpiY) + ": ";
    if (moduleX < minimum) {
      message += dc->Raster ? "a module would be under one device pixel at " +
                                  std::to_string(dpiX) + " dpi"
                            : "a module would be narrower than " +
                                  FormatNumber(MinModuleMillimetres) + " mm";
      message += "; it needs at least " + Millimetres(needX, dpiX) +
                 (linear ? " across" : " x " + Millimetres(down(minimum) * rows, dpiY));
    } else {
      message += "no room for the bars above the text";
    }
    throw EBarcodeError(message);
  }

  const int64_t symbolWidth = moduleX * columns;
  const int64_t symbolHeight = linear ? barHeight : moduleY * rows;
  int64_t left = Rect.Left;
  if (Alignment == 1) left += width - symbolWidth;
  if (Alignment == 2) left += (width - symbolWidth) / 2;
  int64_t top = Rect.Top;
  if (!linear && Layout == 1) top += (height - symbolHeight) / 2;
  if (!linear && Layout == 2) top += height - symbolHeight;

  dc->Record("DrawBarcode",
             {left, top, left + symbolWidth, top + symbolHeight, moduleX, linear ? 0 : moduleY},
             Barcode.Data());
  if (dc->Cairo != nullptr) {
    cairo_t* cairo = dc->Cairo;
    cairo_save(cairo);
    if (dc->Raster) cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    SetSourceColor(cairo, Ink);
    cairo_new_path(cairo);
    AddBarcodePath(cairo, Barcode, static_cast<double>(left + Barcode.QuietX() * moduleX),
                   static_cast<double>(top + Barcode.QuietY() * moduleY), static_cast<double>(moduleX),
                   static_cast<double>(moduleY), static_cast<double>(barHeight));
    cairo_fill(cairo);
    cairo_restore(cairo);
  }
  if (textHeight > 0) {
    TRect textRect{ClampToInt32(left), ClampToInt32(top + barHeight),
                   ClampToInt32(left + symbolWidth), Rect.Bottom};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect, DT_CENTER | DT_NOPREFIX);
  }
}

} // namespace mivora
