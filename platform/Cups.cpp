#include "Cups.h"

#include "Numbers.h"

#include <cups/cups.h>
#include <cups/pwg.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <strings.h>
#include <sys/socket.h>
#include <thread>

namespace mivora {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// How long to wait between two questions to the server about a job.
constexpr milliseconds PollInterval{100};
// The shortest wait for an answer, once the deadline has passed.
constexpr double MinWaitSeconds = 0.01;
// Two paper sizes this close in each direction are the same paper: standard
// sizes are stated in inches or millimetres and rounded to 1/100 mm by CUPS.
constexpr double SameSizeMm = 0.5;

std::string Text(const char* Value) { return Value != nullptr ? Value : ""; }

std::string Quoted(const std::string& Name) { return "\"" + Name + "\""; }

std::string Seconds(milliseconds Time) { return FormatNumber(static_cast<double>(Time.count()) / 1000.0) + " s"; }

bool IsError(ipp_status_t Status) { return Status > IPP_STATUS_OK_EVENTS_COMPLETE; }

struct TDestsDeleter {
  int Count = 0;
  void operator()(cups_dest_t* Dests) const { cupsFreeDests(Count, Dests); }
};
using TDests = std::unique_ptr<cups_dest_t, TDestsDeleter>;

struct TInfoDeleter {
  void operator()(cups_dinfo_t* Info) const { cupsFreeDestInfo(Info); }
};
using TInfo = std::unique_ptr<cups_dinfo_t, TInfoDeleter>;

struct TIppDeleter {
  void operator()(ipp_t* Ipp) const { ippDelete(Ipp); }
};
using TIpp = std::unique_ptr<ipp_t, TIppDeleter>;

// A connection of its own to the server, so that no request waits past the
// deadline set when it was opened: connecting is bounded by httpConnect2, and
// every later wait for the server asks KeepWaiting whether time is left.
class TConnection {
public:
  explicit TConnection(milliseconds Timeout)
      : timeout_(Timeout), deadline_(steady_clock::now() + Timeout) {
    const std::string host = Text(cupsServer());
    const std::string server = CupsServerName();
    // A timeout of 0 makes the connection without connecting, so that the
    // reason of a failure can be read before the connection goes.
    http_ = httpConnect2(host.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 0, nullptr);
    const int connected =
        http_ != nullptr ? httpReconnect2(http_, std::max(1, ClampToInt32(Timeout.count())), nullptr) : -1;
    if (connected != 0) {
      // libcups reports every failed attempt as "host is down"; say what is known.
      const int error = http_ != nullptr ? httpError(http_) : 0;
      std::string reason = error != 0 && error != EHOSTDOWN ? std::strerror(error) : "nothing answers there";
      std::error_code ignored;
      if (!host.empty() && host[0] == '/' && !std::filesystem::exists(host, ignored)) reason = "no such socket";
      if (Expired()) reason = "no answer within " + Seconds(timeout_);
      httpClose(http_);
      http_ = nullptr;
      throw ECupsError("Cannot reach the CUPS server at " + server + (reason.empty() ? "" : " (" + reason + ")") +
                       ". Is it running? Start it (cupsd), or name a running server with CUPS_SERVER "
                       "(a host, host:port or socket path) or with ServerName in ~/.cups/client.conf or "
                       "/etc/cups/client.conf");
    }
  }
  ~TConnection() { httpClose(http_); }
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // The connection, armed for the next request: any one wait for the server
  // may last until the deadline (a server that pauses briefly is not given
  // up on), and a wait that ends there gives up.
  http_t* Get() const noexcept {
    const double left = std::chrono::duration<double>(deadline_ - steady_clock::now()).count();
    httpSetTimeout(http_, std::max(MinWaitSeconds, left), &TConnection::KeepWaiting, const_cast<TConnection*>(this));
    return http_;
  }
  bool Expired() const noexcept { return steady_clock::now() >= deadline_; }
  milliseconds Timeout() const noexcept { return timeout_; }

  // Raises ECupsError saying what was being done when a request Failed
  // because the deadline passed.
  void CheckAnswered(bool Failed, const std::string& Doing) const {
    if (Failed && Expired())
      throw ECupsError("The CUPS server at " + CupsServerName() + " did not answer within " + Seconds(timeout_) +
                       " while " + Doing);
  }

private:
  static int KeepWaiting(http_t*, void* Self) {
    return static_cast<TConnection*>(Self)->Expired() ? 0 : 1;
  }

  http_t* http_ = nullptr;
  milliseconds timeout_;
  steady_clock::time_point deadline_;
};

std::string StateName(const char* State) {
  const std::string state = Text(State);
  if (state == "3") return "idle";
  if (state == "4") return "processing";
  if (state == "5") return "stopped";
  return state.empty() ? "unknown" : state;
}

// The values of Attribute (none when it is missing) joined by Separator.
std::string Joined(ipp_attribute_t* Attribute, const char* Separator) {
  std::string joined;
  for (int i = 0; Attribute != nullptr && i < ippGetCount(Attribute); ++i) {
    if (i > 0) joined += Separator;
    joined += Text(ippGetString(Attribute, i, nullptr));
  }
  return joined;
}

// What the server says of a queue now, asked of the server alone.
struct TQueueStatus {
  bool Answered = false;  // the request had an answer
  bool Exists = false;
  std::string State;    // as StateName gives it
  std::string Reasons;  // "printer-state-reasons", joined by commas
  std::string Message;  // the last message: the reason given to cupsreject or
                        // cupsdisable, a filter's complaint
};

// Asks for the queue's state in one request on Http; Doing says what for, in
// the message of a server that does not answer in time. (cupsGetNamedDest would
// answer too, but when its request fails it looks for the queue again on a
// connection of its own, which waits a minute or more for a server that has
// stopped answering, whatever the deadline.)
TQueueStatus QueueStatus(const TConnection& Http, const std::string& Queue, const std::string& Doing) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0, "/printers/%s",
                   Queue.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  static const char* const attributes[] = {"printer-state", "printer-state-reasons", "printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, attributes);
  TIpp response(cupsDoRequest(Http.Get(), request, "/"));  // frees request
  Http.CheckAnswered(!response, Doing);
  TQueueStatus status;
  status.Answered = response != nullptr;
  if (!response || cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return status;
  status.Exists = true;
  if (ipp_attribute_t* state = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM))
    status.State = StateName(std::to_string(ippGetInteger(state, 0)).c_str());
  status.Reasons = Joined(ippFindAttribute(response.get(), "printer-state-reasons", IPP_TAG_KEYWORD), ",");
  if (ipp_attribute_t* message = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT))
    status.Message = Text(ippGetString(message, 0, nullptr));
  return status;
}

std::vector<std::string> Strings(ipp_attribute_t* Attribute) {
  std::vector<std::string> values;
  if (Attribute == nullptr) return values;
  for (int i = 0; i < ippGetCount(Attribute); ++i) values.push_back(Text(ippGetString(Attribute, i, nullptr)));
  return values;
}

TPrinterMargins MarginsOf(const cups_size_t& Size) {
  return TPrinterMargins{Size.left / 100.0, Size.top / 100.0, Size.right / 100.0, Size.bottom / 100.0};
}

double Area(const TPrinterMargins& M) { return M.Left + M.Top + M.Right + M.Bottom; }

// The largest value of a "media-*-margin-supported" attribute, in millimetres.
double LargestMargin(http_t* Http, cups_dest_t* Dest, cups_dinfo_t* Info, const char* Name) {
  ipp_attribute_t* margins = cupsFindDestSupported(Http, Dest, Info, Name);
  int largest = 0;
  for (int i = 0; margins != nullptr && i < ippGetCount(margins); ++i)
    largest = std::max(largest, ippGetInteger(margins, i));
  return largest / 100.0;
}

void DescribeMedia(http_t* Http, cups_dest_t* Dest, cups_dinfo_t* Info, TCupsQueue& Queue) {
  cups_size_t size{};
  if (cupsGetDestMediaDefault(Http, Dest, Info, 0, &size) != 0) {
    Queue.Media = size.media;
    Queue.PaperWidthMm = size.width / 100.0;
    Queue.PaperHeightMm = size.length / 100.0;
    Queue.Margins = MarginsOf(size);
  }
  // Each size once: a borderless variant of a size gives way to the one with
  // margins, which every sheet of that size can be printed with.
  const int count = cupsGetDestMediaCount(Http, Dest, Info, CUPS_MEDIA_FLAGS_DEFAULT);
  for (int i = 0; i < count; ++i) {
    if (cupsGetDestMediaByIndex(Http, Dest, Info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size) == 0) continue;
    TCupsMedia media{size.media, size.width / 100.0, size.length / 100.0, MarginsOf(size)};
    auto same = std::find_if(Queue.MediaSizes.begin(), Queue.MediaSizes.end(), [&](const TCupsMedia& M) {
      return std::abs(M.WidthMm - media.WidthMm) < 0.01 && std::abs(M.HeightMm - media.HeightMm) < 0.01;
    });
    if (same == Queue.MediaSizes.end())
      Queue.MediaSizes.push_back(media);
    else if (Area(media.Margins) > Area(same->Margins))
      same->Margins = media.Margins;
  }
  // A range of widths and lengths in media-size-supported: sizes of the job's own.
  ipp_attribute_t* sizes = cupsFindDestSupported(Http, Dest, Info, "media-size");
  for (int i = 0; sizes != nullptr && i < ippGetCount(sizes); ++i) {
    ipp_t* entry = ippGetCollection(sizes, i);
    ipp_attribute_t* x = ippFindAttribute(entry, "x-dimension", IPP_TAG_RANGE);
    ipp_attribute_t* y = ippFindAttribute(entry, "y-dimension", IPP_TAG_RANGE);
    if (x == nullptr || y == nullptr) continue;
    int xMax = 0, yMax = 0;
    const int xMin = ippGetRange(x, 0, &xMax);
    const int yMin = ippGetRange(y, 0, &yMax);
    Queue.CustomMinWidthMm = xMin / 100.0;
    Queue.CustomMaxWidthMm = xMax / 100.0;
    Queue.CustomMinHeightMm = yMin / 100.0;
    Queue.CustomMaxHeightMm = yMax / 100.0;
    Queue.CustomMargins = TPrinterMargins{LargestMargin(Http, Dest, Info, "media-left-margin"),
                                          LargestMargin(Http, Dest, Info, "media-top-margin"),
                                          LargestMargin(Http, Dest, Info, "media-right-margin"),
                                          LargestMargin(Http, Dest, Info, "media-bottom-margin")};
    break;
  }
}

// Job options with a setting of their own, or that the job sets itself.
bool HasOwnSetting(const std::string& Name) {
  static const char* const names[] = {"copies", "sides", "collate", "media", "media-source", "media-col",
                                      "job-name", "document-format"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* N) { return Name == N; });
}

void DescribeOptions(http_t* Http, cups_dest_t* Dest, cups_dinfo_t* Info, TCupsQueue& Queue) {
  Queue.Sides = Strings(cupsFindDestSupported(Http, Dest, Info, "sides"));
  Queue.SidesDefault = Text(ippGetString(cupsFindDestDefault(Http, Dest, Info, "sides"), 0, nullptr));
  Queue.MediaSources = Strings(cupsFindDestSupported(Http, Dest, Info, "media-source"));
  if (ipp_attribute_t* source = cupsFindDestDefault(Http, Dest, Info, "media-source"))
    Queue.MediaSourceDefault = Text(ippGetString(source, 0, nullptr));
  if (ipp_attribute_t* copies = cupsFindDestSupported(Http, Dest, Info, "copies")) {
    int most = 1;
    if (ippGetValueTag(copies) == IPP_TAG_RANGE) ippGetRange(copies, 0, &most);
    else if (ippGetValueTag(copies) == IPP_TAG_INTEGER) most = ippGetInteger(copies, 0);
    Queue.MaxCopies = std::max(1, most);
  }
  for (const std::string& name : Strings(cupsFindDestSupported(Http, Dest, Info, "job-creation-attributes"))) {
    if (HasOwnSetting(name)) continue;
    ipp_attribute_t* supported = cupsFindDestSupported(Http, Dest, Info, name.c_str());
    if (supported == nullptr || ippGetValueTag(supported) != IPP_TAG_KEYWORD) continue;
    Queue.OptionChoices[name] = Strings(supported);
  }
}

TCupsQueue Describe(const TConnection& Http, cups_dest_t* Dest, bool Fully) {
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

  if (!Fully) return queue;
  queue.StateMessage = QueueStatus(Http, queue.Name, "asking about printer queue " + Quoted(queue.Name)).Message;
  TInfo info(cupsCopyDestInfo(Http.Get(), Dest));
  Http.CheckAnswered(!info, "asking about printer queue " + Quoted(queue.Name));
  if (info) {
    DescribeMedia(Http.Get(), Dest, info.get(), queue);
    DescribeOptions(Http.Get(), Dest, info.get(), queue);
  }
  return queue;
}

TDests GetDests(const TConnection& Http) {
  // cupsGetDests2 asks several questions and goes on to the next when one
  // times out, each costing up to a second more: one question first tells a
  // server that does not answer at all.
  ipp_t* probe = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
  ippAddString(probe, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
  TIpp answer(cupsDoRequest(Http.Get(), probe, "/"));
  Http.CheckAnswered(!answer, "listing its printer queues");
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(Http.Get(), &dests);
  TDests owned(dests, TDestsDeleter{count});
  Http.CheckAnswered(count == 0, "listing its printer queues");
  if (count == 0) {
    const ipp_status_t status = cupsLastError();
    if (IsError(status) && status != IPP_STATUS_ERROR_NOT_FOUND)
      throw ECupsError("Cannot list the printer queues of the CUPS server at " + CupsServerName() + ": " +
                       Text(cupsLastErrorString()));
  }
  return owned;
}

std::string QueueList(const TDests& Dests) {
  std::vector<std::string> names;
  for (int i = 0; i < Dests.get_deleter().Count; ++i)
    if (Dests.get()[i].instance == nullptr) names.push_back(Dests.get()[i].name);
  if (names.empty()) return "the server has no printer queues";
  std::sort(names.begin(), names.end(),
            [](const std::string& A, const std::string& B) { return strcasecmp(A.c_str(), B.c_str()) < 0; });
  std::string list = "the queues are ";
  for (size_t i = 0; i < names.size(); ++i) list += (i > 0 ? ", " : "") + names[i];
  return list;
}

cups_dest_t* FindDest(const TDests& Dests, const std::string& Name) {
  for (int i = 0; i < Dests.get_deleter().Count; ++i) {
    cups_dest_t* dest = Dests.get() + i;
    if (dest->instance == nullptr && strcasecmp(dest->name, Name.c_str()) == 0) return dest;
  }
  return nullptr;
}

TCupsQueue FindQueue(const TConnection& Http, const std::string& Name) {
  TDests dests = GetDests(Http);
  cups_dest_t* dest = FindDest(dests, Name);
  if (dest == nullptr)
    throw ECupsError("Printer queue " + Quoted(Name) + " does not exist on the CUPS server at " + CupsServerName() +
                     "; " + QueueList(dests));
  return Describe(Http, dest, true);
}

// The state of one job with the server's explanations.
struct TJobStatus {
  ipp_jstate_t State = IPP_JSTATE_PENDING;
  std::string Reasons;
  std::string Message;
};

TJobStatus JobStatus(const TConnection& Http, const std::string& Queue, int32_t JobId) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(JobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  static const char* const attributes[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, attributes);
  TIpp response(cupsDoRequest(Http.Get(), request, "/"));  // frees request
  Http.CheckAnswered(!response, "waiting for job " + std::to_string(JobId) + " on printer queue " + Quoted(Queue) +
                     "; the job may still print");
  if (!response || IsError(cupsLastError()))
    throw ECupsError("Cannot ask the CUPS server at " + CupsServerName() + " about job " + std::to_string(JobId) +
                     ": " + Text(cupsLastErrorString()));
  TJobStatus status;
  if (ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM))
    status.State = static_cast<ipp_jstate_t>(ippGetInteger(state, 0));
  status.Reasons = Joined(ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD), ", ");
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

std::string Join(const std::vector<std::string>& Values) {
  std::string list;
  for (size_t i = 0; i < Values.size(); ++i) list += (i > 0 ? ", " : "") + Values[i];
  return list.empty() ? "none" : list;
}

std::string SizeText(double WidthMm, double HeightMm) {
  return FormatNumber(WidthMm, 5) + " x " + FormatNumber(HeightMm, 5) + " mm";
}

std::string SizeList(const TCupsQueue& Queue) {
  std::vector<std::string> sizes;
  for (const TCupsMedia& m : Queue.MediaSizes) sizes.push_back(m.Name + " (" + SizeText(m.WidthMm, m.HeightMm) + ")");
  std::string list = Join(sizes);
  if (Queue.CustomMaxWidthMm > 0)
    list += ", and sizes of the job's own from " + SizeText(Queue.CustomMinWidthMm, Queue.CustomMinHeightMm) +
            " to " + SizeText(Queue.CustomMaxWidthMm, Queue.CustomMaxHeightMm);
  return list;
}

bool Near(double A, double B) { return std::abs(A - B) <= SameSizeMm; }

const TCupsMedia* MediaOfSize(const TCupsQueue& Queue, double WidthMm, double HeightMm) {
  for (const TCupsMedia& m : Queue.MediaSizes)
    if ((Near(m.WidthMm, WidthMm) && Near(m.HeightMm, HeightMm)) ||
        (Near(m.WidthMm, HeightMm) && Near(m.HeightMm, WidthMm)))
      return &m;
  return nullptr;
}

bool Contains(const std::vector<std::string>& Values, const std::string& Value) {
  return std::find(Values.begin(), Values.end(), Value) != Values.end();
}

} // namespace

std::string CupsServerName() {
  const std::string server = Text(cupsServer());
  if (server.empty() || server[0] == '/' || ippPort() == IPP_PORT) return server;
  return server + ":" + std::to_string(ippPort());
}

std::vector<TCupsQueue> CupsQueues(milliseconds Timeout) {
  const TConnection http(Timeout);
  TDests dests = GetDests(http);
  std::vector<TCupsQueue> queues;
  for (int i = 0; i < dests.get_deleter().Count; ++i) {
    cups_dest_t* dest = dests.get() + i;
    if (dest->instance != nullptr) continue;  // lpoptions instances are not queues
    queues.push_back(Describe(http, dest, true));
  }
  std::sort(queues.begin(), queues.end(),
            [](const TCupsQueue& A, const TCupsQueue& B) { return strcasecmp(A.Name.c_str(), B.Name.c_str()) < 0; });
  return queues;
}

TCupsQueue CupsQueue(const std::string& Name, milliseconds Timeout) {
  const TConnection http(Timeout);
  return FindQueue(http, Name);
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

TCupsMedia CupsChooseMedia(const TCupsQueue& Queue, const TPrintJobSettings& Settings, double WidthMm,
                           double HeightMm) {
  const std::string name = Quoted(Queue.Name);
  if (!Settings.Media.empty()) {
    for (const TCupsMedia& m : Queue.MediaSizes)
      if (strcasecmp(m.Name.c_str(), Settings.Media.c_str()) == 0) return m;
    // "A4", "Letter", "4x6", "w288h432": the standard size of that name.
    // Names are looked up as given, then as PPD names are usually written.
    std::string capitalized = Settings.Media, upper = Settings.Media;
    for (char& c : capitalized) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    capitalized[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capitalized[0])));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const pwg_media_t* standard = nullptr;
    for (const std::string& asked : {Settings.Media, capitalized, upper}) {
      if (standard == nullptr) standard = pwgMediaForPWG(asked.c_str());
      if (standard == nullptr) standard = pwgMediaForLegacy(asked.c_str());
      if (standard == nullptr) standard = pwgMediaForPPD(asked.c_str());
    }
    if (standard != nullptr)
      if (const TCupsMedia* m = MediaOfSize(Queue, standard->width / 100.0, standard->length / 100.0)) return *m;
    throw ECupsPaperUnsupported("Printer queue " + name + " has no paper " + Quoted(Settings.Media) +
                           "; its sizes are " + SizeList(Queue));
  }
  if (Settings.QueuePaper) {
    if (!(Queue.PaperWidthMm > 0 && Queue.PaperHeightMm > 0))
      throw ECupsError("Printer queue " + name + " does not report its default paper; its sizes are " +
                       SizeList(Queue));
    return TCupsMedia{Queue.Media, Queue.PaperWidthMm, Queue.PaperHeightMm, Queue.Margins};
  }
  if (const TCupsMedia* m = MediaOfSize(Queue, WidthMm, HeightMm)) return *m;
  auto within = [&](double W, double H) {
    return W >= Queue.CustomMinWidthMm - 0.005 && W <= Queue.CustomMaxWidthMm + 0.005 &&
           H >= Queue.CustomMinHeightMm - 0.005 && H <= Queue.CustomMaxHeightMm + 0.005;
  };
  if (Queue.CustomMaxWidthMm > 0 && (within(WidthMm, HeightMm) || within(HeightMm, WidthMm))) {
    const bool across = !within(WidthMm, HeightMm);
    const double w = across ? HeightMm : WidthMm, h = across ? WidthMm : HeightMm;
    char keyword[128];
    pwgFormatSizeName(keyword, sizeof(keyword), "custom", nullptr, static_cast<int>(std::lround(w * 100)),
                      static_cast<int>(std::lround(h * 100)), nullptr);
    return TCupsMedia{keyword, w, h, Queue.CustomMargins};
  }
  throw ECupsPaperUnsupported("Printer queue " + name + " has no paper of " + SizeText(WidthMm, HeightMm) +
                         "; its sizes are " + SizeList(Queue));
}

void CupsCheckJobSettings(const TCupsQueue& Queue, const TPrintJobSettings& Settings) {
  const std::string name = Quoted(Queue.Name);
  if (Settings.Copies < 1 || Settings.Copies > Queue.MaxCopies)
    throw ECupsUnsupported("Printer queue " + name + " cannot print " + std::to_string(Settings.Copies) +
                           " copies; it prints 1 to " + std::to_string(Queue.MaxCopies));
  if (!Settings.Sides.empty() && !Contains(Queue.Sides, Settings.Sides))
    throw ECupsUnsupported("Printer queue " + name + " does not print sides " + Quoted(Settings.Sides) +
                           "; it prints " + Join(Queue.Sides.empty() ? std::vector<std::string>{"one-sided"}
                                                                     : Queue.Sides));
  if (!Settings.MediaSource.empty() && !Contains(Queue.MediaSources, Settings.MediaSource))
    throw ECupsUnsupported("Printer queue " + name + " has no paper source (tray) " + Quoted(Settings.MediaSource) +
                           "; its sources are " + Join(Queue.MediaSources));
  for (const std::string& option : Settings.Options) {
    cups_option_t* parsed = nullptr;
    const int count = cupsParseOptions(option.c_str(), 0, &parsed);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < count; ++i) pairs.emplace_back(parsed[i].name, parsed[i].value);
    cupsFreeOptions(count, parsed);
    if (pairs.empty())
      throw EPrinterError("Printer queue " + name + ": job option " + Quoted(option) + " is not name=value");
    for (const auto& [key, value] : pairs) {
      if (HasOwnSetting(key))
        throw EPrinterError("Printer queue " + name + ": job option " + Quoted(key + "=" + value) +
                            " has a setting of its own (copies, sides, collate, media, media-source); use that");
      auto choices = Queue.OptionChoices.find(key);
      if (choices != Queue.OptionChoices.end() && !Contains(choices->second, value))
        throw ECupsUnsupported("Printer queue " + name + " does not take " + key + " " + Quoted(value) + "; it takes " +
                               Join(choices->second));
    }
  }
}

std::vector<std::pair<std::string, std::string>> CupsJobOptions(const TPrintJobSettings& Settings,
                                                                const std::string& Media) {
  std::vector<std::pair<std::string, std::string>> options;
  if (!Media.empty()) options.emplace_back("media", Media);
  if (Settings.Copies != 1) options.emplace_back("copies", std::to_string(Settings.Copies));
  if (!Settings.Sides.empty()) options.emplace_back("sides", Settings.Sides);
  if (Settings.Collate) options.emplace_back("collate", "true");
  if (!Settings.MediaSource.empty()) options.emplace_back("media-source", Settings.MediaSource);
  for (const std::string& option : Settings.Options) {
    cups_option_t* parsed = nullptr;
    const int count = cupsParseOptions(option.c_str(), 0, &parsed);
    for (int i = 0; i < count; ++i) options.emplace_back(parsed[i].name, parsed[i].value);
    cupsFreeOptions(count, parsed);
  }
  return options;
}

int32_t CupsSubmit(const std::string& Queue, const std::string& Path, const std::string& MimeType,
                   const std::string& Title, const std::vector<std::pair<std::string, std::string>>& Options,
                   milliseconds Timeout) {
  const TConnection http(Timeout);
  const TCupsQueue queue = FindQueue(http, Queue);
  const std::string name = Quoted(queue.Name);
  CupsCheckReady(queue, Title);

  std::ifstream file(Path, std::ios::binary);
  if (!file) throw ECupsError("Cannot read the print file " + Quoted(Path) + " for queue " + name);

  int count = 0;
  cups_option_t* options = nullptr;
  for (const auto& [key, value] : Options) count = cupsAddOption(key.c_str(), value.c_str(), count, &options);
  const int job = cupsCreateJob(http.Get(), queue.Name.c_str(), Title.c_str(), count, options);
  cupsFreeOptions(count, options);
  http.CheckAnswered(job <= 0, "sending the job " + Quoted(Title) + " to printer queue " + name);
  if (job <= 0)
    throw ECupsError("Printer queue " + name + " refused the job " + Quoted(Title) + ": " +
                     Text(cupsLastErrorString()));
  auto fail = [&](const std::string& What) {
    const std::string reason = Text(cupsLastErrorString());
    const bool late = http.Expired();
    // The server may not answer this either; a new connection with a short
    // deadline keeps the failure prompt.
    try {
      const TConnection cancel(std::min(Timeout, milliseconds(1000)));
      cupsCancelJob2(cancel.Get(), queue.Name.c_str(), job, 0);
    } catch (const ECupsError&) {
    }
    if (late)
      throw ECupsError("The CUPS server at " + CupsServerName() + " did not answer within " + Seconds(Timeout) +
                       " while " + What + " of job " + std::to_string(job) + " " + Quoted(Title) +
                       " on printer queue " + name + "; the job was not printed");
    throw ECupsError("Printer queue " + name + " refused the job " + Quoted(Title) + " while " + What +
                     (reason.empty() ? std::string() : ": " + reason));
  };
  if (cupsStartDocument(http.Get(), queue.Name.c_str(), job, Title.c_str(), MimeType.c_str(), 1) !=
      HTTP_STATUS_CONTINUE)
    fail("starting the document");
  char buffer[65536];
  while (file) {
    file.read(buffer, sizeof(buffer));
    const std::streamsize got = file.gcount();
    if (got > 0 && cupsWriteRequestData(http.Get(), buffer, static_cast<size_t>(got)) != HTTP_STATUS_CONTINUE)
      fail("sending the document");
  }
  if (file.bad()) fail("reading " + Quoted(Path));
  if (IsError(cupsFinishDocument(http.Get(), queue.Name.c_str()))) fail("finishing the document");
  return job;
}

TCupsJobEnd CupsWaitForJob(const std::string& Queue, int32_t JobId, milliseconds Timeout) {
  // One connection for the whole wait: its deadline is the wait's, so a server
  // that stops answering mid-request cannot hold the caller past it.
  const TConnection http(Timeout);
  const std::string job = "job " + std::to_string(JobId);
  for (;;) {
    const TJobStatus status = JobStatus(http, Queue, JobId);
    switch (status.State) {
    case IPP_JSTATE_COMPLETED: return cjCompleted;
    case IPP_JSTATE_CANCELED:
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " was cancelled" +
                       Explain(status.Reasons, status.Message));
    case IPP_JSTATE_ABORTED:
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " was aborted" +
                       Explain(status.Reasons, status.Message));
    case IPP_JSTATE_STOPPED:
      cupsCancelJob2(http.Get(), Queue.c_str(), JobId, 0);
      throw ECupsError("Printer queue " + Quoted(Queue) + ": " + job + " stopped" +
                       Explain(status.Reasons, status.Message) + "; the job was cancelled");
    default: break;
    }
    // A queue that stops (a failing filter or device, or cupsdisable) keeps the
    // job waiting for ever: report it instead of waiting out the timeout.
    const TQueueStatus queue =
        QueueStatus(http, Queue, "waiting for " + job + " on printer queue " + Quoted(Queue) + "; the job may still print");
    if (!queue.Answered)
      throw ECupsError("Cannot ask the CUPS server at " + CupsServerName() + " about printer queue " + Quoted(Queue) +
                       ": " + Text(cupsLastErrorString()));
    if (!queue.Exists)
      throw ECupsError("Printer queue " + Quoted(Queue) + " disappeared while " + job + " was waiting");
    if (queue.State == "stopped") {
      cupsCancelJob2(http.Get(), Queue.c_str(), JobId, 0);
      throw ECupsError("Printer queue " + Quoted(Queue) + " stopped" + Explain(queue.Reasons, queue.Message) +
                       " before " + job + " was printed; the job was cancelled");
    }
    if (http.Expired()) return cjTimedOut;
    std::this_thread::sleep_for(PollInterval);
  }
}

} // namespace mivora
