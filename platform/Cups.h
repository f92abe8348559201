// Printer queues of the CUPS server: their paper sizes, printable areas, sides
// and trays, and printing a finished PDF or PostScript file to one of them as a
// titled job with its options.
//
// The server is the one libcups finds: CUPS_SERVER in the environment (a host or
// a local socket path), else the client configuration, else the local default.
// Every request to it gives up after the timeout it is given: a server that
// stops answering is reported as such, never waited for without end.
#pragma once

#include "Exceptions.h"
#include "PrintJobSettings.h"
#include "Types.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mivora {

// A paper size, tray, side or option value the queue does not offer (an
// ECupsError, declared in Exceptions.h). The message names the value and the
// ones the queue does offer.
class ECupsUnsupported : public ECupsError {
public:
  using ECupsError::ECupsError;
};

// A paper size the queue does not have: the message names the sizes it has.
class ECupsPaperUnsupported : public ECupsUnsupported {
public:
  using ECupsUnsupported::ECupsUnsupported;
};

// How long one request to the server may take when the caller names no time.
inline constexpr std::chrono::milliseconds CupsDefaultTimeout{std::chrono::seconds(30)};

// One paper size of a queue, in portrait: its standard media name
// ("iso_a4_210x297mm", "na_index-4x6_4x6in", or "custom_..." for a size of its
// own), its size and the unprintable margins of that size, in millimetres.
struct TCupsMedia {
  std::string Name;
  double WidthMm = 0;
  double HeightMm = 0;
  TPrinterMargins Margins;
};

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
  // The paper sizes it offers, each once, in the queue's order.
  std::vector<TCupsMedia> MediaSizes;
  // Sizes of the job's own it accepts, from the smallest to the largest (portrait,
  // millimetres), with the margins it keeps on them; all 0 when it takes none.
  double CustomMinWidthMm = 0, CustomMinHeightMm = 0;
  double CustomMaxWidthMm = 0, CustomMaxHeightMm = 0;
  TPrinterMargins CustomMargins;
  std::vector<std::string> Sides;          // "one-sided", "two-sided-long-edge", ...
  std::string SidesDefault;
  std::vector<std::string> MediaSources;   // the trays: "tray-1", "manual", ...
  std::string MediaSourceDefault;
  int32_t MaxCopies = 1;
  // The values the queue offers for each further job option it describes
  // ("print-color-mode" -> "color", "monochrome"); options it does not
  // describe are passed on as given.
  std::map<std::string, std::vector<std::string>> OptionChoices;
};

// Every queue of the server, by name; empty when the server has none.
// Raises ECupsError when the server cannot be reached or does not answer
// within Timeout; the message names the server and how to choose another.
std::vector<TCupsQueue> CupsQueues(std::chrono::milliseconds Timeout = CupsDefaultTimeout);

// The queue called Name (letter case ignored, as CUPS does). Raises ECupsError
// naming it, and the queues that do exist, when there is no such queue.
TCupsQueue CupsQueue(const std::string& Name, std::chrono::milliseconds Timeout = CupsDefaultTimeout);

// The server libcups talks to, for messages: a host name or socket path.
std::string CupsServerName();

// Raises ECupsError naming the queue (and the job Title) when Queue, as last
// described, does not accept jobs or is stopped.
void CupsCheckReady(const TCupsQueue& Queue, const std::string& Title);

// The paper a job on Queue prints on, for a page of WidthMm x HeightMm (in
// portrait): the size Settings.Media names (a standard name such as
// "iso_a4_210x297mm", "A4" or "4x6", one of the queue's), else with
// Settings.QueuePaper the queue's default paper, else the queue's size that
// matches the page within half a millimetre (either way round) or a custom size
// of the page's own where the queue accepts it. Raises ECupsPaperUnsupported naming
// the sizes the queue has when it has none of these.
TCupsMedia CupsChooseMedia(const TCupsQueue& Queue, const TPrintJobSettings& Settings, double WidthMm,
                           double HeightMm);

// Raises ECupsUnsupported naming the value and those the queue offers when one
// of the job options of Settings (copies, sides, tray, a further option the
// queue describes) is not offered by Queue, and EPrinterError when an option
// is malformed or repeats one that has a setting of its own.
void CupsCheckJobSettings(const TCupsQueue& Queue, const TPrintJobSettings& Settings);

// The options the job carries, as lp would send them: "media=...", "copies=2",
// "sides=...", "collate=true", "media-source=...", then the further options.
std::vector<std::pair<std::string, std::string>> CupsJobOptions(const TPrintJobSettings& Settings,
                                                                const std::string& Media);

// Sends the finished file at Path (application/pdf or application/postscript,
// told by MimeType) to the queue as one job titled Title with Options; returns
// its job id. Raises ECupsError naming the queue when it does not exist, does
// not accept jobs, refuses the job, or the server does not answer within
// Timeout (then no job is left behind that the caller was told of).
int32_t CupsSubmit(const std::string& Queue, const std::string& Path, const std::string& MimeType,
                   const std::string& Title,
                   const std::vector<std::pair<std::string, std::string>>& Options = {},
                   std::chrono::milliseconds Timeout = CupsDefaultTimeout);

// The end of a job as the server tells it.
enum TCupsJobEnd : uint8_t { cjCompleted, cjTimedOut };

// Waits until the job has completed. Raises ECupsError naming the queue and the
// job when the job is cancelled, aborted or stopped, the queue stops while the
// job waits, or the server stops answering; returns cjTimedOut when Timeout
// passes first while the server still answers (the job stays queued).
TCupsJobEnd CupsWaitForJob(const std::string& Queue, int32_t JobId, std::chrono::milliseconds Timeout);

} // namespace mivora
