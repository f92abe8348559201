// Name badges, one page each, in one document: the sheet is laid out once and
// printed as the next page after each change. Prints to the target named on the
// command line ("pdf:badges.pdf" by default).
#include <Mivora.h>
#include <Printer.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace mivora;

int main(int argc, char** argv) {
  const std::vector<std::string> people = {"Ada Lovelace", "Grace Hopper", "Edsger Dijkstra"};
  TMivora sheet(nullptr); // centimetres
  try {
    Printer()->SetTarget(argc > 1 ? argv[1] : "pdf:badges.pdf");
    sheet.SetFont("Arial", clBlack, 0.6f, 0);
    sheet.AddText("Event", "Printing Workshop 2026", 2, 2, 17, 1.5f);
    sheet.SetEdges(edBottom, clBlack, psSolid, 8);
    TCell* name = sheet.AddText("Name", "", 2, 4, 17, 3);
    sheet.SetFont("Arial", clBlack, 1.2f, fsBold);
    TCell* number = sheet.AddText("Number", "", 2, 8, 17, 1);
    number->Alignment = 1; // right

    // Events as for Print: BeforePrint once, DuringPrint after each page is
    // drawn (the page is still open), AfterPrint once the document has ended.
    sheet.AfterPrint = [&](TObject*) { std::printf("%d pages\n", sheet.DocumentPages()); };

    sheet.BeginDocument("Badges");
    for (size_t i = 0; i < people.size(); ++i) {
      name->SetText(people[i]);
      number->SetText(std::to_string(i + 1) + " of " + std::to_string(people.size()));
      sheet.PrintNextPage(); // a cell that fails to draw abandons the document
    }
    sheet.EndDocument(); // the pages reach the file (or the queue) only now
    std::printf("written: %s\n", Printer()->OutputFiles().front().c_str());
  } catch (const std::exception& e) {
    sheet.AbortDocument(); // nothing is written; harmless when no document is open
    std::fprintf(stderr, "name_badges: %s\n", e.what());
    return 1;
  }
  return 0;
}
