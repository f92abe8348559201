#include "Csv.h"

#include "InputError.h"
#include "TestSupport.h"

namespace mivora::tool {
namespace {

using Fields = std::vector<std::string>;

TEST(Csv, ReadsQuotedFieldsWithSeparatorsQuotesAndLineBreaks) {
  const TCsvTable table = ParseCsv("Name,Address\r\n\"Doe, Jane\",\"1 \"\"Main\"\" St\r\nSpringfield\"\r\nBo,x\r\n", "d.csv");
  EXPECT_EQ(table.Header, (Fields{"Name", "Address"}));
  ASSERT_EQ(table.Records.size(), 2u);
  EXPECT_EQ(table.Records[0].Fields, (Fields{"Doe, Jane", "1 \"Main\" St\r\nSpringfield"}));
  EXPECT_EQ(table.Records[0].Line, 2u);
  // The record after a quoted line break starts two lines further down.
  EXPECT_EQ(table.Records[1].Line, 4u);
  EXPECT_EQ(table.Records[1].Fields, (Fields{"Bo", "x"}));
}

TEST(Csv, IgnoresAByteOrderMarkBlankLinesAndAMissingLastLineBreak) {
  const TCsvTable table = ParseCsv("\xEF\xBB\xBFName\n\nAnn\n\r\nBob", "d.csv");
  EXPECT_EQ(table.Header, (Fields{"Name"}));
  ASSERT_EQ(table.Records.size(), 2u);
  EXPECT_EQ(table.Records[1].Fields, (Fields{"Bob"}));
  EXPECT_EQ(table.Records[1].Line, 5u);
}

TEST(Csv, AcceptsOldMacLineEndsEmptyFieldsAndOtherSeparators) {
  const TCsvTable table = ParseCsv("a;b;c\r1;;\r", "d.csv", ';');
  ASSERT_EQ(table.Records.size(), 1u);
  EXPECT_EQ(table.Records[0].Fields, (Fields{"1", "", ""}));
  // A trailing separator at the very end still makes an empty last field.
  EXPECT_EQ(ParseCsv("a,b\n1,", "d.csv").Records[0].Fields, (Fields{"1", ""}));
  // A quote inside an unquoted field stands for itself.
  EXPECT_EQ(ParseCsv("a\n5\" screen\n", "d.csv").Records[0].Fields, (Fields{"5\" screen"}));
}

TEST(Csv, RefusesRaggedRecordsWithTheirLine) {
  EXPECT_THROW_MSG(ParseCsv("a,b\n1,2\n1,2,3\n", "d.csv"), EInputError, "d.csv:3: 3 fields, but the header has 2");
  EXPECT_THROW_MSG(ParseCsv("a,b\n1,2\n\n1\n", "d.csv"), EInputError, "d.csv:4: 1 field, but the header has 2");
}

TEST(Csv, RefusesBrokenQuotesWithTheirLine) {
  EXPECT_THROW_MSG(ParseCsv("a\n\"open\nstill open\n", "d.csv"), EInputError,
                   "d.csv:2: a quoted field is not closed (the closing \" is missing)");
  EXPECT_THROW_MSG(ParseCsv("a,b\n\"x\"y,2\n", "d.csv"), EInputError,
                   "d.csv:2: unexpected character 'y' after a closing quote (write \"\" for a quote inside a quoted field)");
}

TEST(Csv, RefusesAnEmptyFileAndTooManyColumns) {
  EXPECT_THROW_MSG(ParseCsv("", "d.csv"), EInputError, "d.csv: the file has no header row");
  EXPECT_THROW_MSG(ParseCsv("\xEF\xBB\xBF\r\n\r\n", "d.csv"), EInputError, "d.csv: the file has no header row");
  EXPECT_THROW_MSG(ParseCsv(std::string(MaxCsvColumns + 1, ','), "d.csv"), EInputError,
                   "d.csv:1: more than 1000 fields in one record");
  EXPECT_THROW(ParseCsv("a\n", "d.csv", '"'), EInputError);
}

} // namespace
} // namespace mivora::tool
