// The benchmark workloads through the library's C++ interface: a sheet built
// once, its texts changed for every page, each page printed into one job.
//
//   mivora_workloads w1 OUT.pdf [PAGES]   label sheets, PAGES pages (default 200)
//   mivora_workloads w2 OUT.pdf [SIDE]    one A3 landscape page of SIDE x SIDE cells
//   mivora_workloads w3 OUT.png           one label sheet as a 300 dpi PNG
//
// Prints "seconds <s>" (building, drawing and writing) and, for w3,
// "encode_seconds <s>" (ending the job: the recorded page drawn into pixels
// band by band and written as PNG).
#include "Mivora.h"
#include "Printer.h"
#include "WorkloadData.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

using namespace mivora;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point Start) {
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

// A font size in points as a height in centimetres; negative: the character
// (em) height, as a size in points means.
float PointsAsCm(double Points) { return static_cast<float>(-Points / 72.0 * 2.54); }

TColor ColorOf(uint32_t Rgb) {
  return ((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF);
}

// The label sheet: 3 x 10 labels filling A4, the texts left to the caller.
std::vector<TCell*> BuildLabels(TMivora& Sheet) {
  Sheet.SetFont("Arial", clBlack, PointsAsCm(bench::LabelFontPoints), 0);
  Sheet.SetBrush(ColorOf(bench::LabelFillRgb), bsSolid);
  Sheet.SetEdges(edAll, clBlack, psSolid, 1);
  Sheet.SetAlignment(2);
  Sheet.SetLayout(1);
  Sheet.SetTextProperties(false, true);
  Sheet.Add("Sheet", 0, 0, static_cast<float>(bench::A4WidthMm / 10), static_cast<float>(bench::A4HeightMm / 10));
  Sheet.Split("Label", bench::LabelRows, bench::LabelColumns);
  std::vector<TCell*> labels;
  for (int r = 0; r < bench::LabelRows; ++r)
    for (int c = 0; c < bench::LabelColumns; ++c)
      labels.push_back(Sheet.Find("LabelR" + std::to_string(r + 1) + "C" + std::to_string(c + 1)));
  return labels;
}

void FillLabels(const std::vector<TCell*>& Labels, int64_t Page) {
  for (size_t i = 0; i < Labels.size(); ++i)
    Labels[i]->SetText(bench::LabelText(Page * bench::LabelsPerPage + static_cast<int64_t>(i)));
}

int LabelsPdf(const char* Path, int64_t Pages) {
  TPrinter* printer = Printer();
  printer->SetTarget(ptPdf, Path);
  printer->SetPaper(paA4);
  printer->SetResolution(bench::LabelDpi);
  TMivora sheet(nullptr);
  const std::vector<TCell*> labels = BuildLabels(sheet);
  printer->SetTitle("Labels");
  printer->BeginDoc();
  for (int64_t page = 0; page < Pages; ++page) {
    if (page > 0) printer->NewPage();
    FillLabels(labels, page);
    sheet.PrintPage();
  }
  printer->EndDoc();
  return 0;
}

int GridPdf(const char* Path, int Side) {
  TPrinter* printer = Printer();
  printer->SetTarget(ptPdf, Path);
  printer->SetPaper(paA3);
  printer->SetOrientation(poLandscape);
  printer->SetResolution(bench::GridDpi);
  TMivora sheet(nullptr);
  sheet.SetFont("Arial", clBlack, PointsAsCm(bench::GridFontPoints), 0);
  sheet.SetEdges(edAll, clBlack, psSolid, 1);
  sheet.SetAlignment(2);
  sheet.SetLayout(1);
  if (Side > 0) {
    sheet.Add("Grid", 0, 0, static_cast<float>(bench::A3WidthMm / 10), static_cast<float>(bench::A3HeightMm / 10));
    sheet.Split("G", Side, Side);
    std::vector<std::string> texts;
    for (int64_t i = 0; i < int64_t{Side} * Side; ++i) texts.push_back(bench::GridText(i));
    sheet.FillText(texts);
  }
  sheet.Print("Grid");
  return 0;
}

int LabelsPng(const char* Path) {
  TPrinter* printer = Printer();
  printer->SetTarget(ptPng, Path);
  printer->SetPaper(paA4);
  printer->SetResolution(bench::LabelDpi);
  TMivora sheet(nullptr);
  const std::vector<TCell*> labels = BuildLabels(sheet);
  FillLabels(labels, 0);
  printer->SetTitle("Labels");
  printer->BeginDoc();
  sheet.PrintPage();
  const auto start = Clock::now();
  printer->EndDoc();
  std::printf("encode_seconds %.6f\n", Since(start));
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: mivora_workloads w1 OUT.pdf [PAGES] | w2 OUT.pdf [SIDE] | w3 OUT.png\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string workload = argv[1];
  const auto start = Clock::now();
  int status = 0;
  try {
    if (workload == "w1") {
      status = LabelsPdf(argv[2], argc > 3 ? std::atoll(argv[3]) : 200);
    } else if (workload == "w2") {
      status = GridPdf(argv[2], argc > 3 ? std::atoi(argv[3]) : bench::GridSide);
    } else if (workload == "w3") {
      status = LabelsPng(argv[2]);
    } else {
      return Usage();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mivora_workloads: %s\n", error.what());
    return 1;
  }
  std::printf("seconds %.6f\n", Since(start));
  return status;
}
