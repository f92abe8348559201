// The command's readers on the worst inputs we can build: each stops at its
// bound with an error that names the bound and where it was met, and none takes
// time or memory beyond what its bound allows.
#include "Csv.h"
#include "InputError.h"
#include "JsonDocument.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Mivora.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace mivora::tool {
namespace {

// The message of the EInputError Statement raises ("" when it raises none).
std::string ErrorOf(const std::function<void()>& Statement) {
  try {
    Statement();
  } catch (const EInputError& error) {
    return error.what();
  }
  return {};
}

#define EXPECT_ERROR_HAS(message, part) EXPECT_NE((message).find(part), std::string::npos) << (message)

TEST(HostileCsvTest, PathologicalQuotingStopsAtTheFieldBound) {
  // A quote never closed, then a megabyte of doubled quotes: one field that
  // grows without end, and one that alternates quoted and bare parts.
  const std::string unclosed = "name\n\"" + std::string(MaxCsvFieldBytes + 10, 'x');
  EXPECT_ERROR_HAS(ErrorOf([&] { ParseCsv(unclosed, "data.csv"); }),
                   "data.csv:2: a field of more than " + std::to_string(MaxCsvFieldBytes) + " bytes");
  std::string doubled = "name\n\"";
  for (size_t i = 0; i < MaxCsvFieldBytes + 10; ++i) doubled += "\"\"";
  doubled += "\"\n";
  EXPECT_ERROR_HAS(ErrorOf([&] { ParseCsv(doubled, "data.csv"); }), "data.csv:2: a field of more than");
  // Quoted line breaks keep the record on the line where it starts.
  std::string breaks = "name\n\"";
  for (int i = 0; i < 200000; ++i) breaks += "\r\n";
  breaks += "\"\nlast\n";
  const TCsvTable table = ParseCsv(breaks, "data.csv");
  ASSERT_EQ(table.Records.size(), 2u);
  EXPECT_EQ(table.Records[1].Line, 200003u);
}

TEST(HostileCsvTest, HugeCountsStopAtTheColumnAndRecordBounds) {
  std::string header;
  for (size_t i = 0; i <= MaxCsvColumns; ++i) header += "c,";
  EXPECT_ERROR_HAS(ErrorOf([&] { ParseCsv(header + "\n", "wide.csv"); }),
                   "wide.csv:1: more than " + std::to_string(MaxCsvColumns) + " fields in one record");
  // Fields just under their bound, enough of them to pass the record's.
  const std::string field(MaxCsvFieldBytes - 1, 'y');
  std::string head;
  std::string record;
  for (size_t i = 0; i * field.size() <= MaxCsvRecordBytes; ++i) {
    head += (i == 0 ? "" : ",") + std::string("c");
    record += (i == 0 ? "" : ",") + field;
  }
  EXPECT_ERROR_HAS(ErrorOf([&] { ParseCsv(head + "\n" + record + "\n", "long.csv"); }),
                   "long.csv:2: a record of more than " + std::to_string(MaxCsvRecordBytes) + " bytes");
  // Millions of blank lines are skipped, and counted.
  const TCsvTable blank = ParseCsv("a\n" + std::string(3000000, '\n') + "z\n", "blank.csv");
  ASSERT_EQ(blank.Records.size(), 1u);
  EXPECT_EQ(blank.Records[0].Line, 3000002u);
}

TEST(HostileLayoutTest, DeepNestingHugeCountsAndLongStringsNameTheirBounds) {
  const TPathPolicy policy;
  auto parse = [&](const std::string& Text) { ParseLayout(Text, "hostile.json", policy, "t"); };
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_ERROR_HAS(ErrorOf([&] { parse(deep); }), "nested more than " + std::to_string(MaxJsonDepth));
  EXPECT_ERROR_HAS(ErrorOf([&] { parse(deep); }), "hostile.json");

  std::string many = "{\"commands\": [";
  for (size_t i = 0; i <= MaxCommands; ++i) many += (i == 0 ? "" : ",") + std::string("{}");
  many += "]}";
  EXPECT_ERROR_HAS(ErrorOf([&] { parse(many); }),
                   std::to_string(MaxCommands + 1) + " commands; the most accepted is " + std::to_string(MaxCommands));

  const std::string longText = "{\"commands\": [{\"op\": \"AddText\", \"name\": \"A\", \"left\": 0, \"top\": 0, "
                               "\"width\": 1, \"height\": 1, \"text\": \"" +
                               std::string(MaxStringBytes + 1, 'a') + "\"}]}";
  EXPECT_ERROR_HAS(ErrorOf([&] { parse(longText); }),
                   "a string of " + std::to_string(MaxStringBytes + 1) + " bytes; the most accepted is");

  EXPECT_ERROR_HAS(ErrorOf([&] { parse(std::string(MaxLayoutBytes + 1, ' ')); }),
                   std::to_string(MaxLayoutBytes));

  // Ten billion cells asked of one split, read and then carried out.
  const std::string split = "{\"commands\": [{\"op\": \"AddText\", \"name\": \"A\", \"text\": \"a\", \"left\": 0, "
                            "\"top\": 0, \"width\": 1, \"height\": 1}, {\"op\": \"Split\", \"baseName\": \"B\", "
                            "\"rows\": 100000, \"cols\": 100000}]}";
  const std::string message = ErrorOf([&] {
    const TLayout layout = ParseLayout(split, "hostile.json", policy, "t");
    TMivora sheet(nullptr);
    BuildSheet(sheet, layout);
  });
  EXPECT_ERROR_HAS(message, "the most accepted is " + std::to_string(MaxCellsPerCut));
  EXPECT_ERROR_HAS(message, "commands[1]");
}

} // namespace
} // namespace mivora::tool
