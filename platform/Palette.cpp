#include "Palette.h"

#include <algorithm>
#include <set>

namespace mivora {

const TPublishedProperty* TComponentClass::FindProperty(const std::string& Name) const {
  for (const TPublishedProperty& property : Properties)
    if (property.Name == Name) return &property;
  return nullptr;
}

void TPalette::RegisterComponents(const std::string& Page,
                                  const std::vector<TComponentClass>& Classes) {
  if (Page.empty()) throw EPaletteError("A palette page needs a name");
  // Check everything first, so that a refused list registers nothing.
  std::set<std::string> seen;
  for (const TComponentClass& cls : Classes) {
    if (cls.ClassName.empty()) throw EPaletteError("A component class needs a name");
    if (!cls.Create) throw EPaletteError("Class \"" + cls.ClassName + "\" has no constructor");
    if (!seen.insert(cls.ClassName).second)
      throw EPaletteError("Class \"" + cls.ClassName + "\" is listed twice");
    auto known = classes_.find(cls.ClassName);
    if (known != classes_.end() && known->second.first != Page)
      throw EPaletteError("Class \"" + cls.ClassName + "\" is already registered on page \"" +
                          known->second.first + "\"");
  }

  auto page = std::find_if(pages_.begin(), pages_.end(),
                           [&](const TPage& p) { return p.Name == Page; });
  if (page == pages_.end()) page = pages_.insert(pages_.end(), TPage{Page, {}});
  for (const TComponentClass& cls : Classes) {
    auto [it, added] = classes_.insert_or_assign(cls.ClassName, std::make_pair(Page, cls));
    (void)it;
    if (added) page->ClassNames.push_back(cls.ClassName);
  }
}

std::vector<std::string> TPalette::Pages() const {
  std::vector<std::string> names;
  names.reserve(pages_.size());
  for (const TPage& page : pages_) names.push_back(page.Name);
  return names;
}

std::vector<std::string> TPalette::Classes(const std::string& Page) const {
  for (const TPage& page : pages_)
    if (page.Name == Page) return page.ClassNames;
  return {};
}

const TComponentClass* TPalette::FindClass(const std::string& ClassName) const {
  auto it = classes_.find(ClassName);
  return it == classes_.end() ? nullptr : &it->second.second;
}

const TComponentClass* TPalette::ClassOf(const TComponent& Component) const {
  const std::type_index type = typeid(Component);
  for (const auto& entry : classes_)
    if (entry.second.second.Type == type) return &entry.second.second;
  return nullptr;
}

TComponent* TPalette::CreateComponent(const std::string& ClassName, TComponent* Owner) const {
  const TComponentClass* cls = FindClass(ClassName);
  if (cls == nullptr) throw EPaletteError("Class \"" + ClassName + "\" is not registered");
  return cls->Create(Owner);
}

TPalette& Palette() {
  static TPalette palette;
  return palette;
}

void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes) {
  Palette().RegisterComponents(Page, Classes);
}

} // namespace mivora
