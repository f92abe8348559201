#include "Interrupts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mivora {

namespace {

// Everything here is read by the signal handler: fixed arrays and lock-free
// atomics, no allocation.
constexpr int MaxPaths = 64;
constexpr size_t MaxPathLength = 4096;
constexpr int MaxWorkers = 256;

enum TSlotState : int { Free = 0, Filling = 1, Ready = 2 };

struct TPathSlot {
  std::atomic<int> State{Free};
  char Path[MaxPathLength];
};

TPathSlot g_paths[MaxPaths];
std::atomic<pid_t> g_workers[MaxWorkers];
volatile sig_atomic_t g_signal = 0;
std::atomic<int> g_deferring{0};
constexpr size_t MaxOutcome = 512;
char g_outcome[MaxOutcome] = ": nothing written";
std::atomic<bool> g_outcomeBusy{false};  // SetInterruptOutcome is rewriting it

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

const char* SignalName(int Signal) noexcept {
  switch (Signal) {
  case SIGINT: return "SIGINT";
  case SIGTERM: return "SIGTERM";
  case SIGHUP: return "SIGHUP";
  default: return "a signal";
  }
}

void WriteAll(const char* Text) noexcept {
  size_t length = std::strlen(Text);
  while (length > 0) {
    const ssize_t written = ::write(STDERR_FILENO, Text, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    Text += written;
    length -= static_cast<size_t>(written);
  }
}

// Removes Name inside the folder Parent (a file, or a folder with everything
// in it, a few levels deep); async-signal-safe.
void RemoveTree(int Parent, const char* Name, int Depth) noexcept {
  if (::unlinkat(Parent, Name, 0) == 0 || errno == ENOENT) return;
  if (errno != EISDIR && errno != EPERM) return;
  if (Depth < 4) {
    const int folder = ::openat(Parent, Name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
      // Entries are removed while the folder is read: read it again from the
      // start until a pass removes nothing.
      alignas(8) char buffer[4096];
      for (bool removed = true; removed;) {
        removed = false;
        if (::lseek(folder, 0, SEEK_SET) != 0) break;
        for (;;) {
          const ssize_t length = ::getdents64(folder, buffer, sizeof buffer);
          if (length <= 0) break;
          for (ssize_t offset = 0; offset < length;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            RemoveTree(folder, name, Depth + 1);
            removed = true;
          }
        }
      }
      ::close(folder);
    }
  }
  ::unlinkat(Parent, Name, AT_REMOVEDIR);
}

void RemoveRegisteredPaths() noexcept {
  for (TPathSlot& slot : g_paths)
    if (slot.State.load() == Ready) RemoveTree(AT_FDCWD, slot.Path, 0);
}

void KillWorkers() noexcept {
  for (std::atomic<pid_t>& worker : g_workers) {
    const pid_t pid = worker.load();
    if (pid > 0) ::kill(pid, SIGKILL);
  }
}

// Waits until the killed workers are gone, so that none writes into a folder
// being removed.
void ReapWorkers() noexcept {
  for (std::atomic<pid_t>& worker : g_workers) {
    const pid_t pid = worker.exchange(0);
    if (pid > 0)
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
  }
}

void WriteMessage(int Signal) noexcept {
  WriteAll("mivora: interrupted (");
  WriteAll(SignalName(Signal));
  WriteAll(")");
  WriteAll(g_outcomeBusy.load() ? "" : g_outcome);
  WriteAll("\n");
}

extern "C" void HandleInterrupt(int Signal) {
  const int savedErrno = errno;
  const bool second = g_signal != 0;
  if (!second) g_signal = Signal;
  KillWorkers();
  if (!second && g_deferring.load() > 0) {
    errno = savedErrno;
    return;
  }
  ReapWorkers();
  RemoveRegisteredPaths();
  WriteMessage(Signal);
  ::_exit(128 + Signal);
}

} // namespace

EInterrupted::EInterrupted(int Signal)
    : Exception(std::string("interrupted (") + SignalName(Signal) + ")" +
                (g_outcomeBusy.load() ? std::string() : std::string(g_outcome))),
      signal_(Signal) {}

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = HandleInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : Signals) sigaddset(&action.sa_mask, signal);
  // Reads and writes go on after a deferred signal; poll, which waits for
  // worker processes, returns at once whatever the flag says.
  action.sa_flags = SA_RESTART;
  for (const int signal : Signals) {
    // A signal the caller ignores (nohup) stays ignored.
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

int InterruptSignal() noexcept { return g_signal; }

void CheckInterrupt() {
  if (const int signal = g_signal; signal != 0) throw EInterrupted(signal);
}

TDeferInterrupts::TDeferInterrupts() noexcept { g_deferring.fetch_add(1); }

TDeferInterrupts::~TDeferInterrupts() { g_deferring.fetch_sub(1); }

TBlockInterrupts::TBlockInterrupts() noexcept {
  sigset_t block;
  sigemptyset(&block);
  for (const int signal : Signals) sigaddset(&block, signal);
  ::pthread_sigmask(SIG_BLOCK, &block, &saved_);
}

TBlockInterrupts::~TBlockInterrupts() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

TTempPath::TTempPath(const std::string& Path) noexcept {
  if (Path.empty() || Path.size() >= MaxPathLength) return;
  for (int i = 0; i < MaxPaths; ++i) {
    int expected = Free;
    if (!g_paths[i].State.compare_exchange_strong(expected, Filling)) continue;
    std::memcpy(g_paths[i].Path, Path.c_str(), Path.size() + 1);
    g_paths[i].State.store(Ready);
    slot_ = i;
    return;
  }
}

TTempPath::TTempPath(TTempPath&& Other) noexcept : slot_(Other.slot_) { Other.slot_ = -1; }

TTempPath& TTempPath::operator=(TTempPath&& Other) noexcept {
  if (this != &Other) {
    Release();
    slot_ = Other.slot_;
    Other.slot_ = -1;
  }
  return *this;
}

void TTempPath::Release() noexcept {
  if (slot_ < 0) return;
  g_paths[slot_].State.store(Free);
  slot_ = -1;
}

void SetInterruptOutcome(const std::string& Text) noexcept {
  g_outcomeBusy.store(true);
  const size_t length = std::min(Text.size(), MaxOutcome - 1);
  std::memcpy(g_outcome, Text.data(), length);
  g_outcome[length] = '\0';
  g_outcomeBusy.store(false);
}

void AddInterruptWorker(pid_t Worker) noexcept {
  for (std::atomic<pid_t>& slot : g_workers) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, Worker)) return;
  }
}

void RemoveInterruptWorker(pid_t Worker) noexcept {
  for (std::atomic<pid_t>& slot : g_workers) {
    pid_t expected = Worker;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void ResetInterruptsInChild() noexcept {
  for (TPathSlot& slot : g_paths) slot.State.store(Free);
  for (std::atomic<pid_t>& slot : g_workers) slot.store(0);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int signal : Signals) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
  sigset_t unblock;
  sigemptyset(&unblock);
  for (const int signal : Signals) sigaddset(&unblock, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

} // namespace mivora
