// The temporary file of the output being written, recorded so that a program
// that ends on a signal removes it first; for an output written in place, the
// old content that such a signal puts back.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

// Records `path` as the temporary file of the output being written, in place
// of any recorded before; a path longer than PATH_MAX is not recorded.
void SetPendingOutput(const std::string& path);
// A note (at most 256 bytes; empty: none) that a signal ending the program
// writes to the error stream first, as a terminal's progress line says the run
// was cancelled.
void SetSignalNote(const std::string& note);
// Forgets the temporary file recorded.
void ClearPendingOutput();
// Records an output written in place over an existing file (descriptor
// `target`) whose old content, `size` bytes, is kept in the file open as
// `saved`: a signal that ends the program puts that content back first.
void SetPendingRestore(int target, int saved, int64_t size);
// Forgets the output recorded so.
void ClearPendingRestore();
// Puts `size` bytes of `saved` back into `target`, from its start, and cuts
// `target` to that size; false when that failed. Safe to call from a signal
// handler (`env`'s plain system calls, a fixed buffer).
bool RestoreContent(int target, int saved, int64_t size, Env& env) noexcept;
// Removes the temporary file of the output being written, if any, and puts
// back the old content of a file being written in place. Safe to call from
// a signal handler: a program that ends on a signal calls it first.
void RemovePendingOutput() noexcept;
// For a program's main(): a file-size limit makes a write fail ("File too
// large") instead of ending the program, and SIGINT, SIGTERM and SIGHUP
// remove the temporary file of the output being written before they end it.
void PrepareOutputSignals();

// While `on`, the first SIGINT (Ctrl-C) asks the run to stop rather than
// ending the program at once: the run ends its pass, says where it stopped,
// and the program then ends as the signal ends it (EndAsInterrupted). A
// second SIGINT ends it at once, unless it comes within 200 ms of the first:
// `timeout` sends one to the program and one to its process group, and the
// two are one Ctrl-C.
void StopOnInterrupt(bool on);
// Whether a SIGINT has asked the run to stop.
bool InterruptAsked();
// Ends the program as SIGINT does, its note written first.
[[noreturn]] void EndAsInterrupted();
