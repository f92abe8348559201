#include "MivoraUtils.h"

namespace mivora {

namespace {

// Centimetres per inch, and its reciprocal held on its own so that paths from
// centimetres multiply and never divide by 2.54.
constexpr long double K = 2.54L;
constexpr long double R = 0.393700787401574803149606299212598425L;

} // namespace

float ConvertMeasure(TMeasurement FromUnit, TMeasurement ToUnit, int32_t PixelsPerInch,
                     int32_t PageExtent, float Value) {
  if (FromUnit == ToUnit) return Value;
  const long double v = Value;
  const long double ppi = PixelsPerInch;
  const long double extent = PageExtent;
  long double result;
  // Each row is evaluated left to right as written, then rounded once to float.
  switch (FromUnit) {
  case mtPixels:
    switch (ToUnit) {
    case mtCentimeters: result = v / ppi * K; break;
    case mtInches: result = v / ppi; break;
    case mtPercentage: result = v / extent; break;
    default: return Value;
    }
    break;
  case mtCentimeters:
    switch (ToUnit) {
    case mtPixels: result = R * v * ppi; break;
    case mtInches: result = R * v; break;
    case mtPercentage: result = R * v * ppi / extent; break;
    default: return Value;
    }
    break;
  case mtInches:
    switch (ToUnit) {
    case mtPixels: result = ppi * v; break;
    case mtCentimeters: result = K * v; break;
    case mtPercentage: result = ppi * v / extent; break;
    default: return Value;
    }
    break;
  case mtPercentage:
    switch (ToUnit) {
    case mtPixels: result = extent * v; break;
    case mtCentimeters: result = extent * v / ppi * K; break;
    case mtInches: result = extent * v / ppi; break;
    default: return Value;
    }
    break;
  default:
    return Value;
  }
  return static_cast<float>(result);
}

} // namespace mivora
