// Address labels on an A4 sheet of 3 x 7 (L7160): the sheet describes ONE
// label, in the label's own coordinates, and the label printer places it on
// each label in turn, starting a new page when the sheet is full. Prints to
// the target named on the command line ("pdf:labels.pdf" by default).
#include <LabelSheets.h>
#include <Mivora.h>
#include <Printer.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace mivora;

struct TAddress {
  std::string Name, Street, City;
};

int main(int argc, char** argv) {
  const std::vector<TAddress> addresses = {
      {"Ada Lovelace", "12 St James's Square", "London SW1Y 4JH"},
      {"Grace Hopper", "1 Navy Yard", "Arlington VA 22202"},
      {"Edsger Dijkstra", "Plantage Muidergracht 24", "1018 TV Amsterdam"},
      {"Alan Turing", "Bletchley Park", "Milton Keynes MK3 6EB"},
      {"Katherine Johnson", "1 NASA Drive", "Hampton VA 23681"},
      {"John von Neumann", "Einstein Drive", "Princeton NJ 08540"},
      {"Hedy Lamarr", "Mariahilfer Strasse 1", "1060 Vienna"},
      {"Claude Shannon", "600 Mountain Avenue", "Murray Hill NJ 07974"},
      {"Barbara Liskov", "32 Vassar Street", "Cambridge MA 02139"},
      {"Donald Knuth", "353 Jane Stanford Way", "Stanford CA 94305"}};
  const TLabelSheet& l7160 = LabelSheet("L7160"); // 21 labels of 63.5 x 38.1 mm
  TMivora sheet(nullptr);                         // centimetres
  try {
    Printer()->SetTarget(argc > 1 ? argv[1] : "pdf:labels.pdf");
    Printer()->SetPaperSize(l7160.Grid.PaperWidth, l7160.Grid.PaperHeight);
    Printer()->SetMargins(TPrinterMargins{}); // label sheets are measured from the paper's edge

    // One label, 6.35 x 3.81 cm: the name in bold, then street and city.
    sheet.SetFont("Arial", clBlack, 0.38f, 0); // no cell selected: every new cell gets it
    TCell* name = sheet.AddText("Name", "", 0.5f, 0.6f, 5.35f, 0.8f);
    TCell* street = sheet.AddText("Street", "", 0.5f, 1.4f, 5.35f, 0.8f);
    TCell* city = sheet.AddText("City", "", 0.5f, 2.2f, 5.35f, 0.8f);
    sheet.Select("Name");
    sheet.SetFont("Arial", clBlack, 0.42f, fsBold); // the selected cell
    sheet.Select("Name;Street;City");
    sheet.SetAlignment(0); // left

    TLabelPrinter labels(sheet, l7160.Grid, 15); // labels 1-14 of the first sheet are used already
    sheet.BeginDocument("Address labels");
    for (const TAddress& a : addresses) {
      name->SetText(a.Name);
      street->SetText(a.Street);
      city->SetText(a.City);
      labels.PrintLabel(); // the cells go back to the label's coordinates afterwards
    }
    sheet.EndDocument();
    std::printf("%lld labels on %d pages: %s\n", static_cast<long long>(labels.Printed()), sheet.DocumentPages(),
                Printer()->OutputFiles().front().c_str());
  } catch (const std::exception& e) {
    sheet.AbortDocument(); // nothing is written
    std::fprintf(stderr, "labels: %s\n", e.what());
    return 1;
  }
  return 0;
}
