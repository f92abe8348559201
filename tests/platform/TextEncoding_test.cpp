#include "TextEncoding.h"

#include "TestSupport.h"

namespace mivora {
namespace {

TEST(TextEncodingTest, InvalidBytesAreReadAsWindows1252) {
  EXPECT_EQ(ToUtf8("plain"), "plain");
  EXPECT_EQ(ToUtf8("caf\xE9"), "café");
  EXPECT_EQ(ToUtf8("\x80 and \x9F"), "€ and Ÿ");
  EXPECT_EQ(ToUtf8("café"), "café") << "valid UTF-8 is kept";
  EXPECT_EQ(ToUtf8("\xE2\x82"), "â‚") << "a truncated sequence is read byte by byte";
  EXPECT_EQ(ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextEncodingTest, FoldCaseEqualsNamesDifferingOnlyInCase) {
  EXPECT_EQ(FoldCase("Total"), FoldCase("TOTAL"));
  EXPECT_EQ(FoldCase("Ärger"), FoldCase("äRGER"));
  EXPECT_EQ(FoldCase("ΣΟΦΙΑ"), FoldCase("σοφια"));
  EXPECT_EQ(FoldCase("caf\xC9"), FoldCase("café"));
  EXPECT_NE(FoldCase("a"), FoldCase("b"));
  EXPECT_NE(FoldCase(std::string("a\0", 2)), FoldCase("a"));
}

} // namespace
} // namespace mivora
