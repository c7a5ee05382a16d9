#include "platform/pending_output.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// A fixed buffer, published by a flag, so that a signal handler can read it.
char g_pendingPath[PATH_MAX + 1];
volatile std::sig_atomic_t g_pendingSet = 0;
// The note written to the error stream by a signal that ends the program.
char g_note[256];
volatile std::sig_atomic_t g_noteLength = 0;

extern "C" void EndOnSignal(int sig) {
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

void RemovePendingOutput() noexcept {
  if (g_pendingSet) ::unlink(g_pendingPath);
}

void PrepareOutputSignals() {
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  ::sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}
