#include "Csv.h"

#include "InputError.h"
#include "TestSupport.h"

#include <fstream>
#include <sstream>

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

std::string Utf16(const std::u16string& Text, bool LittleEndian) {
  std::string bytes = LittleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : Text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += LittleEndian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

TEST(Csv, ReadsUtf16WithAByteOrderMarkInEitherByteOrder) {
  // "Zoë" and a character outside the basic plane (a surrogate pair).
  const std::u16string text = u"name,city\r\nZo\u00EB,\U0001F600x\r\n";
  for (const bool littleEndian : {true, false}) {
    const TCsvTable table = ParseCsv(Utf16(text, littleEndian), "d.csv");
    EXPECT_EQ(table.Header, (Fields{"name", "city"}));
    ASSERT_EQ(table.Records.size(), 1u);
    EXPECT_EQ(table.Records[0].Fields, (Fields{"Zo\xC3\xAB", "\xF0\x9F\x98\x80x"}));
    EXPECT_EQ(table.Records[0].Line, 2u);
  }
  EXPECT_THROW_MSG(ParseCsv(Utf16(u"a\nb\n", true) + "x", "d.csv"), EInputError,
                   "d.csv:3: the UTF-16 file ends in the middle of a character (an odd number of bytes)");
  EXPECT_THROW_MSG(ParseCsv(Utf16(u"a\n\xDC00\n", true), "d.csv"), EInputError,
                   "d.csv:2: the UTF-16 file holds a lone surrogate 0xDC00 (half of a character); save it again "
                   "as UTF-8 or UTF-16");
}

TEST(Csv, ReadsFieldsThatAreNotUtf8AsWindows1252) {
  // "Müller" and "€5" saved by a Windows program; a UTF-8 field beside them stays as it is.
  const TCsvTable table = ParseCsv("a,b,c\nM\xFCller,\x80" "5,G\xC3\xB6" "del\n", "d.csv");
  EXPECT_EQ(table.Records[0].Fields, (Fields{"M\xC3\xBCller", "\xE2\x82\xAC" "5", "G\xC3\xB6" "del"}));
}

TEST(Csv, TellsTheSeparatorFromTheOptionAndTheFileName) {
  EXPECT_EQ(ParseSeparator("tab"), '\t');
  EXPECT_EQ(ParseSeparator("\\t"), '\t');
  EXPECT_EQ(ParseSeparator(";"), ';');
  EXPECT_THROW_MSG(ParseSeparator(";;"), EInputError,
                   "--separator takes one character, \"tab\" or \"\\t\", not \";;\"");
  EXPECT_EQ(DefaultSeparator("people.TSV"), '\t');
  EXPECT_EQ(DefaultSeparator("people.csv"), ',');
  EXPECT_EQ(ParseCsv("a\tb\n1,5\t2\n", "d.tsv", '\t').Records[0].Fields, (Fields{"1,5", "2"}));
}

TEST(Csv, SuggestsTheSeparatorWhenTheHeaderHasOneColumnHoldingAnother) {
  EXPECT_THROW_MSG(ParseCsv("name;city\nAnn;Rome\n", "d.csv"), EInputError,
                   "d.csv:1: the header has one column, \"name;city\"; if the fields are separated by ';', give "
                   "--separator ';'");
  EXPECT_THROW_MSG(ParseCsv("name\tcity\n", "d.csv"), EInputError,
                   "d.csv:1: the header has one column, \"name\tcity\"; if the fields are separated by tabs, give "
                   "--separator tab");
  EXPECT_EQ(ParseCsv("name\nAnn;Bo\n", "d.csv").Records[0].Fields, (Fields{"Ann;Bo"}));
}

TEST(Csv, BoundsOneFieldButNotTheNumberOfRecords) {
  std::string big = "a\n" + std::string(MaxCsvFieldBytes + 1, 'x') + "\n";
  EXPECT_THROW_MSG(ParseCsv(big, "d.csv"), EInputError, "d.csv:2: a field of more than 1048576 bytes");
  // Far more records than a page run of the past allowed, streamed from a file
  // one at a time.
  const std::string path = test::OutputDir() + "/many.csv";
  {
    std::ofstream out(path, std::ios::binary);
    out << "n,twice\n";
    for (int i = 1; i <= 150000; ++i) out << i << ',' << 2 * i << '\n';
  }
  TCsvReader reader(path, "many.csv", ',');
  TCsvRecord record;
  size_t last = 0, line = 0;
  while (reader.Next(record)) {
    last = std::stoul(record.Fields[0]);
    line = record.Line;
  }
  EXPECT_EQ(last, 150000u);
  EXPECT_EQ(line, 150001u);
  EXPECT_EQ(reader.Count(), 150000u);
  EXPECT_THROW_MSG(TCsvReader(test::OutputDir() + "/none.csv", "none.csv", ','), EInputError,
                   "Cannot read the data file \"none.csv\": no such file");
}

} // namespace
} // namespace mivora::tool
