// Barcodes: a picture made from a symbology, the data and a few options. The
// symbol is encoded once, when the barcode is made; drawing places its modules on
// whole device pixels and fills the dark ones as rectangles, so PDF, SVG and
// PostScript get vector bars and PNG gets sharp ones.
//
// Making one and showing it in a cell:
//
//   auto code = mivora::MakeBarcode("qr", "https://example.com/t/1Z999");
//   sheet->AddGraphic("Code", code.release(), 10, 10, 40, 40);
//
// A cell that holds a barcode is a graphic cell: stacking, selecting,
// formatting, cutting and printing treat it as any picture. When printed, the
// symbol fills the cell as large as fits: 2-D symbols keep square modules and are
// placed by the cell's alignment and layout, 1-D symbols take the cell's height
// for their bars with the human-readable text beneath in the cell's font. Dark
// modules take the font's colour, light ones the cell's brush.
#pragma once

#include "Gdi.h"
#include "Picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

// The symbologies a barcode can be made in.
enum class TSymbology : uint8_t {
  Code128,         // "code128": any ASCII text
  Gs1_128,         // "gs1-128": GS1 element strings, "[01]09501101530003[10]AB12"
  Ean13,           // "ean13": 12 digits (check digit added) or 13
  Ean8,            // "ean8": 7 digits (check digit added) or 8
  UpcA,            // "upca": 11 digits (check digit added) or 12
  UpcE,            // "upce": 6 or 7 digits (check digit added), or 8
  Code39,          // "code39": digits, capitals, space and - . $ / + %
  Itf14,           // "itf14": 13 digits (check digit added) or 14
  Interleaved2of5, // "interleaved2of5": digits (a leading 0 makes the count even)
  QrCode,          // "qr": any text, UTF-8
  DataMatrix,      // "datamatrix": any text, UTF-8
  Gs1DataMatrix,   // "gs1-datamatrix": GS1 element strings
  Pdf417,          // "pdf417": any text, UTF-8
  Aztec,           // "aztec": any text, UTF-8
};

// The symbology named Name in layouts ("qr", "code128", ...; case ignored), if any.
std::optional<TSymbology> SymbologyFromName(std::string_view Name);
// The name of Symbology as written in layouts ("qr").
const char* SymbologyName(TSymbology Symbology);
// Every symbology name, in the order of TSymbology, for messages and help.
std::string SymbologyNames();

// How a barcode is made. The defaults suit most labels.
struct TBarcodeOptions {
  // Text under 1-D symbols (the data, with any computed check digit).
  bool HumanReadable = true;
  // The blank margins scanners need around the symbol, inside the cell.
  bool QuietZones = true;
  // QR Code error correction: 'L' (7 %), 'M' (15 %), 'Q' (25 %) or 'H' (30 %).
  char ErrorCorrection = 'M';
  // QR Code version 1 to 40, or Data Matrix size 1 to 24 (square, 10 x 10 to
  // 144 x 144 modules) or 25 to 30 (rectangular, 8 x 18 to 16 x 48); 0 picks the
  // smallest that holds the data. Other symbologies accept only 0.
  int32_t Version = 0;
};

// A barcode symbol: its modules, its quiet zones and its human-readable text.
class TBarcodeGraphic : public TGraphic {
public:
  // The symbol for Data in Symbology. Raises EBarcodeError when the data or an
  // option does not suit the symbology: letters in an EAN, a wrong check digit,
  // data too long, a version out of range.
  TBarcodeGraphic(TSymbology Symbology, std::string Data, const TBarcodeOptions& Options = {});
  ~TBarcodeGraphic() override;

  // Natural width: one pixel per module, quiet zones included.
  int32_t Width() const override;
  // Natural height: one pixel per module row for 2-D symbols (quiet zones
  // included), the bars' nominal height in modules for 1-D ones.
  int32_t Height() const override;

  TSymbology Symbology() const noexcept { return symbology_; }
  const std::string& Data() const noexcept { return data_; }
  const TBarcodeOptions& Options() const noexcept { return options_; }
  // True for matrix and stacked symbols (QR, Data Matrix, PDF417, Aztec).
  bool TwoDimensional() const noexcept;
  // Modules across and rows down, without quiet zones.
  int32_t Columns() const noexcept { return columns_; }
  int32_t Rows() const noexcept { return rows_; }
  // Height of row Row in modules (1 for matrix symbols, 3 for PDF417 rows).
  int32_t RowHeight(int32_t Row) const noexcept;
  // Whether the module at (Column, Row) is dark; false outside the symbol.
  bool Dark(int32_t Column, int32_t Row) const noexcept;
  // Quiet zone, in modules, left and right of the symbol, and above and below it
  // (0 when quiet zones are off).
  int32_t QuietX() const noexcept;
  int32_t QuietY() const noexcept;
  // The text printed under a 1-D symbol; empty for 2-D symbols or when off.
  const std::string& HumanReadableText() const noexcept { return text_; }

private:
  TSymbology symbology_;
  std::string data_;
  TBarcodeOptions options_;
  int32_t columns_ = 0;
  int32_t rows_ = 0;
  std::vector<int32_t> rowHeights_;
  std::vector<uint8_t> modules_; // rows_ x columns_, 1 = dark
  std::string text_;
};

// Makes a barcode picture from a symbology name ("qr", "code128", "ean13", ...;
// see TSymbology), the data and the options. Raises EBarcodeError naming an
// unknown symbology, or with the symbology's reason when the data does not suit
// it. The caller owns the result; hand it to a cell with AddGraphic or SetGraphic.
std::unique_ptr<TBarcodeGraphic> MakeBarcode(std::string_view Symbology, const std::string& Data,
                                             const TBarcodeOptions& Options = {});

// Draws Barcode into Rect on the device context DC, as a cell does: module edges
// on whole device pixels, dark modules as filled rectangles in Ink, light modules
// left to what lies beneath (the cell's brush), the text under 1-D symbols in the
// font selected into DC (TCanvas::GetHandle selects the canvas's). Alignment
// (0 left, 1 right, 2 centre) and Layout (0 top, 1 centre, 2 bottom) place a
// symbol smaller than Rect. Raises EBarcodeError when Rect is too small for a
// scannable symbol: a module under one device pixel, or on PDF, SVG and
// PostScript narrower than MinModuleMillimetres.
void DrawBarcode(HDC DC, TColor Ink, const TBarcodeGraphic& Barcode, const TRect& Rect,
                 uint8_t Alignment, uint8_t Layout);

// The narrowest module printed on vector targets, in millimetres.
constexpr double MinModuleMillimetres = 0.19;

} // namespace mivora
