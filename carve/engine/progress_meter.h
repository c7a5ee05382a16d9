// What a run's progress shows besides the percentage: the rate of the walk,
// the time since the run began, the time left on the current input, and the
// input. Fed by the sink's reports (Host::InputBegins, Sink::WalkedTo); the
// clock is given, so that the texts follow from given bytes and times.
#pragma once

#include <cstdint>
#include <string>

#include "carve/engine/sink.h"
#include "platform/clock.h"

class ProgressMeter {
 public:
  explicit ProgressMeter(SteadyClock clock = SteadyMilliseconds) : clock_(std::move(clock)) {}

  // A run begins: its time starts now, and it is not cancelled.
  void beginRun();
  // The input `input` begins: its rate counts from now.
  void beginInput(const std::string& input);
  // The next input stands at `place` in the run: with more than one input,
  // the percentage, the rate and the time left are those of the whole run
  // (its bytes), and the text says which input of how many this is.
  void placeInput(const JobPlace& place) { job_ = place; }
  bool wholeRun() const { return job_.count > 1 && job_.totalBytes > 0; }
  // The walk is at `offset` of the window [start, end).
  void walkedTo(int64_t offset, int64_t start, int64_t end);
  // The run was cancelled: the text says so from now on.
  void cancel() { cancelled_ = true; }
  // The run is over: the text shows no time left.
  void finish() { finished_ = true; }

  const std::string& input() const { return input_; }
  bool cancelled() const { return cancelled_; }
  // Bytes a second of the walk on the current input (the whole run's), or
  // -1 before any time has passed.
  double bytesPerSecond() const;
  // Milliseconds since the run began.
  int64_t elapsedMs() const { return clock_() - runStart_; }
  // Milliseconds the rest of the current input's window (the whole run's)
  // takes at the rate so far, or -1 when no rate is known yet.
  int64_t remainingMs() const;
  // 0..100: the share of the current input's window walked (of the whole
  // run's bytes).
  int percent() const;
  // "42%  35.1MB/s  経過 0:03  残り 0:05", without the time left once the run
  // is over, or the cancel's text.
  std::string text() const;

 private:
  SteadyClock clock_;
  int64_t runStart_ = 0, inputStart_ = 0;
  int64_t offset_ = 0, start_ = 0, end_ = 0;
  bool walked_ = false, cancelled_ = false, finished_ = false;
  std::string input_;
  JobPlace job_;

  // The share of the current input's window walked, 0..1.
  double inputShare() const;
  // The bytes of the run walked: those of the inputs before and the share
  // of this one's.
  double runBytesWalked() const;
};

// A duration as "m:ss", or "h:mm:ss" from an hour on; "--:--" when negative
// (unknown).
std::string DurationText(int64_t ms);
// A rate as "35.1MB/s" (10^6 bytes); "--.-MB/s" when negative (unknown).
std::string RateText(double bytesPerSecond);
