// Fault injection for tests: an Env that makes the Nth operation of a kind
// fail with a chosen errno, and counts the operations of each kind.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/env.h"

class FaultPlan : public Env {
 public:
  // Fail the `nth` (1-based) operation of kind `op` with `err`; with `sticky`,
  // every later one of that kind as well (a disk that stays full).
  FaultPlan(FileOp op, int64_t nth, int err, bool sticky = false)
      : op_(op), nth_(nth), err_(err), sticky_(sticky) {}
  // A plan that only counts.
  FaultPlan() = default;

  // Runs `action` when the fault fires, before the operation fails (or,
  // with an errno of 0, goes on): a test's way to act in the middle of one.
  void setAction(void (*action)()) { action_ = action; }

  int begin(FileOp op) override {
    int64_t n = ++counts_[static_cast<int>(op)];
    if (op == op_ && (n == nth_ || (sticky_ && n > nth_))) {
      fired_ = true;
      if (action_) action_();
      return err_;
    }
    return 0;
  }
  // The kernel copies at most a block a call, so that a copy goes in steps
  // of a block (each one read, one write and one kernel copy of the plan).
  ssize_t copyFileRange(int in, loff_t* inOffset, int out, size_t count) override {
    return Env::copyFileRange(in, inOffset, out, std::min(count, kCopyBlock));
  }

  int64_t count(FileOp op) const { return counts_[static_cast<int>(op)]; }
  bool fired() const { return fired_; }

  static constexpr size_t kCopyBlock = 64 * 1024;

 private:
  FileOp op_ = FileOp::kCount;
  int64_t nth_ = 0;
  int err_ = 0;
  bool sticky_ = false;
  bool fired_ = false;
  void (*action_)() = nullptr;
  std::array<int64_t, static_cast<int>(FileOp::kCount)> counts_{};
};
