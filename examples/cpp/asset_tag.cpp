// An asset tag: the asset number as a Code 128 with its text under the bars and
// a QR code that links to the asset's page. Prints to the target named on the
// command line ("png:asset-tag.png" by default).
#include <Barcode.h>
#include <Mivora.h>
#include <Printer.h>

#include <cstdio>

using namespace mivora;

int main(int argc, char** argv) {
  try {
    Printer()->SetTarget(argc > 1 ? argv[1] : "png:asset-tag.png");
    Printer()->SetPaperSize(80, 30); // millimetres
    Printer()->SetResolution(300);
    TMivora sheet(nullptr); // centimetres
    sheet.SetFont("Arial", clBlack, 0.35f, 0); // the text under the bars
    sheet.AddGraphic("Number", MakeBarcode("code128", "ASSET-004217").release(), 0.2f, 0.3f,
                     5.2f, 2.4f);
    sheet.AddGraphic("Link", MakeBarcode("qr", "https://example.com/assets/4217").release(),
                     5.6f, 0.3f, 2.2f, 2.4f);
    sheet.Print("Asset tag"); // a cell too small to scan is an error, not a page
  } catch (const std::exception& e) {
    std::fprintf(stderr, "asset_tag: %s\n", e.what());
    return 1;
  }
  return 0;
}
