// The scan pass on its own, with a carver made for the test: "AB" followed by
// a length byte L is a stream of L bytes (L of 0 is rejected, 0xFF ends the
// pass); outputs are named by the pattern with the stream number appended.
#include "carve/engine/scan_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "carve/engine/input_view.h"
#include "carve/engine/run_state.h"
#include "platform/descriptor.h"
#include "platform/fault.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

class AbCarver : public Carver {
 public:
  std::vector<int64_t> probes;
  // Remembering: a candidate less than 8 bytes after one rejected for its
  // length of 0 is rejected too.
  bool remembers = false;
  int64_t rejected = -8;
  // Reaching: a candidate less than 8 bytes after the end of the last
  // stream accepted is rejected.
  bool reaches = false;
  int64_t acceptedEnd = -8;
  // Lines as the carvers' own begin, "[001(", which a walk may renumber.
  bool bracketed = false;

  Trigger trigger() const override { return {'A', 0xFF, 'B'}; }
  bool rejectsFromRejected() const override { return remembers; }
  int64_t acceptedReach() const override { return reaches ? 8 : 0; }
  Probed probe(InputView& input, const Candidate& candidate) override {
    probes.push_back(candidate.offset);
    unsigned char head[3];
    if (input.read(candidate.offset, head, 3) < 3) return ProbeResult::Reject;
    if (head[2] == 0xFF) return ProbeResult::EndPass;
    if (remembers && candidate.offset < rejected + 8) return ProbeResult::Reject;
    if (reaches && candidate.offset < acceptedEnd + 8) return ProbeResult::Reject;
    if (head[2] == 0) rejected = candidate.offset;
    if (head[2] == 0) return ProbeResult::Reject;
    acceptedEnd = candidate.offset + head[2];
    Found found = StreamAt({candidate.offset, head[2]}, candidate);
    if (bracketed) {
      found.line = "[00" + std::to_string(candidate.number) + "(at " +
                   std::to_string(candidate.offset) + ")]";
    }
    return found;
  }
  // The stream of `span` found at the candidate.
  static Found StreamAt(CopySpan span, const Candidate& candidate) {
    return {
        span,
        "stream " + std::to_string(candidate.number) + " at " + std::to_string(candidate.offset),
        {}};
  }
};

// Outputs are named by the pattern with the stream number appended.
std::string NumberAppended(const std::string& pattern, const std::string&, int64_t number,
                           const std::string&) {
  return pattern + std::to_string(number);
}

FormatRow AbRow() {
  FormatRow row{};
  row.command = row.kind = "ab";
  row.opening = "からABを探しますっ！";
  row.name = NumberAppended;
  return row;
}
const FormatRow kAbRow = AbRow();

Bytes Filler(size_t n) { return Bytes(n, '.'); }

Bytes Stream(uint8_t length, uint8_t fill = 's') {
  Bytes s(length, fill);
  s[0] = 'A';
  if (length > 1) s[1] = 'B';
  if (length > 2) s[2] = length;
  return s;
}

struct Pass {
  TempDir dir;
  ScriptHost host;
  AbCarver carver;
  int64_t written = 0;

  std::string input() const { return dir / "in.bin"; }
  std::string pattern() const { return dir / "out-"; }
  Bytes output(int n) const { return ReadBytes(pattern() + std::to_string(n)); }

  void run(const Bytes& data) {
    WriteBytes(input(), data);
    written = RunScanPass(host, kAbRow, carver, input(), pattern());
    EXPECT_EQ(ReadBytes(input()), data) << "the input must never change";
    EXPECT_EQ(OpenFileCount(), 0) << "every file closed";
  }
};

TEST(ScanPass, MissingAndEmptyInputs) {
  Pass p;
  int64_t n = RunScanPass(p.host, kAbRow, p.carver, p.dir / "nothing.bin", p.pattern());
  EXPECT_EQ(n, 0);
  // Logged too, as by every format but the classic ones alone.
  EXPECT_EQ(p.host.log, std::vector<std::string>{"* 入力ファイルが存在しません(" +
                                                 p.dir / "nothing.bin" + ")"});
  EXPECT_EQ(p.host.beeps, 1);
  ASSERT_EQ(p.host.boxes.size(), 1u);
  EXPECT_EQ(p.host.boxes[0].type, BoxType::Warning);
  EXPECT_EQ(p.host.boxes[0].text, "入力ファイルが存在しません(" + p.dir / "nothing.bin" + ")");

  // A directory is not a file either.
  p.host.boxes.clear();
  RunScanPass(p.host, kAbRow, p.carver, p.dir.path(), p.pattern());
  ASSERT_EQ(p.host.boxes.size(), 1u);

  Pass empty;
  empty.run({});
  EXPECT_EQ(empty.host.log,
            (std::vector<std::string>{"\"" + empty.input() + "\"からABを探しますっ！",
                                      "Not Found (T-T)"}));
  EXPECT_TRUE(empty.carver.probes.empty());
}

TEST(ScanPass, TriggerAcrossABlockBoundaryAndStreamsBackToBack) {
  Pass p;
  Bytes data = Filler(511);
  Append(data, Stream(10));  // 'A' is the last byte of the first block
  Append(data, Stream(20));  // right after the first stream's range
  Append(data, Filler(100));
  p.run(data);
  EXPECT_EQ(p.carver.probes, (std::vector<int64_t>{511, 521}));
  EXPECT_EQ(p.written, 2);
  EXPECT_EQ(p.output(1), Slice(data, 511, 10));
  EXPECT_EQ(p.output(2), Slice(data, 521, 20));
  EXPECT_EQ(p.host.log[1], "stream 1 at 511");
  EXPECT_EQ(p.host.log[2], "stream 2 at 521");
  EXPECT_EQ(p.host.log.back(), "2個のabを発見。うち2個を抽出しました");
}

TEST(ScanPass, ACarverOfTwoTriggersIsProbedAtBothAloneOrBesideOthers) {
  // "AB" or "CD": one across the first block boundary, then streams of both
  // back to back.
  struct AbCd : AbCarver {
    std::vector<Trigger> triggers() const override { return {trigger(), {'C', 0xFF, 'D'}}; }
  };
  struct Other : AbCarver {
    explicit Other(char first) : first_(first) {}
    Trigger trigger() const override {
      return {static_cast<uint8_t>(first_), 0xFF, static_cast<uint8_t>(first_ + 1)};
    }
    char first_;
  };
  auto cd = [](uint8_t length) {
    Bytes s = Stream(length);
    s[0] = 'C';
    s[1] = 'D';
    return s;
  };
  Bytes data = Filler(511);
  Append(data, cd(10));
  Append(data, Stream(20));
  Append(data, cd(30));
  Append(data, Filler(100));
  FormatRow besideRow = AbRow();
  besideRow.name = [](const std::string& pattern, const std::string&, int64_t number,
                      const std::string&) { return pattern + "b" + std::to_string(number); };
  const struct {
    const char* name;
    std::string beside;  // the first bytes of the other lanes' triggers
    std::vector<std::vector<int64_t>> besideProbes;
  } cases[] = {
      {"alone", "", {}},
      {"beside an AB lane", "A", {{521}}},
      {"beside a CD lane", "C", {{511, 541}}},
      {"beside both", "CA", {{511, 541}, {521}}},
      {"after seven lanes of other triggers", "EGIKMOQ", {{}, {}, {}, {}, {}, {}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "in.bin", data);
    ScriptHost host;
    std::vector<std::unique_ptr<Other>> others;
    std::vector<PassLane> lanes;
    for (char first : c.beside) {
      others.push_back(std::make_unique<Other>(first));
      lanes.push_back({&besideRow, others.back().get()});
    }
    AbCd carver;
    lanes.push_back({&kAbRow, &carver});
    RunScanPasses(host, lanes, dir / "in.bin", dir / "out-");
    EXPECT_EQ(carver.probes, (std::vector<int64_t>{511, 521, 541}));
    EXPECT_EQ(ReadBytes(dir / "out-1"), Slice(data, 511, 10));
    EXPECT_EQ(ReadBytes(dir / "out-2"), Slice(data, 521, 20));
    EXPECT_EQ(ReadBytes(dir / "out-3"), Slice(data, 541, 30));
    for (size_t i = 0; i < others.size(); ++i) {
      EXPECT_EQ(others[i]->probes, c.besideProbes[i]) << c.beside[i];
    }
  }
}

// The AB carver as its row makes it, for the walks of pages: plain,
// remembering, reaching, or with lines a walk may renumber.
template <bool remembers, bool reaches = false, bool bracketed = false>
FormatRow AbRowMaking() {
  FormatRow row = AbRow();
  row.make = [](Host&) -> std::unique_ptr<Carver> {
    auto carver = std::make_unique<AbCarver>();
    carver->remembers = remembers;
    carver->reaches = reaches;
    carver->bracketed = bracketed;
    return carver;
  };
  return row;
}
const FormatRow kAbRowsMaking[] = {AbRowMaking<false>(), AbRowMaking<true>(),
                                   AbRowMaking<false, true, true>(),
                                   AbRowMaking<false, false, true>()};

// With more than one job the pages of the input are walked apart and noted;
// the walk that produces takes their notes only where it searches where they
// searched, so that it finds, numbers, logs and writes what one walk does.
TEST(ScanPass, PagesWalkedApartGiveWhatOneWalkGives) {
  // Pieces: a stream of that length, or filler of minus it; "AB" and a
  // length of 0 (rejected) or 0xFF (the end of the pass) for 0 and -255.
  const std::pair<const char*, std::vector<int>> inputs[] = {
      // Over the end of the first page of 100, over three.
      {"across", {-99, 30, -50, 250, -300}},
      {"back to back", {-60, 40, 100, 28, 100, 72, -300}},
      {"rejected and ended", {-98, 0, 0, 70, -230, -255, 30, -200}},
      {"remembered", {-98, 0, 50, -8, 40, -300}},
      // A stream over the end of the first page of 100, one within reach
      // of its end, one past it, then four in one page.
      {"reached", {-90, 40, -3, 30, -12, 20, -40, 10, 10, 10, 10, -300}},
      // From 50 to 150, holding at 120 the start of one that would run on to
      // 320 (over the stream right after it).
      {"nested", {-50, 100, 200, 40, -400}}};
  TempDir dir;
  const std::string input = dir / "in.bin", pattern = dir / "out-";
  auto walk = [&](int jobs, int64_t pageSize, const FormatRow& row) {
    for (int n = 1; std::filesystem::remove(pattern + std::to_string(n)); ++n) {
    }
    ScriptHost host;
    std::unique_ptr<Carver> carver = row.make(host);
    RunState run = RunState::PassAlone({.jobs = jobs, .pageSize = pageSize});
    const int64_t written = RunScanPasses(host, {{&row, carver.get()}}, input, pattern, run);
    for (int n = 1; n <= written; ++n) {
      const Bytes out = ReadBytes(pattern + std::to_string(n));
      host.log.emplace_back(out.begin(), out.end());
    }
    return host.log;
  };
  for (const auto& [name, pieces] : inputs) {
    Bytes data;
    for (int piece : pieces) {
      if (piece == 0 || piece == -255) Append(data, Bytes{'A', 'B', static_cast<uint8_t>(-piece)});
      if (piece < 0 && piece != -255) Append(data, Filler(static_cast<size_t>(-piece)));
      if (piece == 200 && name == std::string("nested")) {
        std::copy_n(Stream(200).begin(), 3, data.end() - 30);  // inside the one of 100
      } else if (piece > 0) {
        Append(data, Stream(static_cast<uint8_t>(piece)));
      }
    }
    WriteBytes(input, data);
    for (const FormatRow& row : kAbRowsMaking) {
      const std::vector<std::string> one = walk(1, 100, row);
      EXPECT_GE(one.size(), &row == kAbRowsMaking ? 4u : 2u) << name;
      for (int64_t pageSize : {16, 100, 128}) {
        for (int jobs : {2, 3}) {
          EXPECT_EQ(walk(jobs, pageSize, row), one) << name << " " << pageSize << " " << jobs;
          EXPECT_EQ(OpenFileCount(), 0) << "every file closed";
        }
      }
    }
  }
}

TEST(ScanPass, TheLastByteIsNeverTested) {
  // Whole file: the window ends at size - 1, yet the pair before it is tested.
  Pass whole;
  Bytes data = Filler(1022);
  data.push_back('A');
  data.push_back('B');
  Bytes withA = Filler(1023);
  withA.push_back('A');
  whole.run(withA);
  EXPECT_TRUE(whole.carver.probes.empty());
  Pass pair;
  pair.run(data);
  EXPECT_EQ(pair.carver.probes, (std::vector<int64_t>{1022}));

  // Percentage window up to 100 reaches the end of the file; the byte at the
  // very end has nothing after it.
  Pass limited;
  limited.host.limitRange = true;
  limited.host.lower = 0;
  limited.host.upper = 100;
  limited.run(withA);
  EXPECT_TRUE(limited.carver.probes.empty());
}

TEST(ScanPass, PercentageWindow) {
  Bytes data = Filler(1000);
  for (int at : {0, 100, 498, 600, 986, 989}) {
    data[at] = 'A';
    data[at + 1] = 'B';
    data[at + 2] = 0;  // rejected, so each is probed
  }
  Pass upper99;
  upper99.host.limitRange = true;
  upper99.host.lower = 10;
  upper99.host.upper = 99;
  upper99.run(data);
  // Q = 10: the window is [100, 990), so 989 is the last byte examined.
  EXPECT_EQ(upper99.carver.probes, (std::vector<int64_t>{100, 498, 600, 986, 989}));
  Bytes at990 = Filler(1000);
  at990[990] = 'A';
  at990[991] = 'B';
  Pass past;
  past.host.limitRange = true;
  past.host.lower = 10;
  past.host.upper = 99;
  past.run(at990);
  EXPECT_TRUE(past.carver.probes.empty());

  Pass inverted;
  inverted.host.limitRange = true;
  inverted.host.lower = 60;
  inverted.host.upper = 40;
  inverted.run(data);
  EXPECT_TRUE(inverted.carver.probes.empty());
  EXPECT_EQ(inverted.host.log.back(), "Not Found (T-T)");

  Pass equal;
  equal.host.limitRange = true;
  equal.host.lower = 50;
  equal.host.upper = 50;
  equal.run(data);
  EXPECT_TRUE(equal.carver.probes.empty());

  // Below 100 bytes Q is 0: the window is empty unless the upper bound is 100.
  Pass tiny;
  tiny.host.limitRange = true;
  tiny.host.lower = 0;
  tiny.host.upper = 99;
  tiny.run(Stream(20));
  EXPECT_TRUE(tiny.carver.probes.empty());

  // Upper bound 100: the last byte is examined, and at the end of the input
  // no further block is read, so the pump gets no turn after the one at 512.
  Pass whole;
  whole.host.limitRange = true;
  whole.host.lower = 0;
  whole.host.upper = 100;
  whole.run(Filler(1024));
  EXPECT_EQ(whole.host.pumps, 1);
}

TEST(ScanPass, StreamsCrossingTheWindowOrTheEnd) {
  // A stream that starts inside the window and ends beyond it is copied
  // whole, and the walk ends right after it.
  Pass p;
  p.host.limitRange = true;
  p.host.lower = 0;
  p.host.upper = 50;
  Bytes data = Filler(190);
  Append(data, Stream(60));
  Append(data, Filler(150));
  Append(data, Stream(10));  // beyond the window
  p.run(data);
  EXPECT_EQ(p.carver.probes, (std::vector<int64_t>{190}));
  EXPECT_EQ(p.output(1), Slice(data, 190, 60));

  // A stream that claims more than the input holds is cut at the end.
  Pass cut;
  Bytes shortData = Filler(30);
  Append(shortData, Stream(200));
  shortData.resize(130);
  cut.run(shortData);
  EXPECT_EQ(cut.written, 1);
  EXPECT_EQ(cut.output(1), Slice(shortData, 30, 100));
  EXPECT_EQ(cut.host.log.back(), "1個のabを発見。うち1個を抽出しました");
}

TEST(ScanPass, EndPassEndsTheWalkWithItsSummary) {
  Pass p;
  Bytes data = Filler(50);
  Append(data, Stream(10));
  data.insert(data.end(), {'A', 'B', 0xFF});
  Append(data, Stream(10));
  p.run(data);
  EXPECT_EQ(p.carver.probes, (std::vector<int64_t>{50, 60}));
  EXPECT_EQ(p.host.log.back(), "1個のabを発見。うち1個を抽出しました");
}

TEST(ScanPass, CancelEndsTheWalkAtTheNextStep) {
  // Cancelled in the pump of the first probe: that candidate is still
  // measured and written, then the walk ends with the summary.
  Pass p;
  Bytes data = Filler(2000);
  Append(data, Stream(10));
  Append(data, Filler(2000));
  Append(data, Stream(10));
  int pumps = 0;
  p.host.onPump = [&] {
    // The first pump is the one after the first block refill; cancel at the
    // pump of the probe.
    if (++pumps == 4) p.host.running = false;
  };
  p.run(data);
  EXPECT_EQ(p.carver.probes, (std::vector<int64_t>{2000}));
  EXPECT_EQ(p.written, 1);
  // The summary, then where the walk stopped: past the stream written.
  ASSERT_GE(p.host.log.size(), 2u);
  EXPECT_EQ(p.host.log[p.host.log.size() - 2], "1個のabを発見。うち1個を抽出しました");
  EXPECT_EQ(p.host.log.back(), "$000007DBでキャンセルしました。その先は読んでいません");

  // Not running from the start: no probe at all, still a summary, and
  // where the walk stopped.
  Pass idle;
  idle.host.running = false;
  idle.run(Stream(10));
  EXPECT_TRUE(idle.carver.probes.empty());
  EXPECT_EQ(idle.host.log[idle.host.log.size() - 2], "Not Found (T-T)");
  EXPECT_EQ(idle.host.log.back().substr(0, 9), "$00000001");
}

TEST(ScanPass, FailuresWhileProducingAStream) {
  Bytes data = Filler(100);
  Append(data, Stream(30));
  Append(data, Filler(100));
  Append(data, Stream(40));

  // A directory two levels below a missing one: each stream fails; Ignore
  // goes on past it, and the summary counts them found, not written.
  Pass ignore;
  std::string deep = ignore.dir / "missing/deeper/x";
  WriteBytes(ignore.input(), data);
  ignore.written = RunScanPass(ignore.host, kAbRow, ignore.carver, ignore.input(), deep);
  EXPECT_EQ(ignore.written, 0);
  ASSERT_EQ(ignore.host.boxes.size(), 2u);
  EXPECT_EQ(ignore.host.boxes[0].buttons, BoxButtons::AbortIgnore);
  EXPECT_EQ(ignore.host.boxes[0].text,
            "Path not found\n1番目のファイルの処理中にエラーが起こりました");
  EXPECT_EQ(ignore.host.boxes[1].text,
            "Path not found\n2番目のファイルの処理中にエラーが起こりました");
  EXPECT_EQ(ignore.host.log,
            (std::vector<std::string>{"\"" + ignore.input() + "\"からABを探しますっ！",
                                      "stream 1 at 100", "* Path not found", "stream 2 at 230",
                                      "* Path not found", "2個のabを発見。うち0個を抽出しました"}));
  EXPECT_EQ(ignore.carver.probes, (std::vector<int64_t>{100, 230}));
  EXPECT_EQ(OpenFileCount(), 0);

  // Abort, or a box closed without a button: the pass returns at once.
  for (BoxAnswer answer : {BoxAnswer::Abort, BoxAnswer::None}) {
    Pass abort;
    abort.host.answers = {answer};
    WriteBytes(abort.input(), data);
    int64_t n = RunScanPass(abort.host, kAbRow, abort.carver, abort.input(), deep);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(abort.host.log.back(), "* Path not found");
    EXPECT_EQ(abort.carver.probes.size(), 1u);
    EXPECT_EQ(OpenFileCount(), 0);
  }
}

TEST(ScanPass, AFullDiskFailsTheStreamAndKeepsEarlierOutputs) {
  Pass p;
  Bytes data = Filler(10);
  Append(data, Stream(30));
  WriteBytes(p.input(), data);
  // A disk that stays full from the first write on.
  FaultPlan fullDisk(FileOp::Write, 1, ENOSPC, true);
  ScriptHost host;
  int64_t written;
  {
    RunState run = RunState::PassAlone({}, fullDisk);
    written = RunScanPasses(host, {{&kAbRow, &p.carver}}, p.input(), p.pattern(), run);
  }
  EXPECT_FALSE(FileExists(p.pattern() + "1"));
  EXPECT_EQ(written, 0);
  ASSERT_FALSE(host.boxes.empty());
  EXPECT_EQ(host.boxes.back().text, "Disk full\n1番目のファイルの処理中にエラーが起こりました");
  EXPECT_EQ(host.log[2], "* Disk full");
  EXPECT_EQ(host.log.back(), "1個のabを発見。うち0個を抽出しました");
}

TEST(ScanPass, AnOutputThatIsTheInputIsRefused) {
  Pass p;
  Bytes data = Filler(10);
  Append(data, Stream(30));
  WriteBytes(p.input(), data);
  // The pattern names the output as it is.
  FormatRow self = kAbRow;
  self.name = [](const std::string& pattern, const std::string&, int64_t, const std::string&) {
    return pattern;
  };
  const std::string target = p.dir.path() + "/./in.bin";
  ScriptHost host;
  EXPECT_EQ(RunScanPass(host, self, p.carver, p.input(), target), 0);
  EXPECT_EQ(ReadBytes(p.input()), data);
  EXPECT_EQ(host.log[2], "* 出力ファイルが入力ファイルと同じです");
  EXPECT_EQ(host.boxes.back().buttons, BoxButtons::AbortIgnore);
}

TEST(ScanPass, ProgressReachesTheEnd) {
  Pass p;
  Bytes data = Filler(5000);
  Append(data, Stream(10));
  p.run(data);
  ASSERT_FALSE(p.host.progress.empty());
  EXPECT_EQ(p.host.progress.back(), 100);
  for (int v : p.host.progress) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 100);
  }
}

TEST(ScanPass, EachRejectedProbeShowsItsShareOfTheWindowAsProbedOrPassedOver) {
  // "AB" with a length of 0 at uneven steps; paced, no block change shows
  // progress, only each rejected probe: the share of the window up to the
  // byte after its candidate, in whole percent, each change once.
  Bytes data = Filler(300000);
  for (size_t k = 7; k + 3 < data.size(); k += 37 + k % 1001) {
    data[k] = 'A';
    data[k + 1] = 'B';
    data[k + 2] = 0;
  }
  struct RulingOut : AbCarver {
    bool ruledOut(const uint8_t* bytes, int64_t avail) override {
      return avail >= 3 && bytes[2] == 0;
    }
  };
  const int64_t q = static_cast<int64_t>(data.size()) / 100, start = 10 * q, end = 90 * q;
  std::vector<int> expected;
  for (int64_t k = start; k + 1 < end; ++k) {
    if (data[k] != 'A' || data[k + 1] != 'B') continue;
    const double share = static_cast<double>(k + 1 - start) / static_cast<double>(end - start);
    const int position = static_cast<int>(std::nearbyint(share * 100.0));
    if (expected.empty() || expected.back() != position) expected.push_back(position);
  }
  size_t probed = 0;
  for (bool passOver : {false, true}) {
    SCOPED_TRACE(passOver ? "passed over" : "probed");
    TempDir dir;
    WriteBytes(dir / "in.bin", data);
    ScriptHost host;
    host.pumpIntervalMs = 60000;
    host.limitRange = true;
    host.lower = 10;
    host.upper = 90;
    AbCarver probing;
    RulingOut rulingOut;
    AbCarver& carver = passOver ? rulingOut : probing;
    EXPECT_EQ(RunScanPass(host, kAbRow, carver, dir / "in.bin", dir / "out-"), 0);
    EXPECT_EQ(host.progress, expected);
    // Only where the pacer looks at the clock is a probe still made.
    if (passOver) {
      EXPECT_LT(carver.probes.size() * 10, probed);
    } else {
      probed = carver.probes.size();
    }
  }
}

TEST(ScanPass, AStreamThatEndsBeforeItsCandidateDoesNotTakeTheWalkBack) {
  // "CD" is a one-byte stream 2300 bytes before its trigger the first time,
  // and rejected after that; "AB" with a length of 0 around it is rejected,
  // probed or ruled out. The walk goes on after the "CD" candidate: each
  // one is probed once, and the position shown only grows.
  Bytes data = Filler(100000);
  for (size_t k : {59900, 60200, 60400}) std::copy_n("AB", 3, data.begin() + k);
  for (size_t k : {60300, 62000}) std::copy_n("CD", 2, data.begin() + k);
  data[58000] = 'x';
  struct Back : AbCarver {
    Trigger trigger() const override { return {'C', 0xFF, 'D'}; }
    Probed probe(InputView&, const Candidate& candidate) override {
      probes.push_back(candidate.offset);
      if (probes.size() > 1) return ProbeResult::Reject;
      return StreamAt({candidate.offset - 2300, 1}, candidate);
    }
  };
  struct RulingOut : AbCarver {
    bool ruledOut(const uint8_t* bytes, int64_t avail) override {
      return avail >= 3 && bytes[2] == 0;
    }
  };
  const struct {
    const char* name;
    int pumpIntervalMs;
    bool beside, rulesOut;  // an "AB" lane beside it, and whether it rules out
  } cases[] = {{"alone", 60000, false, false},
               {"beside probes", 60000, true, false},
               {"beside rulings out", 60000, true, true},
               {"beside, a pump at every step", 0, true, true}};
  std::vector<int> shownBeside;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "in.bin", data);
    ScriptHost host;
    host.pumpIntervalMs = c.pumpIntervalMs;
    Back back;
    AbCarver probing;
    RulingOut rulingOut;
    std::vector<PassLane> lanes = {{&kAbRow, &back}};
    if (c.beside) lanes.push_back({&kAbRow, c.rulesOut ? &rulingOut : &probing});
    EXPECT_EQ(RunScanPasses(host, lanes, dir / "in.bin", dir / "out-"), 1);
    EXPECT_EQ(back.probes, (std::vector<int64_t>{60300, 62000}));
    EXPECT_EQ(ReadBytes(dir / "out-1"), Bytes{'x'});
    EXPECT_EQ(
        std::adjacent_find(host.progress.begin(), host.progress.end(), std::greater_equal<int>()),
        host.progress.end());
    if (!c.beside || c.pumpIntervalMs == 0) continue;
    if (shownBeside.empty()) shownBeside = host.progress;
    EXPECT_EQ(host.progress, shownBeside);
  }
}

TEST(ScanPass, ATriggerAtTheEndOfTheBufferIsProbedFromTheInput) {
  // The first read is one block: the trigger's first byte is the last one
  // it holds, and the buffer has moved on when the candidate is probed.
  Bytes data = Filler(5000);
  const Bytes stream = Stream(10);
  std::copy(stream.begin(), stream.end(), data.begin() + 511);
  struct FirstByte : AbCarver {
    bool ruledOut(const uint8_t* bytes, int64_t) override { return bytes[0] != 'A'; }
  };
  Pass p;
  FirstByte carver;
  p.host.pumpIntervalMs = 60000;
  WriteBytes(p.input(), data);
  EXPECT_EQ(RunScanPass(p.host, kAbRow, carver, p.input(), p.pattern()), 1);
  EXPECT_EQ(carver.probes, std::vector<int64_t>{511});
  EXPECT_EQ(p.output(1), stream);
}

TEST(InputView, CopyToCopiesTheRangeAsFarAsTheInputHoldsIt) {
  TempDir dir;
  Bytes data = RandomBytes(100000, 11, true);
  WriteBytes(dir / "in", data);
  struct Case {
    int64_t start, length, wantLength, wantPos;
  } cases[] = {
      {0, 0, 0, 0},
      {10, 512, 512, 522},
      {10, 513, 513, 523},
      {99990, 100, 10, 100000},
      {100000, 5, 0, 100000},
      {200000, 5, 0, 200000},
      {1, 99999, 99999, 100000},
      {7, 70000, 70000, 70007},
  };
  for (const Case& c : cases) {
    InputView in(InputFile::OpenRead(dir / "in"));
    OutputFile out = OutputFile::Create(dir / "out");
    const int64_t copied = in.copyTo(out, c.start, c.length);
    EXPECT_EQ(c.start + copied, c.wantPos) << c.start << "+" << c.length;
    out.close();
    Bytes got = ReadBytes(dir / "out");
    ASSERT_EQ(static_cast<int64_t>(got.size()), c.wantLength);
    if (c.wantLength > 0) {
      EXPECT_EQ(got, Slice(data, c.start, c.wantLength));
    }
  }
}

}  // namespace

TEST(TriggerSearch, EveryWayFindsTheFirstWholeTrigger) {
  Bytes data = RandomBytes(4096, 9, true);
  // Triggers, first bytes alone, and triggers split by the end of the count.
  for (size_t i = 100; i + 1 < data.size(); i += 211) {
    data[i] = 0xFF;
    data[i + 1] = (i % 3 == 0) ? 0xFB : 0x1B;
  }
  for (size_t i = 7; i + 1 < data.size(); i += 173) data[i] = 'O';
  for (size_t i = 50; i + 1 < data.size(); i += 389) (data[i] = 'O', data[i + 1] = 'g');
  const TwoByteTrigger triggers[] = {{0xFF, 0xE6, 0xE2}, {'O', 0xFF, 'g'}, {'R', 0xFF, 'I'}};
  for (auto path : {TriggerSearchPath::Portable, TriggerSearchPath::Sse2, TriggerSearchPath::Ssse3,
                    TriggerSearchPath::Avx2, TriggerSearchPath::Avx512}) {
    if (!HasTriggerSearchPath(path)) continue;
    for (const TwoByteTrigger& t : triggers) {
      for (size_t from : {0, 1, 33, 63, 64, 99, 100, 1000}) {
        for (size_t count = 0; from + count < data.size(); count += count < 130 ? 1 : 97) {
          size_t expected = count;
          for (size_t k = 0; k < count; ++k) {
            const uint8_t* q = data.data() + from + k;
            if (q[0] == t.first && (q[1] & t.mask) == t.value) {
              expected = k;
              break;
            }
          }
          ASSERT_EQ(FindTriggerOn(path, data.data() + from, count, t), expected)
              << static_cast<int>(path) << " " << from << "+" << count;
        }
      }
    }
  }
}

TEST(TriggerSearch, EveryWayFindsEveryTriggerOfASetInOnePass) {
  // The triggers of the eight formats, one that any second byte completes,
  // and one that nothing completes (its value has a bit outside its mask).
  const std::vector<TwoByteTrigger> formats = {
      {0xFF, 0xE6, 0xE2}, {0xFF, 0xF4, 0xF4}, {0xFF, 0xF6, 0xF0}, {'O', 0xFF, 'g'},
      {'R', 0xFF, 'I'},   {'f', 0xFF, 'L'},   {'F', 0xFF, 'O'},   {0x80, 0xFF, 0x00}};
  const std::vector<std::vector<TwoByteTrigger>> sets = {
      formats,
      {formats[0]},
      {formats[3], formats[4], formats[0]},
      {formats[0], formats[1], formats[2]},  // one first byte, three second bytes
      {{0x80, 0x00, 0x00}, {'O', 0xFF, 'g'}, {'R', 0x0F, 0x1F}},
  };
  Bytes data = RandomBytes(4096, 21, true);
  // Thick with the pairs of every set, and with first bytes alone.
  const uint8_t firsts[] = {0xFF, 'O', 'R', 'f', 'F', 0x80};
  const uint8_t seconds[] = {0xFB, 0xFD, 0xF1, 0xE4, 'g', 'I', 'L', 'O', 0x00, 0x1F};
  for (size_t i = 3; i + 1 < data.size(); i += 5 + i % 7) {
    data[i] = firsts[i % 6];
    if (i % 4 != 0) data[i + 1] = seconds[i % 10];
  }
  for (auto path : {TriggerSearchPath::Portable, TriggerSearchPath::Sse2, TriggerSearchPath::Ssse3,
                    TriggerSearchPath::Avx2, TriggerSearchPath::Avx512}) {
    if (!HasTriggerSearchPath(path)) continue;
    for (const auto& triggers : sets) {
      TriggerSet set;
      std::vector<uint8_t> bits;
      for (const TwoByteTrigger& t : triggers) bits.push_back(set.add(t));
      for (size_t from : {0, 1, 15, 31, 32, 63, 100, 1001}) {
        // Every pair from `from` on, tested one trigger at a time; a search
        // of `count` positions finds those before it.
        std::vector<TriggerHit> all;
        for (size_t k = 0; from + k + 1 < data.size(); ++k) {
          const uint8_t* q = data.data() + from + k;
          uint8_t there = 0;
          for (size_t j = 0; j < triggers.size(); ++j) {
            if (q[0] == triggers[j].first && (q[1] & triggers[j].mask) == triggers[j].value)
              there |= bits[j];
          }
          if (there != 0) all.push_back({static_cast<uint32_t>(k), there});
        }
        for (size_t count = 0; from + count < data.size(); count += count < 200 ? 1 : 89) {
          size_t expected = 0;
          while (expected < all.size() && all[expected].at < count) ++expected;
          std::vector<TriggerHit> got = {{7, 7}};  // what is there is kept
          set.findAllOn(path, data.data() + from, count, got);
          ASSERT_EQ(got.size(), expected + 1)
              << static_cast<int>(path) << " " << from << "+" << count;
          for (size_t h = 0; h < expected; ++h) {
            ASSERT_EQ(got[h + 1].at, all[h].at) << static_cast<int>(path) << " " << from;
            ASSERT_EQ(got[h + 1].triggers, all[h].triggers)
                << static_cast<int>(path) << " " << from << " at " << all[h].at;
          }
        }
      }
    }
  }
}

// Sets searched together find what each finds alone: the same hits at the
// same offsets, whatever the count of sets and the length searched.
TEST(TriggerSearch, SetsSearchedTogetherFindWhatEachFindsAlone) {
  const std::vector<std::vector<TwoByteTrigger>> groups = {
      {{0xFF, 0xE6, 0xE2},
       {'O', 0xFF, 'g'},
       {'R', 0xFF, 'I'},
       {0xFF, 0xF4, 0xF4},
       {0xFF, 0xF6, 0xF0},
       {'f', 0xFF, 'L'},
       {'F', 0xFF, 'O'},
       {0x80, 0xFF, 0x00}},
      {{'B', 0xFF, 'K'},
       {'R', 0xFF, 'S'},
       {'C', 0xFF, 'S'},
       {'F', 0xFF, 'S'},
       {'M', 0xFF, 'T'},
       {'A', 0xFF, 'F'},
       {0x00, 0xFE, 0x02},
       {0x00, 0xFF, 0x01}},
      {{'A', 0xFF, 'K'}, {'W', 0xFF, 'B'}, {'D', 0xFF, 'N'}},
      // First bytes that differ only in their top bits, and second bytes
      // masked there, so that a pair matching one in its low six bits and
      // another in its top two is none.
      {{'K', 0x0F, 0x0B}, {0x7F, 0xC0, 0x40}, {0x3F, 0x3F, 0x01}, {0xBF, 0x80, 0x80}},
      {{'K', 0xFF, 'K'}, {0x7F, 0xFF, 0x7F}, {0x3F, 0xFF, 0x3F}, {0xBF, 0xFF, 0x00}},
  };
  std::vector<TriggerSet> sets(groups.size());
  for (size_t g = 0; g < groups.size(); ++g) {
    for (const TwoByteTrigger& t : groups[g]) sets[g].add(t);
  }
  // Random bytes thick with the pairs of every set, and with pairs that
  // mix the first byte of one set with the second of another.
  Bytes data = RandomBytes(70000, 31, true);
  for (size_t i = 5; i + 1 < data.size(); i += 3 + i % 61) {
    const auto& from = groups[i % groups.size()];
    const auto& to = groups[(i / 7) % groups.size()];
    data[i] = from[i % from.size()].first;
    data[i + 1] = to[(i / 3) % to.size()].value;
  }
  // Searches in turn, each with as many sets as the one before but not the
  // same ones; the last two differ only in the second bytes of one set.
  const std::vector<std::vector<size_t>> searches = {
      {0}, {1}, {0, 1}, {1, 2}, {0, 1, 2}, {1, 2, 3}, {0, 1, 2, 3}, {1, 2, 3, 4}, {0, 3}, {0, 4}};
  for (const std::vector<size_t>& which : searches) {
    const int n = static_cast<int>(which.size());
    for (size_t count : {0, 1, 63, 64, 65, 127, 128, 1000, 69999}) {
      std::vector<const TriggerSet*> of;
      std::vector<std::vector<TriggerHit>> together(n), alone(n);
      std::vector<TriggerHit*> outs;
      for (int k = 0; k < n; ++k) {
        of.push_back(&sets[which[k]]);
        together[k].resize(count + TriggerSet::kHitSlack);
        outs.push_back(together[k].data());
        sets[which[k]].findAll(data.data(), count, alone[k]);
      }
      size_t found[TriggerSet::kMaxFused] = {};
      TriggerSet::findAllOfSets(of.data(), n, data.data(), count, outs.data(), found);
      for (int k = 0; k < n; ++k) {
        SCOPED_TRACE(std::to_string(n) + " sets, " + std::to_string(count) + " pairs, set " +
                     std::to_string(which[k]));
        ASSERT_EQ(found[k], alone[k].size());
        for (size_t h = 0; h < found[k]; ++h) {
          ASSERT_EQ(together[k][h].at, alone[k][h].at);
          ASSERT_EQ(together[k][h].triggers, alone[k][h].triggers);
        }
      }
    }
  }
}

TEST(TriggerSearch, ASetGivesEachDistinctTriggerItsOwnBitUpToEight) {
  TriggerSet set;
  EXPECT_EQ(set.add({'O', 0xFF, 'g'}), 1);
  EXPECT_EQ(set.add({'O', 0xFF, 'G'}), 2);
  EXPECT_EQ(set.add({'O', 0xFF, 'g'}), 1);
  for (uint8_t k = 2; k < TriggerSet::kMaxTriggers; ++k) {
    EXPECT_EQ(set.add({k, 0xFF, k}), 1u << k);
  }
  EXPECT_EQ(set.add({0x11, 0xFF, 0x22}), 0) << "a full set takes no new trigger";
  EXPECT_EQ(set.add({'O', 0xFF, 'G'}), 2) << "but still knows its own";
  EXPECT_EQ(set.size(), TriggerSet::kMaxTriggers);
  const Bytes data = {'O', 'G', 0x11, 0x22, 7, 7, 0};
  std::vector<TriggerHit> hits;
  set.findAll(data.data(), data.size() - 1, hits);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].at, 0u);
  EXPECT_EQ(hits[0].triggers, 2);
  EXPECT_EQ(hits[1].at, 4u);
  EXPECT_EQ(hits[1].triggers, 1u << 7);
}
