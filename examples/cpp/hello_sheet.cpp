// A small sheet built in code: a framed title, a name, and a row of three
// boxes made by splitting one cell. Prints to the file named on the command line.
#include <Mivora.h>
#include <Printer.h>

#include <cstdio>

using namespace mivora;

int main(int argc, char** argv) {
  try {
    Printer()->SetTarget(argc > 1 ? argv[1] : "pdf:hello.pdf");
    TMivora sheet(nullptr); // centimetres
    sheet.SetFont("Arial", clBlack, 0.5f, 0); // nothing selected: the settings for new cells
    sheet.AddText("Title", "Certificate of Completion", 2, 2, 17, 2.5f);
    sheet.SetFont("Arial", clBlack, 0.9f, fsBold); // formats the selected cell, "Title"
    sheet.SetEdges(edAll, 0x00804000, psSolid, 12);
    sheet.AddText("Name", "awarded to Ada Lovelace", 2, 5, 17, 1.5f);
    sheet.SetFont("Times New Roman", clBlack, 0.7f, fsItalic);
    sheet.Add("Boxes", 2, 8, 17, 3);
    sheet.SplitV("Box", 3); // BoxC1, BoxC2, BoxC3, now selected
    sheet.SetBrush(0x00F0E0D0, bsSolid);
    sheet.SetEdges(edBorders, clBlack, psSolid, 4);
    sheet.FillText({"Date\n8 December 2026", "Grade\nDistinction", "Signed\nC. Babbage"});
    sheet.Find("boxc2")->Font.Height = 0.6f;
    sheet.Print("Certificate");
    std::printf("written: %s\n", Printer()->OutputFiles().front().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hello_sheet: %s\n", e.what());
    return 1;
  }
  return 0;
}
