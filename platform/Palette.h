// The component palette of the process: pages of component classes that a host
// lists and from which it creates components by class name, with the published
// properties each class stores in a form description.
#pragma once

#include "Component.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

namespace mivora {

// A published property: read and written as text.
struct TPublishedProperty {
  std::string Name;
  // The value of the property of Component, as stored.
  std::function<std::string(const TComponent& Component)> Get;
  // Assigns a stored value to the property of Component.
  std::function<void(TComponent& Component, const std::string& Value)> Set;
  // For an enumeration, every value it accepts; empty when any text is accepted.
  std::vector<std::string> Values;
};

// A component class as the palette knows it.
struct TComponentClass {
  std::string ClassName;
  // The C++ type of its components, to find the class of a component being stored.
  std::type_index Type = typeid(TComponent);
  // Creates a component owned by Owner (which may be null: the caller owns it).
  std::function<TComponent*(TComponent* Owner)> Create;
  // The published properties in the order they are stored.
  std::vector<TPublishedProperty> Properties;

  // The property called Name, or null.
  const TPublishedProperty* FindProperty(const std::string& Name) const;
};

// A class description for the component type T, created with new T(Owner).
template <class T>
TComponentClass MakeComponentClass(std::string ClassName,
                                   std::vector<TPublishedProperty> Properties = {}) {
  return TComponentClass{std::move(ClassName), typeid(T),
                         [](TComponent* Owner) -> TComponent* { return new T(Owner); },
                         std::move(Properties)};
}

// The process-wide registry of component classes, grouped into named pages.
class TPalette {
public:
  // Adds Classes to the page called Page (created on first use). Registering a
  // class again on the same page replaces its description; registering it on
  // another page, or a class without a name or constructor, raises EPaletteError
  // and registers none of Classes.
  void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);
  // The page names, in the order they were first used.
  std::vector<std::string> Pages() const;
  // The class names on Page, in the order they were registered; empty for an unknown page.
  std::vector<std::string> Classes(const std::string& Page) const;
  // The class called ClassName, or null when it is not registered.
  const TComponentClass* FindClass(const std::string& ClassName) const;
  // The class whose components have the dynamic type of Component, or null.
  const TComponentClass* ClassOf(const TComponent& Component) const;
  // A new component of the class ClassName owned by Owner; EPaletteError when the
  // class is not registered.
  TComponent* CreateComponent(const std::string& ClassName, TComponent* Owner) const;

private:
  struct TPage {
    std::string Name;
    std::vector<std::string> ClassNames;
  };
  std::vector<TPage> pages_;
  std::map<std::string, std::pair<std::string, TComponentClass>> classes_; // name -> (page, class)
};

// The palette of the process.
TPalette& Palette();

// Registers Classes on the process palette's page Page.
void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);

} // namespace mivora
