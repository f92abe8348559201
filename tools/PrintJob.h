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

// Adds one -o NAME=VALUE job option to Job, as lp reads it: copies, sides,
// collate, media and media-source are the job's settings; any other option
// passes on as given. Raises EInputError for a count of copies that is not a
// whole number from 1 to 999999.
void AddJobOption(TPrintJobSettings& Job, const std::string& Option);

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
  // Processes that draw the pages of a PNG or SVG merge side by side; 0: one
  // for each core the command may use. The files are the same whatever the
  // count (an SVG's top group id aside: Cairo numbers it across the process).
  int32_t Jobs = 0;
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
// EPrinterError (ECupsError for queues), a signal EInterrupted; in every case
// no output and no temporary file is left behind.
//
// A single file (PDF, PostScript, or a PNG or SVG of one page) is written
// under a temporary name beside it, synced to disk and renamed over the
// earlier file: a reader sees the old file or the new one, whole.
//
// A PNG or SVG merge of several pages writes "<name>-001.png", ... beside the
// output, all or nothing: every page is drawn into a private folder beside the
// output (".<name>.mivora-XXXXXX") and synced with one sync of the file system;
// then each earlier file of a page's name gets a second name in that folder
// (it is moved there where the file system has no hard links) and the new
// pages are renamed over the earlier ones. If any of these steps fails, the pages already
// renamed are taken out again and the earlier files put back, so the folder
// holds what it held before (files of the names the job does not write, such
// as "<name>-004.png" of a longer earlier run, are never touched). Between the
// first and the last rename, a reader of the folder may see some new pages
// beside earlier ones; the file system offers no way to rename several files
// at once.
TPrintReport PrintLayout(const TPrintRequest& Request);

// The cores this process may run on (at least 1): the default of Jobs.
int32_t AvailableCores() noexcept;

struct TCheckReport {
  size_t Commands = 0;
  int32_t Cells = 0;
  size_t Records = 0;
};

// Reads the layout (and data), carries out its commands and checks the merge
// without printing: the faults PrintLayout would find in the input.
TCheckReport CheckLayout(const TPrintRequest& Request);

} // namespace mivora::tool
