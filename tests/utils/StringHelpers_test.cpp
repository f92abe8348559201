#include "MivoraUtils.h"

#include "TestSupport.h"

#include <cstdint>

using namespace mivora;

TEST(StringHelpers, StrLeftCutsTheStart) {
  EXPECT_EQ(StrLeft("abc", 2), "ab");
  EXPECT_EQ(StrLeft("abc", 5), "abc");
  EXPECT_EQ(StrLeft("abc", 0), "");
  EXPECT_EQ(StrLeft("abc", -1), "");
}

TEST(StringHelpers, StrRightCutsTheEnd) {
  EXPECT_EQ(StrRight("abc", 2), "bc");
  EXPECT_EQ(StrRight("abc", 7), "abc");
  EXPECT_EQ(StrRight("abc", 0), "");
  EXPECT_EQ(StrRight("abc", -3), "");
}

TEST(StringHelpers, StringsMayHoldZeroBytes) {
  const std::string s("a\0b\0", 4);
  EXPECT_EQ(StrLeft(s, 3), std::string("a\0b", 3));
  EXPECT_EQ(StrRight(s, 2), std::string("b\0", 2));
  EXPECT_TRUE(StrMatch(s, s));
  EXPECT_FALSE(StrMatch(s, "a"));
}

TEST(StringHelpers, StrMatchIsExactExceptForTheEmptyPattern) {
  EXPECT_TRUE(StrMatch("", "anything"));
  EXPECT_TRUE(StrMatch("", ""));
  EXPECT_TRUE(StrMatch("Cell", "Cell"));
  EXPECT_FALSE(StrMatch("Cell", "cell"));
  EXPECT_FALSE(StrMatch("Cell", ""));
  EXPECT_FALSE(StrMatch("Cell", "Cells"));
  EXPECT_FALSE(StrMatch("C*", "Cell"));
}

TEST(StringHelpers, ReferenceStringsRoundTrip) {
  int object = 0;
  const std::string s = PtrToStr(&object);
  EXPECT_EQ(s.size(), 8u);
  EXPECT_EQ(StrToPtr(s), &object);
  EXPECT_EQ(PtrToStr(nullptr), std::string(8, '\0'));
  EXPECT_EQ(StrToPtr(PtrToStr(nullptr)), nullptr);
}

TEST(StringHelpers, ReferenceStringIsLeastSignificantByteFirst) {
  const auto* p = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x00FF0100u));
  const std::string s = PtrToStr(p);
  EXPECT_EQ(s, std::string("\x00\x01\xFF\x00\x00\x00\x00\x00", 8));
  EXPECT_EQ(StrToPtr(s), p);
}

TEST(StringHelpers, ShortReferenceStringGivesNull) {
  EXPECT_EQ(StrToPtr(""), nullptr);
  EXPECT_EQ(StrToPtr("1234567"), nullptr);
  // Only the first eight bytes are read.
  int object = 0;
  EXPECT_EQ(StrToPtr(PtrToStr(&object) + "tail"), &object);
}
