// The temporary file of the output being written, recorded so that a program
// that ends on a signal removes it first.
#pragma once

#include <string>

// Records `path` as the temporary file of the output being written, in place
// of any recorded before; a path longer than PATH_MAX is not recorded.
void SetPendingOutput(const std::string& path);
// A note (at most 256 bytes; empty: none) that a signal ending the program
// writes to the error stream first, as a terminal's progress line says the run
// was cancelled.
void SetSignalNote(const std::string& note);
// Forgets the temporary file recorded.
void ClearPendingOutput();
// Removes the temporary file of the output being written, if any. Safe to
// call from a signal handler: a program that ends on a signal calls it first.
void RemovePendingOutput() noexcept;
// For a program's main(): a file-size limit makes a write fail ("File too
// large") instead of ending the program, and SIGINT, SIGTERM and SIGHUP
// remove the temporary file of the output being written before they end it.
void PrepareOutputSignals();
