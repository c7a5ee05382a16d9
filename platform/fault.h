// Fault injection for tests: makes the Nth operation of a kind fail with a
// chosen errno. Production code never arms it; the check is one pointer test.
#pragma once

#include <array>
#include <cstdint>

// KernelCopy: a copy between files inside the kernel (File::copyTo); an
// errno that says the kernel cannot copy makes the copy go through the
// buffers instead.
enum class FileOp { Open, Create, Seek, Read, Write, Close, Size, Rename, KernelCopy, kCount };

class FaultPlan {
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

  // Called by the file layer before each operation; returns the errno to fail
  // with, or 0.
  int check(FileOp op) {
    int64_t n = ++counts_[static_cast<int>(op)];
    if (op == op_ && (n == nth_ || (sticky_ && n > nth_))) {
      fired_ = true;
      if (action_) action_();
      return err_;
    }
    return 0;
  }
  int64_t count(FileOp op) const { return counts_[static_cast<int>(op)]; }
  bool fired() const { return fired_; }

 private:
  FileOp op_ = FileOp::kCount;
  int64_t nth_ = 0;
  int err_ = 0;
  bool sticky_ = false;
  bool fired_ = false;
  void (*action_)() = nullptr;
  std::array<int64_t, static_cast<int>(FileOp::kCount)> counts_{};
};

// The plan in force, or null. Set only by tests (see FaultScope).
extern FaultPlan* g_faultPlan;

class FaultScope {
 public:
  explicit FaultScope(FaultPlan& plan) { g_faultPlan = &plan; }
  ~FaultScope() { g_faultPlan = nullptr; }
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;
};
