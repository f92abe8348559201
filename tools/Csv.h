// Data files for merging: a header row of names, then records, read one record
// at a time from a stream so that memory does not grow with the file.
//
// Encodings: UTF-8, with or without a byte-order mark; a field that is not valid
// UTF-8 is read as Windows-1252 (byte by byte, as texts are drawn); UTF-16 little-
// or big-endian when the file starts with its byte-order mark. Every field comes
// out as valid UTF-8.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <memory>
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

// Limits that keep a hostile file from exhausting memory: they bound one record,
// not the file, which may hold any number of records.
constexpr size_t MaxCsvColumns = 1000;
constexpr size_t MaxCsvFieldBytes = size_t{1} * 1024 * 1024;
constexpr size_t MaxCsvRecordBytes = size_t{16} * 1024 * 1024;
// The most ParseCsv accepts, since it holds the whole text in memory.
constexpr size_t MaxCsvBytes = size_t{64} * 1024 * 1024;

// The separator written on the command line: one character, "tab" or "\t".
// Raises EInputError naming the value otherwise.
char ParseSeparator(const std::string& Written);

// The separator a data file uses unless told otherwise: a tab for ".tsv" files
// (letter case ignored), a comma for the rest.
char DefaultSeparator(const std::filesystem::path& File);

// Reads records one at a time. Fields are separated by Separator, optionally in
// double quotes ("" stands for one quote; quoted fields may hold separators and
// line breaks); records end in LF, CRLF or CR; blank lines are skipped. Every
// record must have as many fields as the header. Faults raise EInputError
// "Label:line: ...".
class TCsvReader {
public:
  // Reads from the file at Path (named Label in messages) and reads its header.
  TCsvReader(const std::filesystem::path& Path, const std::string& Label, char Separator);
  // Reads from In, which the reader keeps; for data that is not in a file.
  TCsvReader(std::unique_ptr<std::istream> In, const std::string& Label, char Separator);
  ~TCsvReader();
  TCsvReader(const TCsvReader&) = delete;
  TCsvReader& operator=(const TCsvReader&) = delete;

  const std::vector<std::string>& Header() const noexcept { return header_; }
  size_t HeaderLine() const noexcept { return headerLine_; }
  const std::string& Label() const noexcept { return label_; }

  // The next record, checked; false at the end of the data.
  bool Next(TCsvRecord& Record);

  // Records handed out so far.
  size_t Count() const noexcept { return count_; }

private:
  class TParser;
  void ReadHeader(char Separator);

  std::string label_;
  std::unique_ptr<TParser> parser_;
  std::vector<std::string> header_;
  size_t headerLine_ = 1;
  size_t count_ = 0;
};

// Reads all of Text at once, as TCsvReader does; for small data in memory.
TCsvTable ParseCsv(const std::string& Text, const std::string& Label, char Separator = ',');

} // namespace mivora::tool
