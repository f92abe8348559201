// The shipping labels of the barcode benchmark, as plain texts, so that the
// library's program and the Python peer (reportlab_barcodes.py, which computes the
// same) draw the same labels. Header-only and free of any library type.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

constexpr int ShippingLabels = 2000;
constexpr double ShippingWidthMm = 101.6; // 4 x 6 inches
constexpr double ShippingHeightMm = 152.4;
constexpr int ShippingDpi = 300;

// Label K's tracking number: "1ZMV" and ten digits, different on every label.
inline std::string Tracking(int64_t K) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%010lld",
                static_cast<long long>((K * 104729 + 1000003) % 10000000000LL));
  return std::string("1ZMV") + digits;
}

inline std::string TrackingUrl(int64_t K) { return "https://track.example.com/" + Tracking(K); }

inline std::string Recipient(int64_t K) { return "Customer " + std::to_string(K + 1); }

inline std::string Street(int64_t K) { return std::to_string(K % 150 + 1) + " Main Street"; }

inline std::string City(int64_t K) {
  static constexpr std::array<const char*, 5> cities = {"Berlin 10115", "Hamburg 20095",
                                                        "Köln 50667", "Leipzig 04109",
                                                        "München 80331"};
  return cities[static_cast<size_t>(K % 5)];
}

} // namespace bench
