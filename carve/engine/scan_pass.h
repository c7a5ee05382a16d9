// The scan pass shared by the carvers: existence test, scan window, the
// byte walk in 512-byte blocks over one large read buffer with its trigger
// test, the probe protocol, the failures of the input, progress and the
// summary line; each stream a probe finds goes to the producer
// (carve/engine/producer.h). One pass can walk several carvers over one read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"

class InputFile;
class RunState;
class OutputFile;

// The size of the buffer a scan pass reads its input into.
inline constexpr int64_t kScanBufferSize = 1024 * 1024;

// Runs one scan pass, a run of its own with the default options; returns the
// number of streams written.
int64_t RunScanPass(Host& host, const FormatRow& row, Carver& carver, const std::string& input,
                    const std::string& pattern);

// One lane of a walk of several carvers: a carver and the row of its format.
struct PassLane {
  const FormatRow* row;
  Carver* carver;
};

// Runs the passes of several carvers over one read of the input. Each carver
// walks on its own, exactly as in its own pass: a stream it accepts is
// skipped by it alone. Their opening lines come first, then the stream lines
// of all of them in order of offset, then their summary lines. Returns the
// number of streams written by all of them.
// `run` is the state of the run the passes belong to; without it they are a
// run of their own with the default options.
int64_t RunScanPasses(Host& host, const std::vector<PassLane>& lanes, const std::string& input,
                      const std::string& pattern, RunState& run);
int64_t RunScanPasses(Host& host, const std::vector<PassLane>& lanes, const std::string& input,
                      const std::string& pattern);

// The directory part of a pattern: the text before its last '/' (read with
// "%%" as '%' when every '%' in it is doubled); `found` is false when it has
// none.
std::string PatternDirectory(const std::string& pattern, bool& found);
