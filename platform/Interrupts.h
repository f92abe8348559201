// Clean interrupts: SIGINT, SIGTERM and SIGHUP stop a job without leaving its
// temporary files behind or touching an earlier output.
//
// Every temporary file or folder a job makes is registered while it exists.
// A program that calls InstallInterruptHandlers then handles the signals so:
// - while a TDeferInterrupts is alive (a loop that checks CheckInterrupt at
//   safe points, between pages), the signal is only noted; CheckInterrupt then
//   raises EInterrupted, which unwinds and removes the temporaries as any error;
// - otherwise, or at a second signal, the handler itself removes the registered
//   paths (unlink and rmdir only), writes "mivora: interrupted (SIGINT): ..."
//   to standard error and ends the process with 128 + the signal's number.
// Registered worker processes are killed at the first signal.
#pragma once

#include "Exceptions.h"

#include <signal.h>
#include <string>
#include <sys/types.h>

namespace mivora {

// The job was interrupted by a signal; what() is the message the command shows.
class EInterrupted : public Exception {
public:
  explicit EInterrupted(int Signal);
  int Signal() const noexcept { return signal_; }
  // 128 + the signal's number, as a shell reports a process the signal ended.
  int ExitCode() const noexcept { return 128 + signal_; }

private:
  int signal_;
};

// Handles SIGINT, SIGTERM and SIGHUP as described above. Call once, early.
void InstallInterruptHandlers();

// The signal noted since the start (0 for none).
int InterruptSignal() noexcept;

// Raises EInterrupted when a signal has been noted.
void CheckInterrupt();

// While one is alive, signals are only noted: the code checks CheckInterrupt.
class TDeferInterrupts {
public:
  TDeferInterrupts() noexcept;
  ~TDeferInterrupts();
  TDeferInterrupts(const TDeferInterrupts&) = delete;
  TDeferInterrupts& operator=(const TDeferInterrupts&) = delete;
};

// While one is alive, the signals wait (they are blocked): for steps that must
// not stop half-way, such as putting a set of files in place. A signal that
// came meanwhile is handled when the block ends.
class TBlockInterrupts {
public:
  TBlockInterrupts() noexcept;
  ~TBlockInterrupts();
  TBlockInterrupts(const TBlockInterrupts&) = delete;
  TBlockInterrupts& operator=(const TBlockInterrupts&) = delete;

private:
  sigset_t saved_{};  // the mask before
};

// A temporary file or folder (with everything in it) removed if the process is
// interrupted while the object lives. A path too long to keep, or one more
// than the registry holds (64), is not registered: keep temporaries inside
// one registered folder.
class TTempPath {
public:
  TTempPath() noexcept = default;
  explicit TTempPath(const std::string& Path) noexcept;
  ~TTempPath() { Release(); }
  TTempPath(TTempPath&& Other) noexcept;
  TTempPath& operator=(TTempPath&& Other) noexcept;
  TTempPath(const TTempPath&) = delete;
  TTempPath& operator=(const TTempPath&) = delete;
  // Forgets the path: it was put in place or removed.
  void Release() noexcept;

private:
  int slot_ = -1;
};

// What the interrupt message says after "interrupted (SIGINT)" from now on
// (": nothing written" at first), e.g. ": job 12 was sent to queue \"Q\" and
// stays there". Longer text is cut.
void SetInterruptOutcome(const std::string& Text) noexcept;

// A worker process killed (SIGKILL) at the first signal; Remove when reaped.
void AddInterruptWorker(pid_t Worker) noexcept;
void RemoveInterruptWorker(pid_t Worker) noexcept;

// In a child made by fork: the parent's temporaries and workers are the
// parent's to clean, and the signals end the child at once (the default, and
// not blocked).
void ResetInterruptsInChild() noexcept;

} // namespace mivora
