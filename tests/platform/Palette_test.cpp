#include "Palette.h"

#include "TestSupport.h"

#include <memory>
#include <string>
#include <vector>

using namespace mivora;

namespace {

class TWidget : public TComponent {
public:
  using TComponent::TComponent;
  std::string Colour = "red";
};

class TGadget : public TComponent {
public:
  using TComponent::TComponent;
};

using Strings = std::vector<std::string>;

} // namespace

TEST(Palette, ListsPagesAndClassesInRegistrationOrder) {
  TPalette palette;
  palette.RegisterComponents("Standard", {MakeComponentClass<TWidget>("TWidget")});
  palette.RegisterComponents("Extra", {MakeComponentClass<TGadget>("TGadget")});
  palette.RegisterComponents("Standard", {MakeComponentClass<TComponent>("TPlain")});
  EXPECT_EQ(palette.Pages(), (Strings{"Standard", "Extra"}));
  EXPECT_EQ(palette.Classes("Standard"), (Strings{"TWidget", "TPlain"}));
  EXPECT_EQ(palette.Classes("Nowhere"), Strings{});
}

TEST(Palette, CreatesARegisteredClassWithItsOwner) {
  TPalette palette;
  palette.RegisterComponents("Standard", {MakeComponentClass<TWidget>("TWidget")});
  TComponent owner(nullptr);
  TComponent* made = palette.CreateComponent("TWidget", &owner);
  ASSERT_NE(dynamic_cast<TWidget*>(made), nullptr);
  EXPECT_EQ(made->Owner(), &owner);
  EXPECT_EQ(owner.Components(0), made);
  EXPECT_EQ(palette.ClassOf(*made), palette.FindClass("TWidget"));
  EXPECT_EQ(palette.ClassOf(owner), nullptr);
}

TEST(Palette, UnknownClassIsAnError) {
  TPalette palette;
  EXPECT_EQ(palette.FindClass("TWidget"), nullptr);
  EXPECT_THROW_MSG(palette.CreateComponent("TWidget", nullptr), EPaletteError,
                   "Class \"TWidget\" is not registered");
}

TEST(Palette, RegisteringAgainOnTheSamePageReplacesTheClass) {
  TPalette palette;
  palette.RegisterComponents("Standard", {MakeComponentClass<TWidget>("TWidget")});
  palette.RegisterComponents("Standard", {MakeComponentClass<TGadget>("TWidget")});
  EXPECT_EQ(palette.Classes("Standard"), (Strings{"TWidget"}));
  std::unique_ptr<TComponent> made(palette.CreateComponent("TWidget", nullptr));
  EXPECT_NE(dynamic_cast<TGadget*>(made.get()), nullptr);
}

TEST(Palette, RefusedRegistrationRegistersNothing) {
  TPalette palette;
  palette.RegisterComponents("Standard", {MakeComponentClass<TWidget>("TWidget")});
  EXPECT_THROW_MSG(palette.RegisterComponents("Extra", {MakeComponentClass<TGadget>("TGadget"),
                                                        MakeComponentClass<TWidget>("TWidget")}),
                   EPaletteError, "Class \"TWidget\" is already registered on page \"Standard\"");
  EXPECT_THROW_MSG(palette.RegisterComponents("Extra", {TComponentClass{"TNothing"}}),
                   EPaletteError, "Class \"TNothing\" has no constructor");
  EXPECT_THROW_MSG(palette.RegisterComponents("Extra", {MakeComponentClass<TGadget>("")}),
                   EPaletteError, "A component class needs a name");
  EXPECT_THROW_MSG(palette.RegisterComponents("", {MakeComponentClass<TGadget>("TGadget")}),
                   EPaletteError, "A palette page needs a name");
  EXPECT_EQ(palette.Pages(), (Strings{"Standard"}));
  EXPECT_EQ(palette.FindClass("TGadget"), nullptr);
}

