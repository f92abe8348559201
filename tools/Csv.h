// Comma-separated data for merging: a header row of names, then records.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mivora::tool {

// One record and the line of the file where it starts (from 1).
struct TCsvRecord {
  size_t Line = 0;
  std::vector<std::string> Fields;
};

struct TCsvTable {
  std::vector<std::string> Header;
  size_t HeaderLine = 1;
  std::vector<TCsvRecord> Records;
};

// Limits that keep a hostile file from exhausting memory.
constexpr size_t MaxCsvBytes = size_t{64} * 1024 * 1024;
constexpr size_t MaxCsvRecords = 100000;
constexpr size_t MaxCsvColumns = 1000;

// Parses Text: fields separated by Separator, optionally in double quotes (""
// stands for one quote; quoted fields may hold separators and line breaks),
// records ending in LF, CRLF or CR, a UTF-8 byte-order mark ignored, blank
// lines skipped. Every record must have as many fields as the header. Raises
// EInputError "Label:line: ..." on any fault.
TCsvTable ParseCsv(const std::string& Text, const std::string& Label, char Separator = ',');

} // namespace mivora::tool
