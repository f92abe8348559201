// A program that uses the installed library as any other would: it prints one
// page to the PDF named on its command line and says which version it was built with.
#include <Mivora.h>
#include <MivoraVersion.h>
#include <Printer.h>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer OUT.pdf\n");
    return 2;
  }
  try {
    mivora::Printer()->SetTarget(std::string("pdf:") + argv[1]);
    mivora::TMivora sheet(nullptr);
    sheet.AddText("Greeting", "Installed and linked", 2, 2, 17, 2);
    sheet.Print("Consumer");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", MIVORA_VERSION);
  return 0;
}
