#include "platform/pending_output.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

#include "platform/env.h"

namespace {

// A fixed buffer, published by a flag, so that a signal handler can read it.
char g_pendingPath[PATH_MAX + 1];
volatile std::sig_atomic_t g_pendingSet = 0;
// An output written in place: its descriptor, that of its old content, and
// the old content's size.
volatile std::sig_atomic_t g_restoreSet = 0;
int g_restoreTarget = -1, g_restoreSaved = -1;
int64_t g_restoreSize = 0;
// The note written to the error stream by a signal that ends the program.
char g_note[256];
volatile std::sig_atomic_t g_noteLength = 0;
// SIGINT asks the run to stop (StopOnInterrupt), and whether it has; when
// the first one came (CLOCK_MONOTONIC, in milliseconds).
volatile std::sig_atomic_t g_stopOnInterrupt = 0, g_interruptAsked = 0;
std::atomic<int64_t> g_firstInterruptMs{0};  // lock-free: safe in a handler
// SIGINTs this close to the first are that one: `timeout` and a shell's
// kill of a process group send one to the program and one to its group,
// which the program may take one after the other, where no person presses
// Ctrl-C twice so fast.
constexpr int64_t kSameInterruptMs = 200;

int64_t MonotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

extern "C" void EndOnSignal(int sig) {
  if (sig == SIGINT && g_stopOnInterrupt != 0) {
    if (g_interruptAsked == 0) {
      g_firstInterruptMs = MonotonicMs();
      g_interruptAsked = 1;
      return;
    }
    if (MonotonicMs() - g_firstInterruptMs < kSameInterruptMs) return;
  }
  RemovePendingOutput();
  if (g_noteLength > 0) {
    ssize_t written = ::write(STDERR_FILENO, g_note, static_cast<size_t>(g_noteLength));
    (void)written;
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

void SetPendingOutput(const std::string& path) {
  g_pendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path.size() > PATH_MAX) return;
  std::memcpy(g_pendingPath, path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_pendingSet = 1;
}

void SetSignalNote(const std::string& note) {
  g_noteLength = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (note.size() > sizeof g_note) return;
  std::memcpy(g_note, note.data(), note.size());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_noteLength = static_cast<std::sig_atomic_t>(note.size());
}

void ClearPendingOutput() {
  g_pendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void SetPendingRestore(int target, int saved, int64_t size) {
  g_restoreSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_restoreTarget = target;
  g_restoreSaved = saved;
  g_restoreSize = size;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_restoreSet = 1;
}

void ClearPendingRestore() {
  g_restoreSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

bool RestoreContent(int target, int saved, int64_t size, Env& env) noexcept {
  static char buffer[64 * 1024];
  for (int64_t at = 0; at < size;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(size - at, sizeof buffer));
    const ssize_t n = env.pread(saved, buffer, want, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = env.pwrite(target, buffer + done, static_cast<size_t>(n - done), at + done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
    at += n;
  }
  return env.ftruncate(target, size) == 0;
}

void RemovePendingOutput() noexcept {
  // The signal path has no run: the system's calls.
  if (g_pendingSet) Env::System().unlink(g_pendingPath);
  if (g_restoreSet) {
    const int err = errno;
    RestoreContent(g_restoreTarget, g_restoreSaved, g_restoreSize, Env::System());
    g_restoreSet = 0;
    errno = err;
  }
}

void PrepareOutputSignals() {
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  // A SIGINT that asks the run to stop returns to a read or write.
  action.sa_flags = SA_RESTART;
  ::sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

void StopOnInterrupt(bool on) { g_stopOnInterrupt = on ? 1 : 0; }

bool InterruptAsked() { return g_interruptAsked != 0; }

void EndAsInterrupted() {
  EndOnSignal(SIGINT);
  ::_exit(130);  // SIGINT ignored meanwhile
}
