#include "Numbers.h"

#include "TestSupport.h"

#include <cmath>
#include <limits>
#include <locale>

namespace mivora {
namespace {

constexpr int32_t Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Min = std::numeric_limits<int32_t>::min();

TEST(Numbers, ConversionsToDeviceIntegersSaturateInsteadOfWrapping) {
  EXPECT_EQ(ClampToInt32(int64_t{Max} + 1), Max);
  EXPECT_EQ(ClampToInt32(int64_t{Min} - 1), Min);
  EXPECT_EQ(ClampToInt32(-42), -42);

  EXPECT_EQ(RoundToInt32(2.5), 2) << "halves go to the even neighbour";
  EXPECT_EQ(RoundToInt32(3.5), 4);
  EXPECT_EQ(RoundToInt32(-2.5), -2);
  EXPECT_EQ(RoundToInt32(1e30), Max);
  EXPECT_EQ(RoundToInt32(-1e30), Min);
  EXPECT_EQ(RoundToInt32(std::numeric_limits<double>::infinity()), Max);
  EXPECT_EQ(RoundToInt32(std::nan("")), 0);
}

// A locale that writes decimal commas and groups thousands, as many do.
struct TCommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(Numbers, FormattedNumbersIgnoreTheProcessLocale) {
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new TCommaPunct));
  EXPECT_EQ(FormatNumber(2.5), "2.5");
  EXPECT_EQ(FormatNumber(1234567.0), "1.23457e+06");
  EXPECT_EQ(FormatNumber(210.0), "210");
  EXPECT_EQ(FormatNumber(215.9, 4), "215.9");
  EXPECT_EQ(FormatNumber(1234.5678, 4), "1235");
  std::locale::global(previous);
}

} // namespace
} // namespace mivora
