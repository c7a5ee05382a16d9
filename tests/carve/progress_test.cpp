// The progress of a scan pass on its own: what the host is shown as the
// walk's position moves through a window, forward, back and far outside.
#include "carve/engine/progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "carve/engine/progress_meter.h"
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
    size_t walkedBefore = 0;
    for (const int64_t next : c.offsets) {
      progress.showAt(next);
      const int position = Expected(c.start, c.end, next);
      if (expected.empty() || expected.back() != position) expected.push_back(position);
      EXPECT_EQ(host.progress, expected) << "at " << next;
      // Each position shown comes with the offset that gave it.
      ASSERT_EQ(host.walked.size(), host.progress.size());
      if (expected.size() > walkedBefore) {
        EXPECT_EQ(host.walked.back(), next);
      }
      walkedBefore = expected.size();
    }
  }
}

TEST(PassProgress, AnOffsetShowsNothingNewOnlyWhereItsNeighbourShowsTheSame) {
  constexpr int64_t kFar = int64_t{1} << 62;
  const struct {
    int64_t start, end, shown;        // the window and the offset shown
    std::vector<int64_t> neighbours;  // offsets looked at from each on
  } cases[] = {
      {0, 1000, 500, {480}},                                       // 50 %: offsets 495..504
      {0, 200, 101, {0, 95}},                                      // halves on offsets, to even
      {100, 301, 250, {240}},                                      // an odd length
      {0, 1000, 1000, {990, 2000, kFar}},                          // 100 % on past the end
      {kFar, kFar + 1000, kFar, {0, kFar - 5}},                    // 0 % back to the first offset
      {7, int64_t{1} << 40, int64_t{1} << 39, {544'258'255'733}},  // 50 % from ...753 on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end));
    ScriptHost host;
    PassProgress progress(host);
    progress.setWindow(c.start, c.end);
    progress.showAt(c.shown);
    const int shown = Expected(c.start, c.end, c.shown);
    for (const int64_t from : c.neighbours) {
      for (int64_t k = from; k < from + 40; ++k) {
        const bool same =
            Expected(c.start, c.end, k) == shown && Expected(c.start, c.end, k + 1) == shown;
        EXPECT_EQ(progress.shows(k), same) << k;
      }
    }
  }
}

// The figures a run shows from given bytes and times: the clock is a
// variable the test moves.
TEST(ProgressMeter, RatesAndTimesFollowFromBytesAndTimes) {
  const struct {
    const char* name;
    int64_t runAt, inputAt, now;  // ms: the run's and the input's beginning, now
    int64_t offset, start, end;   // where the walk is, in its window
    double rate;                  // bytes a second, -1 unknown
    int64_t remainingMs;
    int percent;
    std::string text;
    JobPlace place = {};  // where the input stands in the run
  } cases[] = {
      {"no time yet", 1000, 1000, 1000, 0, 0, 100, -1, -1, 0,
       "0%  --.-MB/s  経過 0:00  残り --:--"},
      {"nothing walked yet", 0, 0, 500, 0, 0, 100, 0, -1, 0, "0%  0.0MB/s  経過 0:00  残り --:--"},
      {"half at 10 MB/s", 0, 0, 5000, 50'000'000, 0, 100'000'000, 1e7, 5000, 50,
       "50%  10.0MB/s  経過 0:05  残り 0:05"},
      {"a window not at 0", 0, 0, 2000, 3'000'000, 1'000'000, 5'000'000, 1e6, 2000, 50,
       "50%  1.0MB/s  経過 0:02  残り 0:02"},
      {"second input: its own rate, the run's time", 0, 60'000, 62'000, 4'000'000, 0, 4'000'000,
       2e6, 0, 100, "100%  2.0MB/s  経過 1:02  残り 0:00"},
      {"hours", 0, 0, 3'600'000, 36'000'000, 0, 72'000'000, 1e4, 3'600'000, 50,
       "50%  0.0MB/s  経過 1:00:00  残り 1:00:00"},
      {"64-bit sizes", 0, 0, 1000, int64_t{1} << 40, 0, int64_t{1} << 41, 1099511627776.0, 1000, 50,
       "50%  1099511.6MB/s  経過 0:01  残り 0:01"},
      // Several inputs: the whole run's bytes, from the run's beginning.
      {"half of the second of three",
       0,
       6000,
       8000,
       2'000'000,
       0,
       4'000'000,
       1e6,
       12'000,
       40,
       "40%  1.0MB/s  経過 0:08  残り 0:12  2/3個目",
       {2, 3, 6'000'000, 4'000'000, 20'000'000}},
      {"a window of a part of the input",
       0,
       0,
       1000,
       3'000'000,
       2'000'000,
       4'000'000,
       2.5e6,
       3000,
       25,
       "25%  2.5MB/s  経過 0:01  残り 0:03  1/2個目",
       {1, 2, 0, 5'000'000, 10'000'000}},
      {"one input is its own run",
       0,
       0,
       5000,
       50'000'000,
       0,
       100'000'000,
       1e7,
       5000,
       50,
       "50%  10.0MB/s  経過 0:05  残り 0:05",
       {1, 1, 0, 100'000'000, 100'000'000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t now = c.runAt;
    ProgressMeter meter([&now] { return now; });
    meter.beginRun();
    now = c.inputAt;
    meter.placeInput(c.place);
    meter.beginInput("in.bin");
    meter.walkedTo(c.offset, c.start, c.end);
    now = c.now;
    EXPECT_DOUBLE_EQ(meter.bytesPerSecond(), c.rate);
    EXPECT_EQ(meter.remainingMs(), c.remainingMs);
    EXPECT_EQ(meter.percent(), c.percent);
    EXPECT_EQ(meter.elapsedMs(), c.now - c.runAt);
    EXPECT_EQ(meter.text(), c.text);
    EXPECT_EQ(meter.input(), "in.bin");
    // Once the run is over, the same figures without the time left.
    meter.finish();
    const size_t left = c.text.find("  残り "), place = c.text.find("  ", left + 2);
    EXPECT_EQ(meter.text(),
              c.text.substr(0, left) + (place == std::string::npos ? "" : c.text.substr(place)));
    meter.cancel();
    EXPECT_TRUE(meter.text().starts_with("キャンセルしました")) << meter.text();
    // A new run is not cancelled.
    meter.beginRun();
    EXPECT_FALSE(meter.cancelled());
  }
}

TEST(ProgressMeter, DurationsAndRatesAsText) {
  const struct {
    int64_t ms;
    std::string text;
  } durations[] = {{-1, "--:--"},          {0, "0:00"},
                   {999, "0:00"},          {59'999, "0:59"},
                   {61'000, "1:01"},       {3'599'000, "59:59"},
                   {3'600'000, "1:00:00"}, {360'000'000'000, "100000:00:00"}};
  for (const auto& d : durations) EXPECT_EQ(DurationText(d.ms), d.text) << d.ms;
  const struct {
    double rate;
    std::string text;
  } rates[] = {{-1, "--.-MB/s"},
               {0, "0.0MB/s"},
               {49'999, "0.0MB/s"},
               {160'000, "0.2MB/s"},
               {123'456'789, "123.5MB/s"}};
  for (const auto& r : rates) EXPECT_EQ(RateText(r.rate), r.text) << r.rate;
}

}  // namespace
