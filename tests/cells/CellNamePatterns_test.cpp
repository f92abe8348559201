#include "Mivora.h"

#include "TestSupport.h"

#include <initializer_list>
#include <string>
#include <vector>

using namespace mivora;

namespace {

class CellNamePatterns : public ::testing::Test {
protected:
  // The names of the given cells that Pattern matches, in the given order.
  std::vector<std::string> Matching(const std::string& Pattern,
                                    std::initializer_list<const char*> Names) {
    std::vector<std::string> found;
    for (const char* name : Names) {
      TCell* cell = sheet.AddCell(name, 0, 0, 1, 1);
      if (sheet.StringMatchCellName(Pattern, cell)) found.emplace_back(name);
      sheet.Remove(cell);
    }
    return found;
  }

  TMivora sheet{nullptr};
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(CellNamePatterns, LoneAsteriskMatchesEveryNameAndEmptyPatternOnlyTheEmptyName) {
  EXPECT_EQ(Matching("*", {"", "a", "*", "Zz"}), (Names{"", "a", "*", "Zz"}));
  EXPECT_EQ(Matching("", {"", "a", "*"}), (Names{""}));
}


TEST_F(CellNamePatterns, TrailingAsteriskMatchesTheStart) {
  EXPECT_EQ(Matching("ab*", {"ab", "abc", "Abc", "a", "xab"}), (Names{"ab", "abc"}));
}

TEST_F(CellNamePatterns, LeadingAsteriskMatchesTheEnd) {
  EXPECT_EQ(Matching("*ab", {"ab", "xab", "abx", "b", "xAB"}), (Names{"ab", "xab"}));
}

TEST_F(CellNamePatterns, AsterisksAtBothEndsMatchAnInnerPart) {
  EXPECT_EQ(Matching("*ab*", {"ab", "cabd", "ba", "aXb"}), (Names{"ab", "cabd"}));
  // Nothing between the asterisks: nothing is ever found.
  EXPECT_EQ(Matching("**", {"", "a", "**"}), Names{});
  // The middle asterisk of three is an ordinary character.
  EXPECT_EQ(Matching("***", {"", "a", "a*b", "*"}), (Names{"a*b", "*"}));
}

TEST_F(CellNamePatterns, InnerAsteriskMatchesPrefixAndSuffixThatMayOverlap) {
  EXPECT_EQ(Matching("ab*ba", {"abba", "abxba", "aba", "ab", "abab", "Abba"}),
            (Names{"abba", "abxba", "aba"}));
}

TEST_F(CellNamePatterns, OnlyTheFirstInnerAsteriskIsAWildcard) {
  EXPECT_EQ(Matching("a*b*c", {"ab*c", "axxb*c", "abc", "axbyc", "xb*c"}),
            (Names{"ab*c", "axxb*c"}));
}

TEST_F(CellNamePatterns, InnerAsteriskOfAnEndsWithPatternIsOrdinary) {
  EXPECT_EQ(Matching("*a*b", {"a*b", "xa*b", "ab", "axb"}), (Names{"a*b", "xa*b"}));
  EXPECT_EQ(Matching("a*b*", {"a*bc", "a*b", "axbc"}), (Names{"a*bc", "a*b"}));
}

TEST_F(CellNamePatterns, CellNotInTheSheetIsInvalid) {
  TCell* cell = sheet.AddCell("A", 0, 0, 1, 1);
  sheet.Remove(cell);
  EXPECT_THROW_MSG(sheet.StringMatchCellName("*", cell), ECellError, "Invalid cell");
  EXPECT_THROW_MSG(sheet.StringMatchCellName("", nullptr), ECellError, "Invalid cell");
  TMivora other(nullptr);
  TCell* foreign = other.AddCell("A", 0, 0, 1, 1);
  EXPECT_THROW_MSG(sheet.StringMatchCellName("A", foreign), ECellError, "Invalid cell");
}
