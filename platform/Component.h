// The component base of the host framework: objects and owned components. The
// errors of the library live in Exceptions.h, which this header brings along.
#pragma once

#include "Exceptions.h"

#include <string>
#include <vector>

namespace mivora {

// Root of the class tree; polymorphic so that objects can be owned through it.
class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();
};

// A component lives as long as its owner: destroying a component destroys every
// component created with it as owner, the newest first.
class TComponent : public TObject {
public:
  // Creates a component owned by AOwner (which may be null: then the caller owns it).
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  // The owner given at construction, or null.
  TComponent* Owner() const noexcept { return owner_; }
  // Number of components this one owns.
  int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  // The owned component at Index (0 is the oldest), or null when out of range.
  TComponent* Components(int Index) const noexcept;
  // Takes the component out of its owner's care: the caller destroys it from now on.
  void DetachFromOwner() noexcept;

private:
  void RemoveComponent(TComponent* Component) noexcept;

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
};

} // namespace mivora
