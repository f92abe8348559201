#include "PrintJob.h"

#include "Csv.h"
#include "Cups.h"
#include "InputError.h"
#include "Layout.h"
#include "LayoutRunner.h"
#include "Merge.h"
#include "Mivora.h"
#include "Numbers.h"
#include "FontCatalog.h"
#include "Interrupts.h"
#include "Printer.h"
#include "TextCase.h"
#include "Warnings.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mivora::tool {

namespace fs = std::filesystem;

namespace {

// A private folder, removed with everything in it when the object goes, or
// by the interrupt handler when a signal ends the process first.
class TTempDir {
public:
  // A new folder named Prefix + six random characters inside Parent.
  TTempDir(const fs::path& Parent, const std::string& Prefix) {
    std::string pattern = (Parent / (Prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw EPrinterError("Cannot make a temporary folder in \"" + Parent.string() + "\": " + std::strerror(errno));
    path_ = pattern;
    registered_ = TTempPath(path_.string());
  }
  ~TTempDir() {
    if (keep_) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const fs::path& Path() const { return path_; }
  // Leaves the folder where it is: it holds a file that could not be put back.
  void Keep() noexcept {
    keep_ = true;
    registered_.Release();
  }

private:
  fs::path path_;
  TTempPath registered_;
  bool keep_ = false;
};

TPrinterTarget TargetOf(TOutputKind Kind) {
  switch (Kind) {
  case TOutputKind::Pdf: return ptPdf;
  case TOutputKind::Png: return ptPng;
  case TOutputKind::Svg: return ptSvg;
  case TOutputKind::PostScript: return ptPostScript;
  }
  return ptPdf;
}

// Which pages this process draws when several draw a merge side by side.
// Each process walks through every record (filling the sheet as it goes) and
// draws the pages it takes: when it is free, it takes the next page nobody
// has taken, from a counter the processes share. A process slowed by others
// on its core takes fewer pages, and no process waits for another: pages are
// handed out as the processes come for them, not dealt in advance.
struct TPageShare {
  std::atomic<size_t>* Next = nullptr;  // the next page nobody has taken; none: one process draws all
  size_t Taken = 0;                     // the page this process took last
  std::vector<size_t> Drawn;            // the pages it drew, in order

  bool Draws(size_t Page) {
    if (Next == nullptr) return true;
    if (Taken < Page) Taken = Next->fetch_add(1);
    if (Taken != Page) return false;
    if (Drawn.empty() || Drawn.back() != Page) Drawn.push_back(Page);
    return true;
  }
};

// A counter in memory shared with the processes forked after it is made.
class TSharedCounter {
public:
  TSharedCounter() {
    void* memory = ::mmap(nullptr, sizeof(std::atomic<size_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
      throw EPrinterError(std::string("Cannot start the processes that draw the pages: ") + std::strerror(errno));
    counter_ = new (memory) std::atomic<size_t>(1);
  }
  ~TSharedCounter() { ::munmap(counter_, sizeof *counter_); }
  TSharedCounter(const TSharedCounter&) = delete;
  TSharedCounter& operator=(const TSharedCounter&) = delete;
  std::atomic<size_t>* Get() const noexcept { return counter_; }

private:
  std::atomic<size_t>* counter_ = nullptr;
};
static_assert(std::atomic<size_t>::is_always_lock_free, "the page counter is shared between processes");

// Everything read and built before the first page is drawn.
struct TPrepared {
  std::unique_ptr<TFontFiles> Fonts;  // the layout's own fonts, for as long as the job
  TLayout Layout;
  std::unique_ptr<TMivora> Sheet;
  std::unique_ptr<TPageShare> Share = std::make_unique<TPageShare>();
  std::unique_ptr<TMerge> Merge;
};

// Checks the sheet, filled in for every label or record, for what would spoil
// the pages, before anything prints: each warning goes to Request.Warn; with
// Request.Strict they stop the job.
void WarnAboutPages(TPrepared& P, const TPrintRequest& Request) {
  const TLayout& layout = P.Layout;
  TWarnings warnings(layout.Label, TPreflightOptions{Request.MaxEnlargement},
                     [&layout](const std::string& Cell) { return CommandOfCell(layout, Cell); });
  P.Merge->VisitLabels([&](const std::string& Record) { warnings.Check(*P.Sheet, Record); });
  const std::vector<std::string> messages = warnings.Messages();
  if (Request.Warn) {
    for (const std::string& message : messages) Request.Warn(message);
  }
  if (Request.Strict && !messages.empty())
    throw EInputError(layout.Label + ": " + std::to_string(messages.size()) +
                      (messages.size() == 1 ? " warning" : " warnings") +
                      " about the page, and --strict makes them errors: nothing printed");
}

// Reads the inputs, sets up the printer (with the queue's paper when there is
// one) and builds the sheet; raises on the first fault.
TPrepared Prepare(const TPrintRequest& Request, const std::string* Queue) {
  TPrepared p;
  p.Layout = LoadLayout(Request.Layout, Request.AllowOutside);
  p.Fonts = std::make_unique<TFontFiles>();
  for (size_t i = 0; i < p.Layout.Fonts.size(); ++i) {
    try {
      p.Fonts->Add(p.Layout.Fonts[i]);
    } catch (const EFontError& error) {
      throw EInputError(p.Layout.Label + ": fonts[" + std::to_string(i) + "]: " + error.what());
    }
  }
  TMergeOptions merge;
  if (Request.Data) {
    merge.Data = *Request.Data;
    merge.DataLabel = Request.Data->string();
    merge.DataPolicy.BaseDir = Request.Data->has_parent_path() ? Request.Data->parent_path() : fs::path(".");
    merge.DataPolicy.AllowOutside = Request.AllowOutside;
  }
  merge.Separator = Request.Separator;
  merge.First = Request.FirstLabel;
  merge.Copies = Request.RecordCopies;
  if (!Request.Records.empty()) merge.Records = TRecordSelection::Parse(Request.Records);
  merge.Strict = Request.Strict;
  merge.Warn = Request.Warn;
  merge.DrawsPage = [share = p.Share.get()](size_t Page) { return share->Draws(Page); };

  TPrinter* printer = Printer();
  ApplyPrinterSettings(*printer, p.Layout);
  ApplyLabelPaper(p.Layout, p.Layout.Merge);
  if (Request.Dpi) {
    try {
      printer->SetResolution(*Request.Dpi, *Request.Dpi);
    } catch (const EPrinterError& error) {
      throw EInputError("--dpi " + std::to_string(*Request.Dpi) + ": " + error.what());
    }
  }
  try {
    printer->SetMaxPictureDpi(Request.MaxDpi.value_or(0));
  } catch (const EPrinterError& error) {
    throw EInputError("--max-dpi " + std::to_string(Request.MaxDpi.value_or(0)) + ": " + error.what());
  }
  if (Queue != nullptr) {
    // The queue is asked for the layout's paper and gives its printable area
    // for it; --media or --queue-paper choose one of the queue's instead.
    const double askedW = printer->PaperWidthMm(), askedH = printer->PaperHeightMm();
    printer->SetJobSettings(Request.Job);
    printer->SetTarget(ptCups, *Queue);
    const bool replaced = std::abs(printer->PaperWidthMm() - askedW) > 0.5 ||
                          std::abs(printer->PaperHeightMm() - askedH) > 0.5;
    if (replaced && Request.Warn)
      Request.Warn("queue \"" + printer->TargetPath() + "\" prints on the paper chosen for the job (" +
                   FormatNumber(printer->PaperWidthMm()) + " x " + FormatNumber(printer->PaperHeightMm()) +
                   " mm); the layout's paper is not used");
  }

  p.Sheet = std::make_unique<TMivora>(nullptr);
  BuildSheet(*p.Sheet, p.Layout);
  CheckPrintable(*p.Sheet, p.Layout.Label);
  p.Merge = std::make_unique<TMerge>(*p.Sheet, p.Layout, p.Layout.Merge, std::move(merge));
  WarnAboutPages(p, Request);
  return p;
}

// Prints the sheet as one document on the printer's current target: one page,
// one page a record, or sheets of labels; nothing is delivered when anything fails.
// A signal while the pages are drawn stops the job at the end of the page.
std::vector<std::string> RunJob(TPrepared& P, const TPrintRequest& Request) {
  TMivora& sheet = *P.Sheet;
  sheet.BeginDocument(Request.Title.value_or(P.Layout.Title));
  try {
    {
      TDeferInterrupts defer;
      P.Merge->PrintPages([&Request](size_t Done, size_t Total) {
        CheckInterrupt();
        if (Request.Progress) Request.Progress(Done, Total);
      });
      CheckInterrupt();
    }
    if (P.Share->Next != nullptr && P.Share->Drawn.empty()) {
      // A process drawing part of a merge found every page taken by others.
      sheet.AbortDocument();
      return {};
    }
    sheet.EndDocument();
  } catch (...) {
    sheet.AbortDocument();
    throw;
  }
  return Printer()->OutputFiles();
}

// "labels-007.png": the numbered name of page Number of Count beside Output.
fs::path NumberedFile(const fs::path& Output, size_t Number, size_t Count) {
  std::string digits = std::to_string(Number);
  const size_t width = std::max<size_t>(3, std::to_string(Count).size());
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  fs::path name = Output.stem();
  name += "-" + digits;
  name += Output.extension();
  return Output.parent_path() / name;
}

// Whether this process runs one thread only, so that a child made by fork
// holds no lock another thread had taken.
bool SingleThreaded() {
  std::error_code error;
  size_t threads = 0;
  for (fs::directory_iterator it("/proc/self/task", error), end; !error && it != end; it.increment(error)) ++threads;
  return !error && threads == 1;
}

// Writes all of Text to the descriptor; gives up quietly on an error.
void WriteFully(int Descriptor, const std::string& Text) noexcept {
  size_t done = 0;
  while (done < Text.size()) {
    const ssize_t written = ::write(Descriptor, Text.data() + done, Text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

// How a worker ended, as its exit code says: the kinds of error of the command.
enum TWorkerExit : int { weDone = 0, weUnforeseen = 1, weInput = 2, wePrinter = 3 };

// The work of one worker process: draws the pages it takes (from Next) into
// its own folder inside Folder, renames them to their final names in Folder,
// and reports on Pipe: "P" after each page, "E" and the message on a failure.
// The files are not synced: the parent syncs them all at once. Never returns.
[[noreturn]] void RunWorker(TPrepared& P, const TPrintRequest& Request, TOutputKind Kind, const fs::path& Output,
                            const fs::path& Folder, size_t Worker, std::atomic<size_t>* Next, int Pipe) {
  ResetInterruptsInChild();
  TWorkerExit code = weDone;
  std::string message;
  try {
    P.Share->Next = Next;
    const fs::path own = Folder / ("worker-" + std::to_string(Worker));
    if (::mkdir(own.c_str(), 0700) != 0)
      throw EPrinterError("Cannot make a temporary folder \"" + own.string() + "\": " + std::strerror(errno));
    Printer()->SetTarget(TargetOf(Kind), (own / ("page" + Output.extension().string())).string());
    Printer()->SetSyncOutput(false);
    TPrintRequest request = Request;
    request.Progress = [&P, Pipe](size_t Done, size_t) {
      if (!P.Share->Drawn.empty() && P.Share->Drawn.back() == Done) WriteFully(Pipe, "P");
    };
    const std::vector<std::string> files = RunJob(P, request);
    const size_t pages = P.Merge->Pages();
    const std::vector<size_t>& drawn = P.Share->Drawn;
    if (files.size() != drawn.size())
      throw EPrinterError("Cannot write \"" + Output.string() + "\": a process drew " + std::to_string(drawn.size()) +
                          " pages into " + std::to_string(files.size()) + " files");
    for (size_t j = 0; j < files.size(); ++j) {
      const fs::path target = Folder / NumberedFile(Output, drawn[j], pages).filename();
      if (drawn[j] > pages || ::rename(files[j].c_str(), target.c_str()) != 0)
        throw EPrinterError("Cannot write \"" + target.string() + "\": " + std::strerror(errno));
    }
  } catch (const EInputError& error) {
    code = weInput;
    message = error.what();
  } catch (const EPrinterError& error) {
    code = wePrinter;
    message = error.what();
  } catch (const Exception& error) {
    code = weInput;
    message = error.what();
  } catch (const std::exception& error) {
    code = weUnforeseen;
    message = error.what();
  } catch (...) {
    code = weUnforeseen;
    message = "unknown error in a worker process";
  }
  if (code != weDone) WriteFully(Pipe, "E" + message.substr(0, 16384));
  ::close(Pipe);
  ::_exit(code);
}

// Draws the pages of a merge in Workers processes side by side, each page into
// Folder under its final file name. The parent waits: the first failure is
// raised with its own kind and message once every worker has ended; a signal
// kills the workers and raises EInterrupted.
void RunWorkers(TPrepared& P, const TPrintRequest& Request, TOutputKind Kind, const fs::path& Output,
                const fs::path& Folder, size_t Workers) {
  struct TWorker {
    pid_t Pid = -1;
    int Pipe = -1;
    std::string Message;  // after "E"
    bool Failed = false;
    int Code = weDone;    // the exit code; -1 when a signal ended it
  };
  std::vector<TWorker> workers(Workers);
  const TSharedCounter next;
  const auto stopAll = [&workers] {
    for (TWorker& w : workers)
      if (w.Pid > 0) ::kill(w.Pid, SIGKILL);
  };
  // Reaps every worker started; the descriptors are closed.
  const auto reapAll = [&workers] {
    for (TWorker& w : workers) {
      if (w.Pipe >= 0) ::close(std::exchange(w.Pipe, -1));
      if (w.Pid <= 0) continue;
      int status = 0;
      while (::waitpid(w.Pid, &status, 0) < 0 && errno == EINTR) {
      }
      RemoveInterruptWorker(w.Pid);
      w.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (!w.Failed && !(WIFEXITED(status) && WEXITSTATUS(status) == weDone)) {
        w.Failed = true;
        if (w.Message.empty())
          w.Message = WIFSIGNALED(status) ? "a process drawing pages ended by signal " + std::to_string(WTERMSIG(status))
                                          : "a process drawing pages failed";
      }
      w.Pid = -1;
    }
  };

  // A signal from here on kills the workers and ends the poll below; the
  // parent then raises. It waits while the workers are started, so that none
  // runs unknown to the handler.
  TDeferInterrupts defer;
  std::optional<TBlockInterrupts> block(std::in_place);
  std::fflush(nullptr);
  for (size_t k = 0; k < Workers; ++k) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
      const int error = errno;
      stopAll();
      reapAll();
      throw EPrinterError(std::string("Cannot start the processes that draw the pages: ") + std::strerror(error));
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(pipe[0]);
      for (size_t i = 0; i < k; ++i) ::close(workers[i].Pipe);
      RunWorker(P, Request, Kind, Output, Folder, k, next.Get(), pipe[1]);
    }
    const int error = errno;
    ::close(pipe[1]);
    if (pid < 0) {
      ::close(pipe[0]);
      stopAll();
      reapAll();
      throw EPrinterError(std::string("Cannot start the processes that draw the pages: ") + std::strerror(error));
    }
    AddInterruptWorker(pid);
    workers[k].Pid = pid;
    workers[k].Pipe = pipe[0];
  }

  block.reset();
  const size_t total = P.Merge->Pages();
  size_t done = 0;
  int firstFailure = -1;
  std::vector<pollfd> polled;
  std::vector<size_t> owners;
  while (InterruptSignal() == 0) {
    polled.clear();
    owners.clear();
    for (size_t k = 0; k < Workers; ++k)
      if (workers[k].Pipe >= 0) {
        polled.push_back(pollfd{workers[k].Pipe, POLLIN, 0});
        owners.push_back(k);
      }
    if (polled.empty()) break;
    if (::poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;  // cannot happen with valid descriptors; the workers are reaped below
    }
    for (size_t i = 0; i < polled.size(); ++i) {
      if (polled[i].revents == 0) continue;
      TWorker& w = workers[owners[i]];
      char buffer[4096];
      const ssize_t length = ::read(w.Pipe, buffer, sizeof buffer);
      if (length < 0 && errno == EINTR) continue;
      if (length <= 0) {
        ::close(std::exchange(w.Pipe, -1));
        continue;
      }
      for (ssize_t c = 0; c < length; ++c) {
        if (w.Failed) {
          w.Message.push_back(buffer[c]);
        } else if (buffer[c] == 'P') {
          ++done;
        } else {
          w.Failed = true;
          if (firstFailure < 0) firstFailure = static_cast<int>(owners[i]);
        }
      }
    }
    if (firstFailure >= 0) {
      // The first failure decides; the other workers' pages are not needed.
      for (size_t k = 0; k < Workers; ++k)
        if (static_cast<int>(k) != firstFailure && workers[k].Pid > 0) ::kill(workers[k].Pid, SIGKILL);
    } else if (Request.Progress) {
      Request.Progress(done, total);
    }
  }
  if (InterruptSignal() != 0) stopAll();
  // The failed worker's message may still be on its way: read it out.
  if (firstFailure >= 0) {
    TWorker& w = workers[static_cast<size_t>(firstFailure)];
    char buffer[4096];
    ssize_t length = 0;
    while (w.Pipe >= 0 && ((length = ::read(w.Pipe, buffer, sizeof buffer)) > 0 || (length < 0 && errno == EINTR)))
      if (length > 0) w.Message.append(buffer, static_cast<size_t>(length));
  }
  reapAll();
  CheckInterrupt();
  if (firstFailure < 0)
    for (size_t k = 0; k < Workers && firstFailure < 0; ++k)
      if (workers[k].Failed) firstFailure = static_cast<int>(k);
  if (firstFailure < 0) return;
  // The worker's exit code tells the kind of its error; the message is the
  // one a single process would have given.
  const TWorker& w = workers[static_cast<size_t>(firstFailure)];
  if (w.Code == weInput) throw EInputError(w.Message);
  if (w.Code == weUnforeseen) throw std::runtime_error(w.Message);
  throw EPrinterError(w.Message);
}

// Waits until everything written into Folder is on the disk: one sync of its
// file system for all the pages the workers wrote there.
void SyncFolder(const fs::path& Folder, const fs::path& Output) {
  const int descriptor = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = descriptor >= 0 && ::syncfs(descriptor) == 0;
  const int error = errno;
  if (descriptor >= 0) ::close(descriptor);
  if (!synced) throw EPrinterError("Cannot write \"" + Output.string() + "\": " + std::strerror(error));
}

// Puts Made[i] (files in Folder) in place as Targets[i], all or none: each
// earlier file of a target's name is first moved aside into Folder, then the
// new files are renamed in; on a failure the new ones are taken out again and
// the earlier ones put back. Signals wait until it is over.
void PutInPlace(const std::vector<fs::path>& Made, const std::vector<fs::path>& Targets, TTempDir& Folder) {
  TBlockInterrupts block;
  struct TMove {
    fs::path From, To;
  };
  std::vector<TMove> done;  // in order, to undo backwards
  std::string failure;
  // Moves From to To; with Keep, From keeps its name while it can (a second
  // link in To), so that no moment passes without a file of that name.
  const auto move = [&](const fs::path& From, const fs::path& To, bool Keep = false) {
    if ((Keep && ::link(From.c_str(), To.c_str()) == 0) || ::rename(From.c_str(), To.c_str()) == 0) {
      done.push_back({From, To});
      return true;
    }
    return false;
  };
  std::vector<fs::path> resolved(Targets.size());
  for (size_t i = 0; i < Targets.size() && failure.empty(); ++i) {
    const fs::path& target = Targets[i];
    resolved[i] = target;
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
      if (errno != ENOENT) failure = "Cannot write \"" + target.string() + "\": " + std::strerror(errno);
      continue;
    }
    if (S_ISLNK(info.st_mode)) {
      // A link keeps pointing at the file it names, which the page replaces;
      // a link that leads nowhere or round in a loop is refused.
      if (::stat(target.c_str(), &info) != 0) {
        failure = "Cannot write \"" + target.string() + "\": " +
                  (errno == ELOOP ? "it is a loop of symbolic links" : "it is a symbolic link to a file that does not exist");
        continue;
      }
      std::error_code error;
      const fs::path canonical = fs::canonical(target, error);
      if (error) {
        failure = "Cannot write \"" + target.string() + "\": " + error.message();
        continue;
      }
      resolved[i] = canonical;
    }
    if (S_ISDIR(info.st_mode)) {
      failure = "Cannot write \"" + target.string() + "\": it is a folder";
    } else if (!S_ISREG(info.st_mode)) {
      failure = "Cannot write \"" + target.string() + "\": it is not a regular file";
    } else if (!move(resolved[i], Folder.Path() / ("earlier-" + std::to_string(i)), true)) {
      failure = "Cannot write \"" + target.string() + "\": " + std::strerror(errno);
    }
  }
  for (size_t i = 0; i < Made.size() && failure.empty(); ++i)
    if (!move(Made[i], resolved[i])) failure = "Cannot write \"" + Targets[i].string() + "\": " + std::strerror(errno);
  if (failure.empty()) {
    // A signal that waited for this is handled when the block ends: the pages stay.
    SetInterruptOutcome(" after the pages were written");
    return;
  }

  std::string lost;
  for (auto it = done.rbegin(); it != done.rend(); ++it)
    if (::rename(it->To.c_str(), it->From.c_str()) != 0 && lost.empty()) lost = it->From.string();
  if (!lost.empty()) {
    Folder.Keep();
    failure += "; \"" + lost + "\" could not be put back: the earlier files are kept in \"" +
               Folder.Path().string() + "\"";
  }
  throw EPrinterError(failure);
}

} // namespace

void AddJobOption(TPrintJobSettings& Job, const std::string& Option) {
  const size_t equals = Option.find('=');
  const std::string name = Option.substr(0, equals);
  const std::string value = equals == std::string::npos ? std::string() : Option.substr(equals + 1);
  if (name == "copies") {
    char* end = nullptr;
    const long copies = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || copies < 1 || copies > 999999)
      throw EInputError("-o copies=" + value + ": the number of copies is a whole number from 1");
    Job.Copies = static_cast<int32_t>(copies);
  } else if (name == "sides") {
    Job.Sides = value;
  } else if (name == "collate") {
    Job.Collate = value != "false";
  } else if (name == "media") {
    Job.Media = value;
  } else if (name == "media-source") {
    Job.MediaSource = value;
  } else {
    Job.Options.push_back(Option);
  }
}

TOutputKind OutputKindOf(const fs::path& Output) {
  const std::string extension = Lower(Output.extension().string());
  if (extension == ".pdf") return TOutputKind::Pdf;
  if (extension == ".png") return TOutputKind::Png;
  if (extension == ".svg") return TOutputKind::Svg;
  if (extension == ".ps") return TOutputKind::PostScript;
  throw EInputError("Cannot tell the kind of output from \"" + Output.string() +
                    "\": name it .pdf, .png, .svg or .ps");
}

TPrintReport PrintLayout(const TPrintRequest& Request) {
  TPrintReport report;
  TPrinter* printer = Printer();

  if (Request.Queue) {
    // The queue is asked first: its paper shapes the page the commands lay out.
    printer->SetCupsWait(Request.Wait, std::chrono::duration_cast<std::chrono::milliseconds>(Request.Timeout));
    try {
      TPrepared p = Prepare(Request, &*Request.Queue);
      RunJob(p, Request);
      report.Pages = p.Merge->Pages();
    } catch (const ECupsPaperUnsupported& error) {
      throw ECupsPaperUnsupported(std::string(error.what()) +
                                  ". Choose one with --media NAME, or lay out on the queue's default paper "
                                  "with --queue-paper");
    }
    report.Queue = printer->TargetPath();
    report.JobId = printer->CupsJobId();
    report.Completed = Request.Wait;
    return report;
  }

  const fs::path output = Request.Output.value_or(fs::path(Request.Layout.stem().string() + ".pdf"));
  const TOutputKind kind = OutputKindOf(output);
  TPrepared p = Prepare(Request, nullptr);
  report.Pages = p.Merge->Pages();

  const bool perPageFiles = kind == TOutputKind::Png || kind == TOutputKind::Svg;
  if (!perPageFiles || report.Pages == 1) {
    printer->SetTarget(TargetOf(kind), output.string());
    report.Files = RunJob(p, Request);
    return report;
  }

  // One file per page: the pages are drawn in a private folder beside the
  // output, by one process or several side by side, and put in place all
  // together only when every one of them is done.
  const fs::path parent = output.has_parent_path() ? output.parent_path() : fs::path(".");
  TTempDir folder(parent, "." + output.stem().string() + ".mivora-");
  const size_t pages = report.Pages;
  const size_t workers = std::min<size_t>(pages, static_cast<size_t>(Request.Jobs > 0 ? Request.Jobs : AvailableCores()));
  std::vector<fs::path> made, targets;
  for (size_t i = 0; i < pages; ++i) targets.push_back(NumberedFile(output, i + 1, pages));
  if (workers > 1 && SingleThreaded()) {
    RunWorkers(p, Request, kind, output, folder.Path(), workers);
    for (const fs::path& target : targets) made.push_back(folder.Path() / target.filename());
    SyncFolder(folder.Path(), output);
  } else {
    printer->SetTarget(TargetOf(kind), (folder.Path() / ("page" + output.extension().string())).string());
    for (const std::string& file : RunJob(p, Request)) made.push_back(file);
  }
  if (made.size() != targets.size())
    throw EPrinterError("Cannot write \"" + output.string() + "\": " + std::to_string(made.size()) + " of " +
                        std::to_string(targets.size()) + " pages were drawn");
  PutInPlace(made, targets, folder);
  for (const fs::path& target : targets) report.Files.push_back(target.string());
  return report;
}

int32_t AvailableCores() noexcept {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) == 0) return std::max(1, CPU_COUNT(&cores));
  return static_cast<int32_t>(std::clamp(sysconf(_SC_NPROCESSORS_ONLN), 1L, 4096L));
}

TCheckReport CheckLayout(const TPrintRequest& Request) {
  TPrepared p = Prepare(Request, nullptr);
  TCheckReport report;
  report.Commands = p.Layout.Commands.size();
  report.Cells = p.Sheet->Count();
  report.Records = p.Merge->Records();
  return report;
}

} // namespace mivora::tool
