#include "Mivora.h"

#include "FormDescription.h"
#include "Palette.h"
#include "TestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace mivora;

namespace {

std::string SheetDescription(const char* Unit) {
  return std::string("object Sheet1: TMivora\n  Measurement = ") + Unit + "\nend\n";
}

} // namespace

TEST(Registration, RegistersTheSheetOnPageAdditional) {
  Register();
  Register(); // a second call changes nothing
  const std::vector<std::string> pages = Palette().Pages();
  EXPECT_EQ(std::count(pages.begin(), pages.end(), "Additional"), 1);
  EXPECT_EQ(Palette().Classes("Additional"), (std::vector<std::string>{"TMivora"}));

  TComponent owner(nullptr);
  auto* sheet = dynamic_cast<TMivora*>(Palette().CreateComponent("TMivora", &owner));
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->Owner(), &owner);
  EXPECT_EQ(sheet->Measurement(), mtCentimeters);
}

TEST(Registration, MeasurementIsAlwaysStored) {
  Register();
  TMivora sheet(nullptr);
  EXPECT_EQ(StoreComponents({{"Sheet1", &sheet}}), SheetDescription("mtCentimeters"));
}

TEST(Registration, CentimetresLoadWithoutThePrinter) {
  Register();
  TComponent owner(nullptr);
  const auto loaded = LoadComponents(SheetDescription("mtCentimeters"), &owner);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].Name, "Sheet1");
  auto* sheet = dynamic_cast<TMivora*>(loaded[0].Component);
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->Measurement(), mtCentimeters);
  EXPECT_EQ(sheet->Count(), 0);
}

TEST(Registration, EveryMeasurementSurvivesStoringAndLoading) {
  Register();
  for (TMeasurement unit : {mtPixels, mtCentimeters, mtInches, mtPercentage}) {
    SCOPED_TRACE(static_cast<int>(unit));
    TMivora sheet(nullptr);
    sheet.SetMeasurement(unit);
    const std::string text = StoreComponents({{"Sheet1", &sheet}});
    TComponent owner(nullptr);
    const auto loaded = LoadComponents(text, &owner);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(static_cast<TMivora*>(loaded[0].Component)->Measurement(), unit);
    EXPECT_EQ(StoreComponents(loaded), text);
  }
}

TEST(Registration, BadSheetDescriptionsNameTheLine) {
  Register();
  TComponent owner(nullptr);
  EXPECT_THROW_MSG(LoadComponents(SheetDescription("mtFurlongs"), &owner), EFormError,
                   "line 2: unknown value \"mtFurlongs\" for Measurement");
  EXPECT_THROW_MSG(LoadComponents(SheetDescription("2"), &owner), EFormError,
                   "line 2: unknown value \"2\" for Measurement");
  EXPECT_THROW_MSG(LoadComponents("object Sheet1: TMivora\n  PrintEdgesLast = True\nend\n", &owner),
                   EFormError, "line 2: unknown property \"PrintEdgesLast\" of TMivora");
  EXPECT_THROW_MSG(LoadComponents("object Sheet1: TSheet\nend\n", &owner), EFormError,
                   "line 1: unknown class \"TSheet\"");
  EXPECT_EQ(owner.ComponentCount(), 0);
}
