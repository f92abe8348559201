// Printer queues of the CUPS server: their paper and printable area, and printing
// a finished PDF or PostScript file to one of them as a titled job.
//
// The server is the one libcups finds: CUPS_SERVER in the environment (a host or
// a local socket path), else the client configuration, else the local default.
#pragma once

#include "Exceptions.h"
#include "Types.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace mivora {

// One printer queue as the server describes it.
struct TCupsQueue {
  std::string Name;
  bool IsDefault = false;        // the server's (or user's) default queue
  std::string Info;              // its description, may be empty
  std::string Location;          // may be empty
  std::string MakeAndModel;      // may be empty
  std::string State;             // "idle", "processing" or "stopped"
  std::string StateReasons;      // e.g. "none", "paused", "media-empty-error"
  std::string StateMessage;      // the last message of the queue, may be empty
  bool Accepting = true;         // false after cupsreject: new jobs are refused
  // The default paper: its name ("iso_a4_210x297mm") and size in millimetres,
  // and the unprintable margins of that paper in millimetres.
  std::string Media;
  double PaperWidthMm = 0;
  double PaperHeightMm = 0;
  TPrinterMargins Margins;
};

// Every queue of the server, by name; empty when the server has none.
// Raises ECupsError when the server cannot be reached.
std::vector<TCupsQueue> CupsQueues();

// The queue called Name (letter case ignored, as CUPS does). Raises ECupsError
// naming it, and the queues that do exist, when there is no such queue.
TCupsQueue CupsQueue(const std::string& Name);

// The server libcups talks to, for messages: a host name or socket path.
std::string CupsServerName();

// Raises ECupsError naming the queue (and the job Title) when Queue, as last
// described, does not accept jobs or is stopped.
void CupsCheckReady(const TCupsQueue& Queue, const std::string& Title);

// Sends the finished file at Path (application/pdf or application/postscript,
// told by MimeType) to the queue as one job titled Title; returns its job id.
// Raises ECupsError naming the queue when it does not exist, does not accept
// jobs, or refuses the job.
int32_t CupsSubmit(const std::string& Queue, const std::string& Path, const std::string& MimeType,
                   const std::string& Title);

// The end of a job as the server tells it.
enum TCupsJobEnd : uint8_t { cjCompleted, cjTimedOut };

// Waits until the job has completed. Raises ECupsError naming the queue and the
// job when the job is cancelled, aborted or stopped, or the queue stops while the
// job waits; returns cjTimedOut when Timeout passes first (the job stays queued).
TCupsJobEnd CupsWaitForJob(const std::string& Queue, int32_t JobId,
                           std::chrono::milliseconds Timeout);

} // namespace mivora
