// Layout files on any text: read, the printer set up from them, the sheet built
// and checked, and the page printed on the recording target. Files a layout names
// are looked for in the test data folder and may not lie outside it.
#include "FuzzTarget.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Mivora.h"
#include "Printer.h"

#include <exception>
#include <string>

using namespace mivora;
using namespace mivora::tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  TPrinter* printer = Printer();
  printer->Abort();
  printer->SetTarget(ptRecord);
  printer->SetPaper(paA4);
  printer->SetOrientation(poPortrait);
  printer->SetResolution(600);
  printer->SetMargins({});
  try {
    TPathPolicy policy;
    policy.BaseDir = MIVORA_FUZZ_DATA_DIR;
    const TLayout layout = ParseLayout(text, "fuzz.json", policy, "fuzz");
    ApplyPrinterSettings(*printer, layout);
    TMivora sheet(nullptr);
    BuildSheet(sheet, layout);
    CheckPrintable(sheet, layout.Label);
    sheet.Print(layout.Title);
  } catch (const std::exception&) {
  }
  printer->Abort();
  return 0;
}
