#include "MivoraUtils.h"

#include "TestSupport.h"

#include <limits>
#include <vector>

using namespace mivora;

namespace {

// Every value the list hands out from a reset cursor.
std::vector<float> Walk(const std::vector<float>& List) {
  TCutValueRec rec;
  ResetCutValueRec(rec);
  std::vector<float> out;
  float v = -99.0f;
  while (CutValue(List, rec, v)) out.push_back(v);
  return out;
}

using Floats = std::vector<float>;

} // namespace

TEST(CutValues, RepeatMarkerHandsOutTheNextValueThatManyTimes) {
  const Floats list{10, -3, 5, 20};
  EXPECT_EQ(Walk(list), (Floats{10, 5, 5, 5, 20}));
  EXPECT_EQ(CutValuesCount(list), 5);
}

TEST(CutValues, OnlyTheLastOfSeveralMarkersCounts) {
  const Floats list{-2, -3, 7};
  EXPECT_EQ(Walk(list), (Floats{7, 7, 7}));
  EXPECT_EQ(CutValuesCount(list), 3);
}

TEST(CutValues, MarkersAtTheEndStandForNothing) {
  EXPECT_EQ(Walk({5, -4}), (Floats{5}));
  EXPECT_EQ(CutValuesCount(Floats{5, -4}), 1);
  EXPECT_EQ(Walk({-1, -2}), Floats{});
  EXPECT_EQ(CutValuesCount(Floats{-1, -2}), 0);
}

TEST(CutValues, RepeatCountsRoundHalvesToEvenAndAreAtLeastOne) {
  EXPECT_EQ(Walk({-0.4f, 8}), (Floats{8}));
  EXPECT_EQ(Walk({-2.5f, 1}), (Floats{1, 1}));
  EXPECT_EQ(Walk({-3.5f, 1}), (Floats{1, 1, 1, 1}));
  EXPECT_EQ(CutValuesCount(Floats{-0.4f, 8, -2.5f, 1, -3.5f, 1}), 7);
}

TEST(CutValues, ZeroAndNegativeZeroAreValues) {
  const Floats list{0.0f, -0.0f};
  EXPECT_EQ(Walk(list).size(), 2u);
  EXPECT_EQ(CutValuesCount(list), 2);
}

TEST(CutValues, EmptyListIsUsedUpAtOnceAndStaysUsedUp) {
  TCutValueRec rec;
  ResetCutValueRec(rec);
  float v = 42.0f;
  EXPECT_EQ(CutValuesCount({}), 0);
  EXPECT_FALSE(CutValue({}, rec, v));
  EXPECT_EQ(v, 42.0f);

  const Floats list{3, -2};
  ResetCutValueRec(rec);
  EXPECT_TRUE(CutValue(list, rec, v));
  EXPECT_FALSE(CutValue(list, rec, v));
  EXPECT_FALSE(CutValue(list, rec, v));
  EXPECT_EQ(v, 3.0f);
}


TEST(CutValues, HugeRepeatCountsSaturateInsteadOfOverflowing) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(CutValuesCount(Floats{-1e30f, 1}), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(CutValuesCount(Floats{-inf, 1, -1e30f, 2}), std::numeric_limits<int32_t>::max());
  TCutValueRec rec;
  ResetCutValueRec(rec);
  float v = 0;
  EXPECT_TRUE(CutValue(Floats{-inf, 1}, rec, v));
  EXPECT_EQ(v, 1.0f);
}

TEST(CutValues, CursorOutsideTheListHandsOutNothing) {
  TCutValueRec rec{-5, 0};
  float v = 7.0f;
  EXPECT_FALSE(CutValue(Floats{1, 2}, rec, v));
  rec = {9, 0};
  EXPECT_FALSE(CutValue(Floats{1, 2}, rec, v));
  EXPECT_EQ(v, 7.0f);
}
