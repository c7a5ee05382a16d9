// The progress a scan pass shows: the share of its window up to the walk's
// position, in whole percent, each change shown once.
#pragma once

#include <cstdint>

class Host;

class PassProgress {
 public:
  explicit PassProgress(Host& host) : host_(host) {}

  // The window the walk goes through: [start, end).
  void setWindow(int64_t start, int64_t end) {
    start_ = start;
    end_ = end;
  }
  // Shows the position of the walk at offset `next`.
  void showAt(int64_t next);
  // True when the offsets from k to k + 1 all give the position shown now.
  bool shows(int64_t k) const { return k >= low_ && k + 1 < high_; }

 private:
  // The position shown for the walk at offset `next`.
  int positionAt(int64_t next) const;
  // The first offset with position `position` (1 to 100) or a greater
  // one, in a window that is not empty; for 0, the least offset of all.
  int64_t firstAt(int position) const;

  Host& host_;
  int64_t start_ = 0, end_ = 0;
  int last_ = -1;
  // The offsets that give the position shown last: [low, high).
  int64_t low_ = 0, high_ = 0;
};
