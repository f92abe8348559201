// The picture workloads through the library's C++ interface.
//
//   picture_workloads badges OUT.pdf LOGO [COUNT]   W4: COUNT badges (default 2000),
//       8 to an A4 page, each with the logo (loaded for every badge, as a data merge
//       does), a name, a company and a role; PostScript when OUT ends in .ps
//   picture_workloads cards OUT.pdf DIR [COUNT]     W6: COUNT ID cards (default 500),
//       8 to an A4 page, each with its own photo DIR/photo-N.jpg (none where the
//       file is missing), a name and a number
//   picture_workloads photos DIR [COUNT]            writes COUNT photos for W6, about
//       200 KB each: DIR/photo-0.jpg, ...
//
// Prints "seconds <s>" (building, drawing and writing) and "peak_kb <k>" (the
// process's largest resident set).
#include "Mivora.h"
#include "Picture.h"
#include "Printer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

// libjpeg's header needs size_t and FILE declared before it.
#include <jpeglib.h>

using namespace mivora;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Columns = 2;
constexpr int Rows = 4;
constexpr int PerPage = Columns * Rows;
constexpr float BadgeWidthMm = 105.0f;
constexpr float BadgeHeightMm = 74.25f;

const char* const Roles[] = {"Speaker", "Attendee", "Organiser", "Press", "Sponsor", "Volunteer"};

// A font size in points as a character height in millimetres (negative: em height).
float Points(double Size) { return static_cast<float>(-Size / 72.0 * 25.4); }

long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// One badge or card: the picture cell and three text cells, in millimetres.
struct TBadge {
  TCell* Picture;
  TCell* Line1;
  TCell* Line2;
  TCell* Line3;
};

// The framed place of badge or card I on the page: its left and top in centimetres.
std::pair<float, float> AddFrame(TMivora& Sheet, int I) {
  const float left = static_cast<float>(I % Columns) * BadgeWidthMm / 10;
  const float top = static_cast<float>(I / Columns) * BadgeHeightMm / 10;
  // Edges are set on the selection when there is one (a cell just added is
  // selected): empty it, so that only the frame gets a solid outline.
  Sheet.RemoveFromSelection(nullptr);
  Sheet.SetEdges(edAll, clBlack, psSolid, 2);
  Sheet.Add("Frame" + std::to_string(I), left + 0.3f, top + 0.3f, BadgeWidthMm / 10 - 0.6f,
            BadgeHeightMm / 10 - 0.6f);
  Sheet.RemoveFromSelection(nullptr);
  Sheet.SetEdges(edAll, clBlack, psClear, 1);
  return {left, top};
}

// PostScript for a file named .ps, PDF otherwise.
TPrinterTarget TargetFor(const std::string& Path) {
  return Path.size() > 3 && Path.compare(Path.size() - 3, 3, ".ps") == 0 ? ptPostScript : ptPdf;
}

int Badges(const std::string& Path, const std::string& Logo, int Count) {
  TPrinter* printer = Printer();
  printer->SetTarget(TargetFor(Path), Path);
  const auto start = Clock::now();
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  std::vector<TBadge> badges;
  for (int i = 0; i < PerPage; ++i) {
    const auto [left, top] = AddFrame(sheet, i);
    const std::string n = std::to_string(i);
    TBadge badge{};
    badge.Picture = sheet.AddGraphic("Logo" + n, nullptr, left + 0.8f, top + 0.8f, 2.5f, 2.5f);
    badge.Picture->Fit = gfContain;
    sheet.RemoveFromSelection(nullptr); // settings for the cells to come, not the last one
    sheet.SetAlignment(0);
    sheet.SetFont("Arial", clBlack, Points(18) / 10, fsBold);
    badge.Line1 = sheet.AddText("Name" + n, "", left + 0.8f, top + 3.6f, BadgeWidthMm / 10 - 1.6f, 1.0f);
    sheet.RemoveFromSelection(nullptr);
    sheet.SetFont("Arial", clBlack, Points(12) / 10, 0);
    badge.Line2 = sheet.AddText("Company" + n, "", left + 0.8f, top + 4.7f, BadgeWidthMm / 10 - 1.6f, 0.7f);
    sheet.RemoveFromSelection(nullptr);
    sheet.SetFont("Arial", 0x606060, Points(10) / 10, 0);
    badge.Line3 = sheet.AddText("Role" + n, "", left + 0.8f, top + 5.5f, BadgeWidthMm / 10 - 1.6f, 0.6f);
    badges.push_back(badge);
  }
  printer->BeginDoc();
  for (int first = 0; first < Count; first += PerPage) {
    if (first > 0) printer->NewPage();
    for (int i = 0; i < PerPage; ++i) {
      const int k = first + i;
      TBadge& badge = badges[static_cast<size_t>(i)];
      badge.Picture->Visible = badge.Line1->Visible = badge.Line2->Visible = badge.Line3->Visible = k < Count;
      badge.Picture->SetGraphic(LoadGraphicFromFile(Logo).release());
      badge.Line1->SetText("Person " + std::to_string(k + 1));
      badge.Line2->SetText("Company " + std::to_string(k % 37 + 1) + " Ltd");
      badge.Line3->SetText(Roles[k % 6]);
    }
    sheet.PrintPage();
  }
  printer->EndDoc();
  std::printf("seconds %.4f\npeak_kb %ld\n", std::chrono::duration<double>(Clock::now() - start).count(), PeakKb());
  return 0;
}

int Cards(const std::string& Path, const std::string& Dir, int Count) {
  TPrinter* printer = Printer();
  printer->SetTarget(ptPdf, Path);
  const auto start = Clock::now();
  TMivora sheet(nullptr);
  sheet.SetMeasurement(mtCentimeters);
  std::vector<TBadge> cards;
  for (int i = 0; i < PerPage; ++i) {
    const auto [left, top] = AddFrame(sheet, i);
    const std::string n = std::to_string(i);
    TBadge card{};
    card.Picture = sheet.AddGraphic("Photo" + n, nullptr, left + 0.8f, top + 0.8f, 3.0f, 4.0f);
    card.Picture->Fit = gfCover;
    sheet.RemoveFromSelection(nullptr); // settings for the cells to come, not the last one
    sheet.SetAlignment(0);
    sheet.SetFont("Arial", clBlack, Points(14) / 10, fsBold);
    card.Line1 = sheet.AddText("Name" + n, "", left + 4.2f, top + 1.0f, 5.8f, 0.8f);
    sheet.RemoveFromSelection(nullptr);
    sheet.SetFont("Arial", clBlack, Points(10) / 10, 0);
    card.Line2 = sheet.AddText("Number" + n, "", left + 4.2f, top + 2.0f, 5.8f, 0.6f);
    card.Line3 = sheet.AddText("Valid" + n, "", left + 4.2f, top + 2.8f, 5.8f, 0.6f);
    cards.push_back(card);
  }
  printer->BeginDoc();
  for (int first = 0; first < Count; first += PerPage) {
    if (first > 0) printer->NewPage();
    for (int i = 0; i < PerPage; ++i) {
      const int k = first + i;
      TBadge& card = cards[static_cast<size_t>(i)];
      card.Picture->Visible = card.Line1->Visible = card.Line2->Visible = card.Line3->Visible = k < Count;
      card.Picture->SetGraphic(nullptr); // the last page's photo is released first
      // A folder without the photos gives the cards' text alone.
      const std::string photo = Dir + "/photo-" + std::to_string(k) + ".jpg";
      if (k < Count && std::filesystem::exists(photo)) card.Picture->SetGraphic(LoadGraphicFromFile(photo).release());
      card.Line1->SetText("Person " + std::to_string(k + 1));
      card.Line2->SetText("ID " + std::to_string(100000 + k));
      card.Line3->SetText("Valid until 2027-12-31");
    }
    sheet.PrintPage();
  }
  printer->EndDoc();
  std::printf("seconds %.4f\npeak_kb %ld\n", std::chrono::duration<double>(Clock::now() - start).count(), PeakKb());
  return 0;
}

// A photo-like picture: smooth shapes and fine grain, so it compresses as a photo does.
int Photos(const std::string& Dir, int Count) {
  constexpr int Width = 900, Height = 1200;
  std::vector<unsigned char> row(Width * 3);
  unsigned seed = 12345;
  for (int k = 0; k < Count; ++k) {
    const std::string path = Dir + "/photo-" + std::to_string(k) + ".jpg";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = Width;
    info.image_height = Height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 78, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<double> across(Width), down(Height), diagonal(Width + Height);
    for (int x = 0; x < Width; ++x) across[static_cast<size_t>(x)] = 60 * std::sin((x + k * 7) / 70.0);
    for (int y = 0; y < Height; ++y) down[static_cast<size_t>(y)] = 50 * std::cos((y + k * 11) / 90.0);
    for (int i = 0; i < Width + Height; ++i) diagonal[static_cast<size_t>(i)] = 40 * std::sin(i / 120.0);
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int grain = static_cast<int>((seed >> 16) % 25) - 12;
        const double dx = x - 450.0, dy = (y - 500.0) * 0.8;
        const double face = dx * dx + dy * dy < 300.0 * 300.0 ? 60 : 0;
        const int r = static_cast<int>(120 + across[static_cast<size_t>(x)] + face) + grain;
        const int g = static_cast<int>(110 + down[static_cast<size_t>(y)] + face / 2) + grain;
        const int b = static_cast<int>(140 + diagonal[static_cast<size_t>(x + y)]) + grain;
        row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(std::clamp(r, 0, 255));
        row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
        row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
      }
      JSAMPROW pointer = row.data();
      jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const std::string usage = "usage: picture_workloads badges OUT.pdf LOGO [COUNT] | cards OUT.pdf DIR [COUNT] | "
                            "photos DIR [COUNT]\n";
  if (argc < 3) {
    std::fputs(usage.c_str(), stderr);
    return 2;
  }
  const std::string what = argv[1];
  try {
    if (what == "badges" && argc >= 4) return Badges(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 2000);
    if (what == "cards" && argc >= 4) return Cards(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 500);
    if (what == "photos") return Photos(argv[2], argc > 3 ? std::atoi(argv[3]) : 500);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "picture_workloads: %s\n", error.what());
    return 1;
  }
  std::fputs(usage.c_str(), stderr);
  return 2;
}
