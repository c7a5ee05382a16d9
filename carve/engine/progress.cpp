#include "carve/engine/progress.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "carve/engine/host.h"

void PassProgress::showAt(int64_t next) {
  if (next >= low_ && next < high_) return;  // shown already
  const int position = positionAt(next);
  if (position != last_) {
    last_ = position;
    host_.SetProgress(position);
    host_.WalkedTo(next, start_, end_);
  }
  // The offsets that give the same position form a range, from the first
  // offset of the position to the first of the next one: it spares the
  // calls that follow the sums while the walk stays in it.
  if (end_ <= start_) {
    // An empty window shows 0 everywhere; one that ends before it starts is
    // never walked: the range is the offset alone.
    low_ = end_ == start_ ? std::numeric_limits<int64_t>::min() : next;
    high_ = end_ == start_ ? std::numeric_limits<int64_t>::max() : next + 1;
    return;
  }
  low_ = firstAt(position);
  high_ = position == 100 ? std::numeric_limits<int64_t>::max() : firstAt(position + 1);
}

int64_t PassProgress::firstAt(int position) const {
  if (position == 0) return std::numeric_limits<int64_t>::min();
  // The share reaches position - 1/2 at start + (2 position - 1) / 200 of the
  // window, rounded up; the sums in doubles may round either way there, so
  // the first offset is sought from that one.
  const __int128 span = static_cast<__int128>(end_ - start_) * (2 * position - 1);
  int64_t k = start_ + static_cast<int64_t>((span + 199) / 200);
  while (positionAt(k - 1) >= position) --k;
  while (positionAt(k) < position) ++k;
  return k;
}

int PassProgress::positionAt(int64_t next) const {
  if (end_ - start_ == 0) return 0;
  double share = static_cast<double>(next - start_) / static_cast<double>(end_ - start_) * 100.0;
  return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
}
