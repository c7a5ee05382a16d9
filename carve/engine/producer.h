// Producing one stream a probe found: its folder, its output's name, the
// checks of the output (the input itself, a name taken under --no-clobber),
// the copy with the bytes appended after it, or a dry run, the commit, the
// stream's report, and the box of a failure with its Abort/Ignore answer.
#pragma once

#include <cstdint>
#include <string>

#include "carve/engine/carver.h"

class InputView;
class Host;
class Pacer;
class RunState;
class IoError;
class Env;
struct OutputTarget;
struct StreamReport;

// What became of a stream handed to the producer.
struct Produced {
  enum class Status { Done, Ignored, Aborted };
  Status status = Status::Done;  // Ignored, Aborted: the stream failed
  bool written = false;          // an output was written (no dry run)
  int64_t next = 0;              // the offset the walk goes on from
};

class Producer {
 public:
  // `run` is the state of the run the stream belongs to; `in` is the input
  // as the pass reads it; `openSize` its size when the pass began; `pacer`
  // the pass's pump, which a long copy turns too.
  Producer(Host& host, RunState& run, const std::string& input, const std::string& pattern,
           InputView& in, const int64_t& openSize, Pacer& pacer)
      : host_(host),
        run_(run),
        input_(input),
        pattern_(pattern),
        in_(in),
        openSize_(openSize),
        pacer_(pacer) {}

  // Produces stream `number`, found at `candidate`. Throws IoError when the
  // input shrank under the pass: the failure of the input ends the pass.
  Produced produce(const FormatRow& row, int64_t number, int64_t candidate, const Found& found);

  // The failure of an input that lost bytes while the pass read it.
  IoError inputShrank() const;
  // The Env of the run: the pass opens its input through it too.
  Env& env() const;
  const RunState& run() const { return run_; }
  RunState& run() { return run_; }

 private:
  // Creates the pattern's folder (not in a dry run) and names the output, with the
  // extension the stream names or else the row's.
  std::string outputName(const FormatRow& row, const Found& found, int64_t number, bool dryRun);
  // The name the pattern gives, or, when the run wrote that one already, a
  // free name beside it, logged and reported as such.
  std::string freeOutputName(const FormatRow& row, const Found& found, int64_t number, bool dryRun,
                             StreamReport& report);
  // The output's length, as the copy would make it.
  void dryRun(const CopySpan& span, int64_t held, StreamReport& report);
  // Copies the range and the bytes appended after it to the output; a run
  // cancelled during the copy fails it (kIoCancelled), leaving nothing.
  void write(const OutputTarget& target, const std::string& name, const CopySpan& span,
             int64_t held, const Found& found, StreamReport& report);
  // Records the output in the run's outputs.
  void remember(const std::string& name);
  Produced fail(const IoError& e, int64_t number, int64_t candidate, const CopySpan& span);
  void report(const FormatRow& row, int64_t number, const Found& found, StreamReport& report);

  Host& host_;
  RunState& run_;
  const std::string& input_;
  const std::string& pattern_;
  InputView& in_;
  const int64_t& openSize_;
  Pacer& pacer_;
};
