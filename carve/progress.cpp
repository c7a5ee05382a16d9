#include "carve/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "carve/host.h"

void PassProgress::showAt(int64_t next) {
  if (next >= low_ && next < high_) return;  // shown already
  const int position = positionAt(next);
  if (position != last_) {
    last_ = position;
    host_.SetProgress(position);
    host_.WalkedTo(next, start_, end_);
  }
  // The position grows with the offset, so the offsets around `next` that
  // give the same one form a range: found by doubling steps, then halving,
  // it spares the calls that follow the sums while the walk stays in it.
  high_ = edge(next, 1, position);
  low_ = edge(next, -1, position) + 1;
}

int64_t PassProgress::edge(int64_t next, int64_t direction, int position) const {
  constexpr int64_t kFar = int64_t{1} << 61;
  int64_t same = next, step = 1;
  while (step < kFar && positionAt(next + direction * step) == position) {
    same = next + direction * step;
    step *= 2;
  }
  int64_t other = next + direction * step;
  if (step >= kFar) return same + direction;  // none so near: the range ends here
  while (std::abs(other - same) > 1) {
    const int64_t mid = same + (other - same) / 2;
    (positionAt(mid) == position ? same : other) = mid;
  }
  return other;  // the nearest offset with another position
}

int PassProgress::positionAt(int64_t next) const {
  if (end_ - start_ == 0) return 0;
  double share = static_cast<double>(next - start_) / static_cast<double>(end_ - start_) * 100.0;
  return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
}
