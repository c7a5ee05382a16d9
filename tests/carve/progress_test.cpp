// The progress of a scan pass on its own: what the host is shown as the
// walk's position moves through a window, forward, back and far outside.
#include "carve/progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/script_host.h"

namespace {

// The position of offset `next` in [start, end), as the pass has always
// shown it: the share of the window, rounded to whole percent, held to 0..100.
int Expected(int64_t start, int64_t end, int64_t next) {
  if (end == start) return 0;
  const double share = static_cast<double>(next - start) / static_cast<double>(end - start);
  return static_cast<int>(std::clamp(std::nearbyint(share * 100.0), 0.0, 100.0));
}

TEST(PassProgress, EveryChangeOfPositionIsShownOnceAndNothingElse) {
  const struct {
    int64_t start, end;
    std::vector<int64_t> offsets;
  } cases[] = {
      {0, 1000, {0, 4, 5, 6, 500, 994, 995, 999, 1000}},
      {100, 301, {100, 101, 102, 103, 300, 301}},  // odd lengths round half away
      {0, 0, {0, 1, 5}},                           // an empty window shows 0
      {50, 60, {0, 49, 50, 60, 1000}},             // offsets outside are held
      {0, 1000, {900, 10, 900, 905, 10}},          // a walk that goes back
      {0, int64_t{1} << 40, {0, int64_t{1} << 39, (int64_t{1} << 40) - 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end));
    ScriptHost host;
    PassProgress progress(host);
    progress.setWindow(c.start, c.end);
    std::vector<int> expected;
    for (const int64_t next : c.offsets) {
      progress.showAt(next);
      const int position = Expected(c.start, c.end, next);
      if (expected.empty() || expected.back() != position) expected.push_back(position);
      EXPECT_EQ(host.progress, expected) << "at " << next;
    }
  }
}

TEST(PassProgress, AnOffsetShowsNothingNewOnlyWhereItsNeighbourShowsTheSame) {
  ScriptHost host;
  PassProgress progress(host);
  progress.setWindow(0, 1000);
  progress.showAt(500);  // 50 %: offsets 495..504
  for (int64_t k = 480; k < 520; ++k) {
    const bool same = Expected(0, 1000, k) == 50 && Expected(0, 1000, k + 1) == 50;
    EXPECT_EQ(progress.shows(k), same) << k;
  }
}

}  // namespace
