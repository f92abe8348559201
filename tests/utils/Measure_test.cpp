#include "MivoraUtils.h"

#include "TestSupport.h"

#include <bit>
#include <cmath>
#include <limits>

namespace mivora {
namespace {

constexpr TMeasurement kUnits[] = {mtPixels, mtCentimeters, mtInches, mtPercentage};

TEST(ConvertMeasureTest, SameUnitReturnsTheIdenticalBits) {
  for (TMeasurement u : kUnits) {
    for (float v : {0.0f, -0.0f, -3.75f, 1e-30f, 12345.678f,
                    std::numeric_limits<float>::quiet_NaN()}) {
      EXPECT_EQ(std::bit_cast<uint32_t>(ConvertMeasure(u, u, 600, 4799, v)),
                std::bit_cast<uint32_t>(v));
    }
  }
}

TEST(ConvertMeasureTest, UnknownUnitCodesLeaveTheValue) {
  const auto bogus = static_cast<TMeasurement>(7);
  EXPECT_EQ(ConvertMeasure(bogus, mtPixels, 600, 4799, 2.5f), 2.5f);
  EXPECT_EQ(ConvertMeasure(mtCentimeters, bogus, 600, 4799, 2.5f), 2.5f);
}

TEST(ConvertMeasureTest, TableAt600DpiAndExtent4799) {
  // Every row of the table, with the figures of a 600 dpi printer whose page is
  // 4800 pixels across (extent 4799).
  EXPECT_EQ(ConvertMeasure(mtCentimeters, mtPixels, 600, 4799, 2.54f), 600.0f);
  EXPECT_EQ(ConvertMeasure(mtPixels, mtCentimeters, 600, 4799, 600.0f), 2.54f);
  EXPECT_EQ(ConvertMeasure(mtPixels, mtInches, 600, 4799, 300.0f), 0.5f);
  EXPECT_EQ(ConvertMeasure(mtInches, mtPixels, 600, 4799, 0.5f), 300.0f);
  EXPECT_EQ(ConvertMeasure(mtPercentage, mtPixels, 600, 4799, 1.0f), 4799.0f);
  EXPECT_EQ(ConvertMeasure(mtPercentage, mtPixels, 600, 4799, 0.0f), 0.0f);
  EXPECT_EQ(ConvertMeasure(mtPixels, mtPercentage, 600, 4799, 4799.0f), 1.0f);
  EXPECT_EQ(ConvertMeasure(mtInches, mtCentimeters, 600, 4799, 2.0f), 5.08f);
  EXPECT_EQ(ConvertMeasure(mtCentimeters, mtInches, 600, 4799, 5.08f),
            static_cast<float>(0.393700787401574803149606299212598425L * 5.08f));
  EXPECT_EQ(ConvertMeasure(mtInches, mtPercentage, 600, 4799, 7.998333f),
            static_cast<float>(600.0L * 7.998333f / 4799.0L));
  EXPECT_EQ(ConvertMeasure(mtCentimeters, mtPercentage, 600, 4799, 2.54f),
            static_cast<float>(600.0L / 4799.0L));
  EXPECT_EQ(ConvertMeasure(mtPercentage, mtCentimeters, 600, 4799, 0.5f),
            static_cast<float>(4799.0L * 0.5L / 600.0L * 2.54L));
  EXPECT_EQ(ConvertMeasure(mtPercentage, mtInches, 600, 4799, 0.5f),
            static_cast<float>(4799.0L * 0.5L / 600.0L));
}

TEST(ConvertMeasureTest, CentimetresMultiplyByTheReciprocalInsteadOfDividing) {
  // 1 cm at 1 dpi: R x 1 x 1 is the reciprocal itself, rounded once.
  EXPECT_EQ(ConvertMeasure(mtCentimeters, mtPixels, 1, 1, 1.0f), 0.39370078740157480315f);
  // Round trips in and cm come back within one unit in the last place.
  for (float v : {0.1f, 1.0f, 3.3f, 29.7f}) {
    const float back = ConvertMeasure(mtInches, mtCentimeters, 600, 1,
                                      ConvertMeasure(mtCentimeters, mtInches, 600, 1, v));
    EXPECT_LE(std::abs(back - v), std::nextafter(v, 1e9f) - v);
  }
}

TEST(ConvertMeasureTest, ResultIsNotRoundedToWholePixels) {
  EXPECT_EQ(ConvertMeasure(mtCentimeters, mtPixels, 600, 4799, 1.0f),
            static_cast<float>(0.393700787401574803149606299212598425L * 600.0L));
  EXPECT_NE(std::trunc(ConvertMeasure(mtCentimeters, mtPixels, 600, 4799, 1.0f)),
            ConvertMeasure(mtCentimeters, mtPixels, 600, 4799, 1.0f));
}

} // namespace
} // namespace mivora
