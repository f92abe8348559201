// Job options of a CUPS queue on any text: each line is one -o NAME=VALUE as the
// command takes it (copies, sides, collate, media and media-source become the
// job's settings, the rest passes on as lp -o options); a line "--queue-paper"
// asks for the queue's paper. The settings are checked against a queue
// described in memory (no server), its paper chosen for a few page sizes, and
// the options the job would carry put together.
#include "Cups.h"
#include "FuzzTarget.h"
#include "InputError.h"
#include "PrintJob.h"
#include "PrintJobSettings.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

using namespace mivora;

namespace {

TCupsQueue MakeQueue() {
  TCupsQueue queue;
  queue.Name = "Office";
  queue.State = "idle";
  queue.Media = "iso_a4_210x297mm";
  queue.PaperWidthMm = 210;
  queue.PaperHeightMm = 297;
  queue.Margins = {4.2, 4.2, 4.2, 4.2};
  queue.MediaSizes = {{"iso_a4_210x297mm", 210, 297, {4.2, 4.2, 4.2, 4.2}},
                      {"na_letter_8.5x11in", 215.9, 279.4, {4.2, 4.2, 4.2, 4.2}},
                      {"na_index-4x6_4x6in", 101.6, 152.4, {}}};
  queue.CustomMinWidthMm = 50;
  queue.CustomMinHeightMm = 50;
  queue.CustomMaxWidthMm = 216;
  queue.CustomMaxHeightMm = 356;
  queue.Sides = {"one-sided", "two-sided-long-edge", "two-sided-short-edge"};
  queue.SidesDefault = "one-sided";
  queue.MediaSources = {"auto", "tray-1", "tray-2"};
  queue.MediaSourceDefault = "auto";
  queue.MaxCopies = 999;
  queue.OptionChoices = {{"print-color-mode", {"color", "monochrome"}},
                         {"print-quality", {"3", "4", "5"}}};
  return queue;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const TCupsQueue queue = MakeQueue();
  const std::string_view input(reinterpret_cast<const char*>(Data), Size);
  TPrintJobSettings job;
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string option(input.substr(start, end - start));
    start = end + 1;
    if (option == "--queue-paper") {
      job.QueuePaper = true;
      continue;
    }
    try {
      tool::AddJobOption(job, option);
    } catch (const tool::EInputError&) {
      return 0;  // the command refuses the count of copies
    }
  }
  try {
    CupsCheckJobSettings(queue, job);
  } catch (const std::exception&) {
  }
  std::string media;
  for (const auto& [width, height] : {std::pair{210.0, 297.0}, std::pair{100.0, 150.0}, std::pair{152.4, 101.6},
                                      std::pair{400.0, 20.0}}) {
    try {
      media = CupsChooseMedia(queue, job, width, height).Name;
    } catch (const std::exception&) {
    }
  }
  CupsJobOptions(job, media);
  return 0;
}
