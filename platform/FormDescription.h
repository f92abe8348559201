// Form descriptions: the text in which a host stores components with their
// published properties, and loads them again through the component palette.
//
//   object Sheet1: TMivora
//     Measurement = mtInches
//   end
//
// A description holds any number of objects, one after another. Names, classes
// and properties are identifiers (letters, digits and "_", not starting with a
// digit); a value is the rest of its line without surrounding blanks. Blank lines
// are ignored.
#pragma once

#include "Component.h"
#include "Palette.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mivora {

// One "Name = Value" line of an object.
struct TFormProperty {
  std::string Name;
  std::string Value;
  int32_t Line = 0; // 1-based line in the description, 0 when not read from text
};

// One object of a description.
struct TFormObject {
  std::string Name;
  std::string ClassName;
  std::vector<TFormProperty> Properties;
  int32_t Line = 0; // the line of its "object" header
};

// Reads the objects of a description; EFormError for malformed text.
std::vector<TFormObject> ParseFormDescription(const std::string& Text);
// Writes objects as a description; EFormError for a name or value that cannot be written.
std::string FormatFormDescription(const std::vector<TFormObject>& Objects);

// A component with the name it has in a description.
struct TNamedComponent {
  std::string Name;
  TComponent* Component = nullptr;
};

// A description of the components with every published property of their classes.
// EPaletteError when a component's class is not on the palette.
std::string StoreComponents(const std::vector<TNamedComponent>& Components,
                            const TPalette& FromPalette = Palette());
// Creates the components a description names, owned by Owner (null: the caller
// owns them), and assigns their stored properties in the order written. On any
// error none of them remains; errors of the description are EFormError.
std::vector<TNamedComponent> LoadComponents(const std::string& Text, TComponent* Owner,
                                            const TPalette& FromPalette = Palette());

} // namespace mivora
