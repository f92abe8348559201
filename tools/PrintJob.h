// The work of `mivora print` and `mivora check`: a layout (and data) in, one
// document out, to a file or a CUPS queue; nothing written when anything fails.
#pragma once

#include "Printer.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mivora::tool {

enum class TOutputKind : uint8_t { Pdf, Png, Svg, PostScript };

// The kind of output a file name asks for by its extension (.pdf, .png, .svg,
// .ps; letter case ignored). Raises EInputError for any other name.
TOutputKind OutputKindOf(const std::filesystem::path& Output);

struct TPrintRequest {
  std::filesystem::path Layout;
  std::optional<std::filesystem::path> Output;  // none and no Queue: "<layout stem>.pdf" here
  std::optional<std::string> Queue;             // print to this CUPS queue
  std::optional<std::filesystem::path> Data;    // records to merge: one a page, or one a label
  std::optional<char> Separator;                // none: a tab for .tsv files, else a comma
  int32_t FirstLabel = 1;                       // the first label used on the first sheet
  int32_t RecordCopies = 1;                     // each record this many times in a row
  std::string Records;                          // "5-10,20": only these records; empty: all
  std::optional<int32_t> Dpi;                   // the resolution, instead of the layout's
  std::optional<int32_t> MaxDpi;                // pictures finer than this are reduced (PDF, PS, SVG)
  bool Strict = false;                          // warnings about the input are errors
  double MaxEnlargement = 2.0;                  // pictures printed larger than this are warned about
  std::optional<std::string> Title;             // instead of the layout's
  bool AllowOutside = false;                    // files outside the layout's (data's) folder
  bool Wait = true;                             // wait for the CUPS job to complete
  std::chrono::seconds Timeout{300};            // bounds each request to the server, and the wait
  TPrintJobSettings Job;                        // copies, sides, paper and tray on the queue
  // Called after each page with the pages done and the total.
  std::function<void(size_t Done, size_t Total)> Progress;
  // Called with warnings (the layout's paper not used on a queue, ...).
  std::function<void(const std::string& Message)> Warn;
};

struct TPrintReport {
  size_t Pages = 0;
  std::vector<std::string> Files;  // the files written (none for a queue)
  std::string Queue;               // the queue printed to
  int32_t JobId = 0;
  bool Completed = false;          // the queue reported the job completed
};

// Prints the layout. Input faults raise EInputError, printing faults
// EPrinterError (ECupsError for queues); either way no output is left behind.
TPrintReport PrintLayout(const TPrintRequest& Request);

struct TCheckReport {
  size_t Commands = 0;
  int32_t Cells = 0;
  size_t Records = 0;
};

// Reads the layout (and data), carries out its commands and checks the merge
// without printing: the faults PrintLayout would find in the input.
TCheckReport CheckLayout(const TPrintRequest& Request);

} // namespace mivora::tool
