// Cell content that counts how many of its kind are alive, to prove ownership:
// a test starts with none alive, hands objects to cells, and checks that each was
// destroyed exactly once.
#pragma once

#include "Component.h"
#include "Mivora.h"
#include "Picture.h"
#include "RichEdit.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mivora::test {

// A picture whose natural size is 10 x 20 pixels.
class CountedGraphic : public TGraphic {
public:
  static inline int Alive = 0;
  CountedGraphic() { ++Alive; }
  ~CountedGraphic() override { --Alive; }
  int32_t Width() const override { return 10; }
  int32_t Height() const override { return 20; }
};

class CountedRichEdit : public TRichEdit {
public:
  static inline int Alive = 0;
  explicit CountedRichEdit(TComponent* Owner = nullptr) : TRichEdit(Owner) { ++Alive; }
  ~CountedRichEdit() override { --Alive; }
};

// A fixture with an empty sheet, starting each test with no counted content alive.
class CountedContentTest : public ::testing::Test {
protected:
  void SetUp() override {
    CountedGraphic::Alive = 0;
    CountedRichEdit::Alive = 0;
  }
  TMivora sheet{nullptr};
};

} // namespace mivora::test
