#include "FormDescription.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace mivora {

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string_view Trim(std::string_view S) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  return S;
}

bool IsIdentifier(std::string_view S) {
  if (S.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!letter(S.front())) return false;
  return std::all_of(S.begin(), S.end(), [&](char c) { return letter(c) || digit(c); });
}

// Shows a line of the description in a message; long lines are shortened.
std::string Quote(std::string_view S) {
  constexpr size_t kShown = 60;
  std::string quoted(1, '"');
  quoted.append(S.substr(0, kShown)).append(S.size() > kShown ? "...\"" : "\"");
  return quoted;
}

[[noreturn]] void Fail(int32_t Line, const std::string& What) {
  std::string message = "line ";
  message.append(std::to_string(Line)).append(": ").append(What);
  throw EFormError(std::move(message));
}

// "object Name: Class"; false when the line has another shape.
bool ParseHeader(std::string_view Line, std::string& Name, std::string& ClassName) {
  constexpr std::string_view keyword = "object";
  if (Line.substr(0, keyword.size()) != keyword) return false;
  std::string_view rest = Line.substr(keyword.size());
  if (rest.empty() || !IsBlank(rest.front())) return false;
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view name = Trim(rest.substr(0, colon));
  const std::string_view cls = Trim(rest.substr(colon + 1));
  if (!IsIdentifier(name) || !IsIdentifier(cls)) return false;
  Name = name;
  ClassName = cls;
  return true;
}

} // namespace

std::vector<TFormObject> ParseFormDescription(const std::string& Text) {
  // A bound on the text keeps a hostile description from holding memory and
  // line numbers within their range.
  constexpr size_t kMaxDescriptionBytes = size_t{64} * 1024 * 1024;
  if (Text.size() > kMaxDescriptionBytes)
    throw EFormError("the description has " + std::to_string(Text.size()) + " bytes; the most accepted is " +
                     std::to_string(kMaxDescriptionBytes));
  std::vector<TFormObject> objects;
  std::map<std::string, int32_t> objectLines;
  // The lines of the open object's properties by name: each one is looked up once.
  std::unordered_map<std::string_view, int32_t> propertyLines;
  TFormObject* open = nullptr;
  int32_t lineNo = 0;
  std::string_view rest = Text;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    std::string_view raw = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const std::string_view line = Trim(raw);
    if (line.empty()) continue;

    if (open == nullptr) {
      TFormObject object;
      if (!ParseHeader(line, object.Name, object.ClassName))
        Fail(lineNo, "expected \"object <Name>: <Class>\", found " + Quote(line));
      auto [known, added] = objectLines.emplace(object.Name, lineNo);
      if (!added)
        Fail(lineNo, "object \"" + object.Name + "\" is already described on line " +
                         std::to_string(known->second));
      object.Line = lineNo;
      objects.push_back(std::move(object));
      open = &objects.back();
      // A fresh table rather than clear(): clearing costs the buckets a large
      // object left behind, at every object after it.
      propertyLines = std::unordered_map<std::string_view, int32_t>();
      continue;
    }

    if (line == "end") {
      open = nullptr;
      continue;
    }
    const size_t equals = line.find('=');
    const std::string_view name = Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || !IsIdentifier(name))
      Fail(lineNo, "expected \"<Property> = <Value>\" or \"end\", found " + Quote(line));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (value.empty()) Fail(lineNo, "no value for " + std::string(name));
    auto [earlier, added] = propertyLines.emplace(name, lineNo);
    if (!added)
      Fail(lineNo, std::string(name) + " is already given on line " + std::to_string(earlier->second));
    open->Properties.push_back(TFormProperty{std::string(name), std::string(value), lineNo});
  }
  if (open != nullptr)
    Fail(open->Line, "object \"" + open->Name + "\" has no \"end\"");
  return objects;
}

std::string FormatFormDescription(const std::vector<TFormObject>& Objects) {
  std::string text;
  for (const TFormObject& object : Objects) {
    if (!IsIdentifier(object.Name))
      throw EFormError("Cannot store an object named " + Quote(object.Name));
    if (!IsIdentifier(object.ClassName))
      throw EFormError("Cannot store object \"" + object.Name + "\" of class " +
                       Quote(object.ClassName));
    text += "object " + object.Name + ": " + object.ClassName + "\n";
    for (const TFormProperty& property : object.Properties) {
      const std::string where = object.Name + "." + property.Name;
      if (!IsIdentifier(property.Name))
        throw EFormError("Cannot store a property named " + Quote(property.Name) + " of " +
                         object.Name);
      if (property.Value.empty() || Trim(property.Value) != property.Value ||
          property.Value.find_first_of("\r\n") != std::string::npos)
        throw EFormError("Cannot store the value " + Quote(property.Value) + " of " + where);
      text += "  " + property.Name + " = " + property.Value + "\n";
    }
    text += "end\n";
  }
  return text;
}

std::string StoreComponents(const std::vector<TNamedComponent>& Components,
                            const TPalette& FromPalette) {
  std::vector<TFormObject> objects;
  for (const TNamedComponent& named : Components) {
    if (named.Component == nullptr)
      throw EPaletteError("Component \"" + named.Name + "\" is null");
    const TComponentClass* cls = FromPalette.ClassOf(*named.Component);
    if (cls == nullptr)
      throw EPaletteError("The class of component \"" + named.Name + "\" is not registered");
    TFormObject object{named.Name, cls->ClassName, {}, 0};
    for (const TPublishedProperty& property : cls->Properties)
      object.Properties.push_back(TFormProperty{property.Name, property.Get(*named.Component), 0});
    objects.push_back(std::move(object));
  }
  return FormatFormDescription(objects);
}

std::vector<TNamedComponent> LoadComponents(const std::string& Text, TComponent* Owner,
                                            const TPalette& FromPalette) {
  const std::vector<TFormObject> objects = ParseFormDescription(Text);

  // Check classes, properties and enumeration values before anything is created.
  std::vector<const TComponentClass*> classes;
  for (const TFormObject& object : objects) {
    const TComponentClass* cls = FromPalette.FindClass(object.ClassName);
    if (cls == nullptr) Fail(object.Line, "unknown class \"" + object.ClassName + "\"");
    for (const TFormProperty& stored : object.Properties) {
      const TPublishedProperty* property = cls->FindProperty(stored.Name);
      if (property == nullptr)
        Fail(stored.Line, "unknown property \"" + stored.Name + "\" of " + cls->ClassName);
      if (!property->Values.empty() &&
          std::find(property->Values.begin(), property->Values.end(), stored.Value) ==
              property->Values.end())
        Fail(stored.Line, "unknown value \"" + stored.Value + "\" for " + stored.Name);
    }
    classes.push_back(cls);
  }

  // Components made so far are destroyed again if a later step fails.
  std::vector<std::unique_ptr<TComponent>> made;
  std::vector<TNamedComponent> loaded;
  made.reserve(objects.size());
  for (size_t i = 0; i < objects.size(); ++i) {
    made.emplace_back(classes[i]->Create(Owner));
    if (made.back() == nullptr)
      Fail(objects[i].Line, "class \"" + classes[i]->ClassName + "\" made no component");
    TComponent& component = *made.back();
    for (const TFormProperty& stored : objects[i].Properties) {
      try {
        classes[i]->FindProperty(stored.Name)->Set(component, stored.Value);
      } catch (const EPaletteError& e) {
        Fail(stored.Line, e.Message());
      }
    }
    loaded.push_back(TNamedComponent{objects[i].Name, &component});
  }
  for (auto& component : made) (void)component.release(); // owned by Owner or the caller now
  return loaded;
}

} // namespace mivora
