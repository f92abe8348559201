#include "Application.h"

#include "TestSupport.h"

#include <stdexcept>

namespace mivora {
namespace {

TEST(ApplicationTest, HandleExceptionCallsTheHookWithSenderAndMessage) {
  TObject* seen = nullptr;
  std::string message;
  Application->OnException = [&](TObject* Sender, const std::exception& E) {
    seen = Sender;
    message = E.what();
  };
  TComponent sender(nullptr);
  try {
    throw std::runtime_error("boom");
  } catch (...) {
    Application->HandleException(&sender);
  }
  Application->OnException = nullptr;
  EXPECT_EQ(seen, &sender);
  EXPECT_EQ(message, "boom");
}

TEST(ApplicationTest, WithoutHookTheMessageGoesToStandardError) {
  testing::internal::CaptureStderr();
  try {
    throw Exception("printer on fire");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "printer on fire\n");
}

TEST(ApplicationTest, HandleExceptionReturnsEvenWhenTheHookThrows) {
  Application->OnException = [](TObject*, const std::exception&) { throw std::logic_error("hook"); };
  testing::internal::CaptureStderr();
  try {
    throw 42; // not even a std::exception
  } catch (...) {
    Application->HandleException(nullptr);
  }
  Application->OnException = nullptr;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "hook\n");
}

TEST(ApplicationTest, MainFormExistsAndIsHidden) {
  ASSERT_NE(Application->MainForm(), nullptr);
  EXPECT_FALSE(Application->MainForm()->Visible());
}

TEST(ComponentTest, OwnerDestroysItsComponentsAndDetachedOnesAreSpared) {
  static int destroyed = 0;
  struct Probe : TComponent {
    using TComponent::TComponent;
    ~Probe() override { ++destroyed; }
  };
  destroyed = 0;
  auto* owner = new TComponent(nullptr);
  auto* first = new Probe(owner);
  new Probe(first); // grandchild
  auto* detached = new Probe(owner);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), first);
  EXPECT_EQ(owner->Components(5), nullptr);
  detached->DetachFromOwner();
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;
  EXPECT_EQ(destroyed, 2);
  delete detached;
  EXPECT_EQ(destroyed, 3);
}

} // namespace
} // namespace mivora
