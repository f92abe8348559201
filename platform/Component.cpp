#include "Component.h"

#include <algorithm>

namespace mivora {

TObject::~TObject() = default;

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  // Destroy owned components newest first; each one unlinks itself from us.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    child->owner_ = nullptr;
    components_.pop_back();
    delete child;
  }
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const noexcept {
  if (Index < 0 || Index >= ComponentCount()) return nullptr;
  return components_[static_cast<size_t>(Index)];
}

void TComponent::DetachFromOwner() noexcept {
  if (owner_ != nullptr) owner_->RemoveComponent(this);
  owner_ = nullptr;
}

void TComponent::RemoveComponent(TComponent* Component) noexcept {
  auto it = std::find(components_.begin(), components_.end(), Component);
  if (it != components_.end()) components_.erase(it);
}

} // namespace mivora
