// Paces an event pump: a long-running loop gives the window a turn at least
// every interval, but not at every step, which would cost more than the work
// between two turns.
#pragma once

#include <chrono>

class Pacer {
 public:
  // An interval of 0 makes every step due. The clock is looked at once every
  // `stepsPerCheck` steps, so that cheap steps do not pay for it.
  explicit Pacer(int intervalMs, int stepsPerCheck = 1)
      : interval_(std::chrono::milliseconds(intervalMs)), stepsPerCheck_(stepsPerCheck) {}

  // A step may weigh more than one (`weight`).
  bool due(int weight = 1) {
    if (interval_.count() == 0) return true;
    steps_ += weight;
    if (steps_ < stepsPerCheck_) return false;
    steps_ = 0;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < interval_) return false;
    last_ = now;
    return true;
  }

  // Whether the clock decides at all (an interval of 0: every step is due).
  bool paced() const { return interval_.count() != 0; }

  // How many steps from now on are sure not to be due, so that a loop may
  // take them in one go with skip(); 0 when every step is due.
  int quietSteps() const { return interval_.count() == 0 ? 0 : stepsPerCheck_ - 1 - steps_; }
  void skip(int steps) { steps_ += steps; }

 private:
  std::chrono::steady_clock::duration interval_;
  int stepsPerCheck_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  int steps_ = 0;
};
