// The barcode benchmark through the library's C++ interface: 4 x 6 inch shipping
// labels, each with a sender block, a recipient block, a Code 128 tracking number
// and a QR code of its tracking link, one label a page, all into one PDF.
//
//   barcode_workloads OUT.pdf [LABELS]   (default 2,000)
//
// Prints "seconds <s>": building the sheet, encoding every barcode, drawing and
// writing the PDF.
#include "Barcode.h"
#include "BarcodeLabelData.h"
#include "Mivora.h"
#include "Printer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace mivora;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: barcode_workloads OUT.pdf [LABELS]\n");
    return 2;
  }
  const int64_t labels = argc > 2 ? std::atoll(argv[2]) : bench::ShippingLabels;
  const auto start = std::chrono::steady_clock::now();
  try {
    TPrinter* printer = Printer();
    printer->SetTarget(ptPdf, argv[1]);
    printer->SetPaperSize(bench::ShippingWidthMm, bench::ShippingHeightMm);
    printer->SetResolution(bench::ShippingDpi);
    TMivora sheet(nullptr); // centimetres
    sheet.SetFont("Arial", clBlack, 0.4f, 0);
    sheet.SetAlignment(0);
    sheet.SetTextProperties(false, true);
    sheet.AddText("Sender", "Mivora Supplies\n1 Printer Lane\n10117 Berlin", 0.5f, 0.5f, 9, 2);
    TCell* recipient = sheet.AddText("Recipient", "", 0.5f, 3, 9, 3);
    sheet.SetFont("Arial", clBlack, 0.35f, 0);
    TCell* tracking = sheet.AddGraphic("Tracking", nullptr, 0.5f, 6.5f, 9.1f, 3);
    TCell* link = sheet.AddGraphic("Link", nullptr, 0.5f, 10, 4.5f, 4.5f);
    printer->SetTitle("Shipping labels");
    printer->BeginDoc();
    for (int64_t k = 0; k < labels; ++k) {
      if (k > 0) printer->NewPage();
      recipient->SetText(bench::Recipient(k) + "\n" + bench::Street(k) + "\n" + bench::City(k));
      tracking->SetGraphic(MakeBarcode("code128", bench::Tracking(k)).release());
      link->SetGraphic(MakeBarcode("qr", bench::TrackingUrl(k)).release());
      sheet.PrintPage();
    }
    printer->EndDoc();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "barcode_workloads: %s\n", e.what());
    return 1;
  }
  std::printf("seconds %.6f\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}
