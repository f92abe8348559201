#include "Mivora.h"

#include "Palette.h"

#include <array>
#include <string>
#include <type_traits>
#include <utility>

namespace mivora {

namespace {

constexpr std::array<std::pair<TMeasurement, const char*>, 4> kMeasurementNames = {{
    {mtPixels, "mtPixels"},
    {mtCentimeters, "mtCentimeters"},
    {mtInches, "mtInches"},
    {mtPercentage, "mtPercentage"},
}};

std::string MeasurementName(TMeasurement Value) {
  for (const auto& [unit, name] : kMeasurementNames)
    if (unit == Value) return name;
  // Only a value forced outside the enumeration gets here; it is stored as a number
  // so that the description shows it, and loading it is refused.
  return std::to_string(static_cast<int>(Value));
}

TMeasurement MeasurementFromName(const std::string& Name) {
  for (const auto& [unit, name] : kMeasurementNames)
    if (Name == name) return unit;
  throw EPaletteError("unknown value \"" + Name + "\" for Measurement");
}

// The published properties of the sheet that a form description keeps. The events
// are handlers assigned in code and are not stored. Measurement has no default
// value, so it is always written, mtCentimeters included.
template <class Component> auto& SheetOf(Component& C) {
  auto* sheet = dynamic_cast<std::conditional_t<std::is_const_v<Component>, const TMivora, TMivora>*>(&C);
  if (sheet == nullptr) throw EPaletteError("Measurement is a property of TMivora only");
  return *sheet;
}

TPublishedProperty MeasurementProperty() {
  TPublishedProperty property;
  property.Name = "Measurement";
  property.Get = [](const TComponent& Component) {
    return MeasurementName(SheetOf(Component).Measurement());
  };
  property.Set = [](TComponent& Component, const std::string& Value) {
    const TMeasurement unit = MeasurementFromName(Value);
    SheetOf(Component).SetMeasurement(unit);
  };
  for (const auto& entry : kMeasurementNames) property.Values.emplace_back(entry.second);
  return property;
}

} // namespace

void Register() {
  RegisterComponents("Additional", {MakeComponentClass<TMivora>("TMivora", {MeasurementProperty()})});
}

} // namespace mivora
