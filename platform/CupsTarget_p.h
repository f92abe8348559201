// The CUPS queue as a printer target: pages go into a private PDF that is sent
// to the queue as one job when the document ends.
#pragma once

#include "PrintJobSettings.h"
#include "PrinterTarget_p.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace mivora {

struct TCupsJobOptions {
  bool Wait = true;                       // wait until the queue has printed the job
  std::chrono::milliseconds Timeout{0};   // how long each request, and the wait, may take
  int32_t* JobId = nullptr;               // receives the id of the job sent
  TPrintJobSettings Settings;             // copies, sides, tray, further options
  std::string Media;                      // the queue's paper the job asks for
};

// An output that prints to Queue. Open fails when the queue is stopped, does
// not accept jobs or does not offer one of the job's settings; Commit sends the
// job and, when asked, waits for it.
std::unique_ptr<TOutputTarget> MakeCupsOutput(const std::string& Queue, const TPageLayout& Layout,
                                              const TCupsJobOptions& Options);

} // namespace mivora
