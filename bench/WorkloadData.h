// The pages of the benchmark workloads, as plain numbers and texts, so that every
// program that draws them (through the library, directly on Cairo and Pango, and
// the Python peer through make_inputs.py) draws the same page. Header-only and
// free of any library type: the bare program includes it too.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace bench {

// W1 and W3: a sheet of 3 x 10 address labels filling an A4 page at 300 dpi.
constexpr int LabelDpi = 300;
constexpr double A4WidthMm = 210.0;
constexpr double A4HeightMm = 297.0;
constexpr int LabelColumns = 3;
constexpr int LabelRows = 10;
constexpr int LabelsPerPage = LabelColumns * LabelRows;
constexpr double LabelFontPoints = 10.0;
constexpr uint32_t LabelFillRgb = 0xEEF3FB;  // a light blue, as 0xRRGGBB

// W2: one A3 landscape page of 100 x 100 cells, each with a short text.
constexpr int GridDpi = 300;
constexpr double A3WidthMm = 420.0;  // landscape
constexpr double A3HeightMm = 297.0;
constexpr int GridSide = 100;
constexpr double GridFontPoints = 5.0;

// The three lines of label K (counting across pages): every label differs.
inline std::string LabelText(int64_t K) {
  static constexpr std::array<const char*, 16> first = {
      "Ada", "Ben", "Clara", "David", "Emma", "Felix", "Grace", "Hugo",
      "Ida", "Jonas", "Karla", "Lukas", "Mia", "Noah", "Olga", "Paul"};
  static constexpr std::array<const char*, 13> last = {
      "Becker", "Curie", "Dietrich", "Engel", "Fischer", "Graf", "Jansen",
      "Lange", "Meyer", "Neumann", "Richter", "Schulz", "Vogel"};
  static constexpr std::array<const char*, 11> street = {
      "Main Street", "Garden Way", "Station Road", "Oak Avenue", "Park Road", "High Street",
      "Mill Lane", "Bridge Street", "Church Street", "Linden Allee", "Rue de la Paix"};
  static constexpr std::array<const char*, 9> city = {
      "Berlin", "Bremen", "Dresden", "Frankfurt am Main", "Hamburg", "Köln", "Leipzig",
      "München", "Stuttgart"};
  const auto at = [](const auto& List, int64_t I) { return std::string(List[static_cast<size_t>(I % static_cast<int64_t>(List.size()))]); };
  return at(first, K) + " " + at(last, K / 16) + "\n" + at(street, K * 7) + " " +
         std::to_string(K % 150 + 1) + "\n" + std::to_string(10000 + (K * 7919) % 89989) + " " +
         at(city, K * 13 / 7);
}

// The text of grid cell I (0 to GridSide * GridSide - 1): one to three characters.
inline std::string GridText(int64_t I) { return std::to_string((I * 37) % 1000); }

// The pixel edge of division I of an extent split into N equal parts, as the
// sheet rounds it (to the nearest pixel, halves to even).
inline int32_t Division(double ExtentPixels, int I, int N) {
  const double value = ExtentPixels * I / N;
  const double down = static_cast<double>(static_cast<int64_t>(value));
  const double fraction = value - down;
  if (fraction > 0.5) return static_cast<int32_t>(down) + 1;
  if (fraction < 0.5) return static_cast<int32_t>(down);
  return static_cast<int32_t>(down) + (static_cast<int64_t>(down) % 2 != 0 ? 1 : 0);
}

// Millimetres as device pixels at Dpi.
constexpr double Pixels(double Mm, int Dpi) { return Mm / 25.4 * Dpi; }

} // namespace bench
