// Barcode data on any bytes: the first byte picks the symbology, the second the
// options (text, quiet zones, error correction, a version), the rest is the
// data. A symbol that is made is read back module by module and drawn on the
// recording target in a small and a large rectangle.
#include "Barcode.h"
#include "Canvas.h"
#include "FuzzTarget.h"
#include "Printer.h"

#include <exception>
#include <memory>
#include <string>

using namespace mivora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const auto symbology = static_cast<TSymbology>(Data[0] % (static_cast<int>(TSymbology::Aztec) + 1));
  TBarcodeOptions options;
  options.HumanReadable = (Data[1] & 1) != 0;
  options.QuietZones = (Data[1] & 2) != 0;
  options.ErrorCorrection = "LMQH"[(Data[1] >> 2) & 3];
  // Mostly the automatic size; sometimes a version, in range or just out of it.
  options.Version = (Data[1] & 0x80) != 0 ? (Data[1] >> 4) * 3 - 2 : 0;
  const std::string data(reinterpret_cast<const char*>(Data) + 2, Size - 2);

  TPrinter* printer = Printer();
  printer->Abort();
  printer->SetTarget(ptRecord);
  printer->SetPaper(paA4);
  printer->SetOrientation(poPortrait);
  printer->SetResolution(300);
  printer->SetMargins({});
  try {
    // Through the name, as layouts and data files give it.
    auto code = MakeBarcode(SymbologyName(symbology), data, options);
    int64_t dark = 0;
    for (int32_t row = -1; row <= code->Rows(); ++row) {
      if (row >= 0 && row < code->Rows() && code->RowHeight(row) < 1) return 0;
      for (int32_t column = -1; column <= code->Columns(); ++column) dark += code->Dark(column, row) ? 1 : 0;
    }
    if (dark < 0 || code->Width() < code->Columns()) return 0;
    printer->BeginDoc();
    TCanvas* canvas = printer->GetCanvas();
    for (const TRect& rect : {TRect{10, 10, 2000, 1500}, TRect{0, 0, 40, 20}}) {
      try {
        DrawBarcode(canvas->GetHandle(), 0, *code, rect, static_cast<uint8_t>(Data[1] % 3),
                    static_cast<uint8_t>((Data[1] >> 3) % 3));
      } catch (const std::exception&) {
      }
    }
  } catch (const std::exception&) {
  }
  printer->Abort();
  return 0;
}
