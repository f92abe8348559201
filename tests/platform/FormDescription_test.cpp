#include "FormDescription.h"

#include "TestSupport.h"

#include <memory>
#include <string>
#include <vector>

using namespace mivora;

namespace {

class TLamp : public TComponent {
public:
  using TComponent::TComponent;
  std::string Colour = "clRed";
  std::string Label = "lamp";
};

TPalette LampPalette() {
  TPublishedProperty colour{"Colour",
                            [](const TComponent& C) { return static_cast<const TLamp&>(C).Colour; },
                            [](TComponent& C, const std::string& V) { static_cast<TLamp&>(C).Colour = V; },
                            {"clRed", "clGreen"}};
  TPublishedProperty label{"Label",
                           [](const TComponent& C) { return static_cast<const TLamp&>(C).Label; },
                           [](TComponent& C, const std::string& V) {
                             if (V == "forbidden") throw EPaletteError("Label may not be " + V);
                             static_cast<TLamp&>(C).Label = V;
                           },
                           {}};
  TPalette palette;
  palette.RegisterComponents("Lights", {MakeComponentClass<TLamp>("TLamp", {colour, label})});
  return palette;
}

} // namespace

TEST(FormDescription, ParsesObjectsWithTheirProperties) {
  const auto objects = ParseFormDescription(
      "\nobject Lamp1: TLamp\r\n  Colour = clGreen\n\tLabel=two words  \nend\n"
      "object Lamp2 : TLamp\nend");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].Name, "Lamp1");
  EXPECT_EQ(objects[0].ClassName, "TLamp");
  EXPECT_EQ(objects[0].Line, 2);
  ASSERT_EQ(objects[0].Properties.size(), 2u);
  EXPECT_EQ(objects[0].Properties[1].Name, "Label");
  EXPECT_EQ(objects[0].Properties[1].Value, "two words");
  EXPECT_EQ(objects[0].Properties[1].Line, 4);
  EXPECT_EQ(objects[1].Name, "Lamp2");
  EXPECT_TRUE(objects[1].Properties.empty());
}

TEST(FormDescription, MalformedTextNamesTheLine) {
  EXPECT_THROW_MSG(ParseFormDescription("Colour = clRed\n"), EFormError,
                   "line 1: expected \"object <Name>: <Class>\", found \"Colour = clRed\"");
  EXPECT_THROW_MSG(ParseFormDescription("object 1Lamp: TLamp\nend\n"), EFormError,
                   "line 1: expected \"object <Name>: <Class>\", found \"object 1Lamp: TLamp\"");
  EXPECT_THROW_MSG(ParseFormDescription("object Lamp1: TLamp\n  Colour clRed\nend\n"), EFormError,
                   "line 2: expected \"<Property> = <Value>\" or \"end\", found \"Colour clRed\"");
  EXPECT_THROW_MSG(ParseFormDescription("object Lamp1: TLamp\n  Colour =\nend\n"), EFormError,
                   "line 2: no value for Colour");
  EXPECT_THROW_MSG(ParseFormDescription("object Lamp1: TLamp\n Colour = a\n Colour = b\nend"),
                   EFormError, "line 3: Colour is already given on line 2");
  EXPECT_THROW_MSG(ParseFormDescription("\nobject Lamp1: TLamp\n  Colour = a\n"), EFormError,
                   "line 2: object \"Lamp1\" has no \"end\"");
  EXPECT_THROW_MSG(ParseFormDescription("object A: TLamp\nend\nobject A: TLamp\nend\n"),
                   EFormError, "line 3: object \"A\" is already described on line 1");
}

TEST(FormDescription, StoresAndLoadsComponentsThroughThePalette) {
  const TPalette palette = LampPalette();
  TLamp lamp(nullptr);
  lamp.Colour = "clGreen";
  lamp.Label = "hall light";
  const std::string text = StoreComponents({{"Hall", &lamp}}, palette);
  EXPECT_EQ(text, "object Hall: TLamp\n  Colour = clGreen\n  Label = hall light\nend\n");

  TComponent owner(nullptr);
  const auto loaded = LoadComponents(text, &owner, palette);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].Name, "Hall");
  const auto* copy = dynamic_cast<const TLamp*>(loaded[0].Component);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Owner(), &owner);
  EXPECT_EQ(copy->Colour, "clGreen");
  EXPECT_EQ(copy->Label, "hall light");
}

TEST(FormDescription, LoadingErrorsNameTheLineAndLeaveNothingBehind) {
  const TPalette palette = LampPalette();
  TComponent owner(nullptr);
  const std::string good = "object A: TLamp\nend\n";
  EXPECT_THROW_MSG(LoadComponents(good + "object B: TBulb\nend\n", &owner, palette), EFormError,
                   "line 3: unknown class \"TBulb\"");
  EXPECT_THROW_MSG(LoadComponents(good + "object B: TLamp\n  Color = clRed\nend\n", &owner, palette),
                   EFormError, "line 4: unknown property \"Color\" of TLamp");
  EXPECT_THROW_MSG(LoadComponents(good + "object B: TLamp\n  Colour = clBlue\nend\n", &owner, palette),
                   EFormError, "line 4: unknown value \"clBlue\" for Colour");
  EXPECT_THROW_MSG(LoadComponents(good + "object B: TLamp\n  Label = forbidden\nend\n", &owner, palette),
                   EFormError, "line 4: Label may not be forbidden");
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(FormDescription, ValuesThatCannotBeWrittenAreRefused) {
  const TPalette palette = LampPalette();
  TLamp lamp(nullptr);
  lamp.Label = "two\nlines";
  EXPECT_THROW_MSG(StoreComponents({{"Hall", &lamp}}, palette), EFormError,
                   "Cannot store the value \"two\nlines\" of Hall.Label");
  lamp.Label = "";
  EXPECT_THROW_MSG(StoreComponents({{"Hall", &lamp}}, palette), EFormError,
                   "Cannot store the value \"\" of Hall.Label");
  lamp.Label = "ok";
  EXPECT_THROW_MSG(StoreComponents({{"Hall light", &lamp}}, palette), EFormError,
                   "Cannot store an object named \"Hall light\"");
  TComponent plain(nullptr);
  EXPECT_THROW_MSG(StoreComponents({{"P", &plain}}, palette), EPaletteError,
                   "The class of component \"P\" is not registered");
}
