#include "Cups.h"

#include <cups/cups.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <strings.h>
#include <thread>

namespace mivora {

namespace {

// How long to wait between two questions to the server about a job.
constexpr std::chrono::milliseconds PollInterval{100};

std::string Text(const char* Value) { return Value != nullptr ? Value : ""; }

std::string Quoted(const std::string& Name) { return "\"" + Name + "\""; }

bool IsError(ipp_status_t Status) { return Status > IPP_STATUS_OK_EVENTS_COMPLETE; }

struct TDestsDeleter {
  int Count = 0;
  void operator()(cups_dest_t* Dests) const { cupsFreeDests(Count, Dests); }
};
using TDests = std::unique_ptr<cups_dest_t, TDestsDeleter>;

struct TInfoDeleter {
  void operator()(cups_dinfo_t* Info) const { cupsFreeDestInfo(Info); }
};

struct TIppDeleter {
  void operator()(ipp_t* Ipp) const { ippDelete(Ipp); }
};
using TIpp = std::unique_ptr<ipp_t, TIppDeleter>;

std::string StateName(const char* State) {
  const std::string state = Text(State);
  if (state == "3") return "idle";
  if (state == "4") return "processing";
  if (state == "5") return "stopped";
  return state.empty() ? "unknown" : state;
}

// The queue's last message (the reason given to cupsreject or cupsdisable, a
// filter's complaint); not part of what cupsGetDests2 reports.
std::string PrinterStateMessage(const std::string& Queue) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0, "/printers/%s",
                   Queue.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-state-message");
  TIpp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  if (!response) return {};
  ipp_attribute_t* message = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT);
  return message != nullptr ? Text(ippGetString(message, 0, nullptr)) : std::string();
}

TCupsQueue Describe(cups_dest_t* Dest, bool WithMedia) {
  TCupsQueue queue;
  queue.Name = Dest->name;
  queue.IsDefault = Dest->is_default != 0;
  auto option = [&](const char* Name) { return Text(cupsGetOption(Name, Dest->num_options, Dest->options)); };
  queue.Info = option("printer-info");
  queue.Location = option("printer-location");
  queue.MakeAndModel = option("printer-make-and-model");
  queue.State = StateName(cupsGetOption("printer-state", Dest->num_options, Dest->options));
  queue.StateReasons = option("printer-state-reasons");
  queue.Accepting = option("printer-is-accepting-jobs") != "false";

  if (!WithMedia) return queue;
  queue.StateMessage = PrinterStateMessage(queue.Name);
  std::unique_ptr<cups_dinfo_t, TInfoDeleter> info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, Dest));
  cups_size_t size{};
  if (info && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, Dest, info.get(), 0, &size) != 0) {
    queue.Media = size.media;
    queue.PaperWidthMm = size.width / 100.0;
    queue.PaperHeightMm = size.length / 100.0;
    queue.Margins.Left = size.left / 100.0;
    queue.Margins.Top = size.top / 100.0;
    queue.Margins.Right = size.right / 100.0;
    queue.Margins.Bottom = size.bottom / 100.0;
  }
  return queue;
}

TDests GetDests() {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  TDests owned(dests, TDestsDeleter{count});
  if (count == 0) {
    const ipp_status_t status = cupsLastError();
    if (IsError(status) && status != IPP_STATUS_ERROR_NOT_FOUND)
      throw ECupsError("Cannot reach the CUPS server at " + CupsServerName() + ": " +
                       Text(cupsLastErrorString()));
  }
  return owned;
}

std::string QueueList(const std::vector<TCupsQueue>& Queues) {
  if (Queues.empty()) return "the server has no printer queues";
  std::string list = "the queues are ";
  for (size_t i = 0; i < Queues.size(); ++i) {
    if (i > 0) list += ", ";
    list += Queues[i].Name;
  }
  return list;
}

// The state of one job with the server's explanations.
struct TJobStatus {
  ipp_jstate_t State = IPP_JSTATE_PENDING;
  std::string Reasons;
  std::string Message;
};

TJobStatus JobStatus(int32_t JobId) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(JobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  static const char* const attributes[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr,
                attributes);
  TIpp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));  // frees request
  if (!response || IsError(cupsLastError()))
    throw ECupsError("Cannot ask the CUPS server at " + CupsServerName() + " about job " +
                     std::to_string(JobId) + ": " + Text(cupsLastErrorString()));
  TJobStatus status;
  if (ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM))
    status.State = static_cast<ipp_jstate_t>(ippGetInteger(state, 0));
  if (ipp_attribute_t* reasons = ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD)) {
    for (int i = 0; i < ippGetCount(reasons); ++i) {
      if (i > 0) status.Reasons += ", ";
      status.Reasons += Text(ippGetString(reasons, i, nullptr));
    }
  }
  if (ipp_attribute_t* message = ippFindAttribute(response.get(), "job-printer-state-message", IPP_TAG_TEXT))
    status.Message = Text(ippGetString(message, 0, nullptr));
  return status;
}

std::string Explain(const std::string& Reasons, const std::string& Message) {
  std::string text;
  if (!Reasons.empty() && Reasons != "none") text = Reasons;
  // A paused queue says "Paused" as its message too: one is enough.
  if (!Message.empty() && strcasecmp(Message.c_str(), Reasons.c_str()) != 0)
    text += (text.empty() ? "" : "; ") + Message;
  return text.empty() ? std::string() : " (" + text + ")";
}

} // namespace

std::string CupsServerName() { return Text(cupsServer()); }

std::vector<TCupsQueue> CupsQueues() {
  TDests dests = GetDests();
  std::vector<TCupsQueue> queues;
  for (int i = 0; i < dests.get_deleter().Count; ++i) {
    cups_dest_t* dest = dests.get() + i;
    if (dest->instance != nullptr) continue;  // lpoptions instances are not queues
    queues.push_back(Describe(dest, true));
  }
  std::sort(queues.begin(), queues.end(),
            [](const TCupsQueue& A, const TCupsQueue& B) { return strcasecmp(A.Name.c_str(), B.Name.c_str()) < 0; });
  return queues;
}

TCupsQueue CupsQueue(const std::string& Name) {
  std::vector<TCupsQueue> queues = CupsQueues();
  for (const TCupsQueue& queue : queues)
    if (strcasecmp(queue.Name.c_str(), Name.c_str()) == 0) return queue;
  throw ECupsError("Printer queue " + Quoted(Name) + " does not exist on the CUPS server at " +
                   CupsServerName() + "; " + QueueList(queues));
}

void CupsCheckReady(const TCupsQueue& Queue, const std::string& Title) {
  const std::string name = Quoted(Queue.Name);
  if (!Queue.Accepting)
    throw ECupsError("Printer queue " + name + " is not accepting jobs" +
                     Explain(Queue.StateReasons, Queue.StateMessage) + "; the job " + Quoted(Title) +
                     " was not sent");
  if (Queue.State == "stopped")
    throw ECupsError("Printer queue " + name + " is stopped" + Explain(Queue.StateReasons, Queue.StateMessage) +
                     "; the job " + Quoted(Title) + " was not sent");
}

int32_t CupsSubmit(const std::string& Queue, const std::string& Path, const std::string& MimeType,
                   const std::string& Title) {
  const TCupsQueue queue = CupsQueue(Queue);
  const std::string name = Quoted(queue.Name);
  CupsCheckReady(queue, Title);

  std::ifstream file(Path, std::ios::binary);
  if (!file) throw ECupsError("Cannot read the print file " + Quoted(Path) + " for queue " + name);

  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.Name.c_str(), Title.c_str(), 0, nullptr);
  if (job <= 0)
    throw ECupsError("Printer queue " + name + " refused the job " + Quoted(Title) + ": " +
                     Text(cupsLastErrorString()));
  auto fail = [&](const std::string& What) {
    const std::string reason = Text(cupsLastErrorString());
    cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.Name.c_str(), job, 0);
    throw ECupsError("Printer queue " + name + " refused the job " + Quoted(Title) + " while " + What +
                     (reason.empty() ? std::string() : ": " + reason));
  };
  if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.Name.c_str(), job, Title.c_str(), MimeType.c_str(), 1) !=
      HTTP_STATUS_CONTINUE)
    fail("starting the document");
  char buffer[65536];
  while (file) {
    file.read(buffer, sizeof(buffer));
    const std::streamsize got = file.gcount();
    if (got > 0 && cupsWriteRequestData(CUPS_HTTP_DEFAULT, buffer, static_cast<size_t>(got)) !=
                       HTTP_STATUS_CONTINUE)
      fail("sending the document");
  }
  if (file.bad()) fail("reading " + Quoted(Path));
  if (IsError(cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.Name.c_str()))) fail("finishing the document");
  return job;
}

TCupsJobEnd CupsWaitForJob(const std::string& Queue, int32_t JobId, std::chrono::milliseconds Timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  const std::string job = "job " + std::to_string(JobId);
  for (;;) {
    const TJobStatus status = JobStatus(JobId);
    switch (status.State) {
    case IPP_JSTATE_COMPLETED: return cjCompleted;
    case IPP_JSTATE_CANCELED:
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " was cancelled" +
                       Explain(status.Reasons, status.Message));
    case IPP_JSTATE_ABORTED:
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " was aborted" +
                       Explain(status.Reasons, status.Message));
    case IPP_JSTATE_STOPPED:
      cupsCancelJob2(CUPS_HTTP_DEFAULT, Queue.c_str(), JobId, 0);
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " stopped" +
                       Explain(status.Reasons, status.Message) + "; the job was cancelled");
    default: break;
    }
    // A queue that stops (a failing filter or device, or cupsdisable) keeps the
    // job waiting for ever: report it instead of waiting out the timeout.
    std::unique_ptr<cups_dest_t, TDestsDeleter> dest(
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, Queue.c_str(), nullptr), TDestsDeleter{1});
    if (!dest)
      throw ECupsError("Printer queue " + Quoted(Queue) + " disappeared while " + job + " was waiting");
    const TCupsQueue queue = Describe(dest.get(), false);
    if (queue.State == "stopped") {
      const std::string message = PrinterStateMessage(Queue);
      cupsCancelJob2(CUPS_HTTP_DEFAULT, Queue.c_str(), JobId, 0);
      throw ECupsError("Printer queue " + Quoted(Queue) + " stopped" +
                       Explain(queue.StateReasons, message) + " before " + job +
                       " was printed; the job was cancelled");
    }
    if (std::chrono::steady_clock::now() >= deadline) return cjTimedOut;
    std::this_thread::sleep_for(PollInterval);
  }
}

} // namespace mivora
