// How a job on a CUPS queue is printed: copies, sides, paper, tray and further
// options. A plain record, so that the queue code and the printer share it
// without depending on each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivora {

// How a job on a CUPS queue is printed. Empty texts leave the choice to the queue.
struct TPrintJobSettings {
  int32_t Copies = 1;              // 1 to the queue's most
  std::string Sides;               // "one-sided", "two-sided-long-edge", "two-sided-short-edge"
  bool Collate = false;            // copies come out as whole sets
  std::string Media;               // one of the queue's paper sizes by name; the page takes it
  std::string MediaSource;         // the tray, e.g. "tray-2"
  bool QueuePaper = false;         // lay out on the queue's default paper, not the printer's
  std::vector<std::string> Options;  // further "name=value" options, as lp -o takes them
};

} // namespace mivora
