// Every file operation of a pass, made to fail in turn by the Env of its run
// (folders made and names looked at too): each failure is logged once and
// shown in the box its stage calls for, every file is closed, the input is
// unchanged, and after Ignore the walk goes on to find and write the next
// stream. The older file under the name of a failed stream is left as it
// was, and no temporary file stays behind. A look that fails answers as a
// name not there would: the input is reported missing, or the folder of the
// outputs is made (or found made) and the pass goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "carve/engine/formats.h"
#include "carve/engine/input_view.h"
#include "carve/engine/run_state.h"
#include "carve/engine/scan_pass.h"
#include "platform/descriptor.h"
#include "platform/fault.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "support/probe_counter.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// A row of the table of formats and the fixture it carves.
struct PassCase {
  const FormatRow* row;
  std::string fixture;
  int minFrames;
};

// Every row, with its smallest fixture; the first three with the fixtures
// and frame counts their older tests used.
std::vector<PassCase> Cases() {
  const std::map<std::string_view, PassCase> classic = {{"mp3", {nullptr, "mpeg1_cbr128.mp3", 4}},
                                                        {"ogg", {nullptr, "vorbis_mono.ogg", 2}},
                                                        {"wav", {nullptr, "wave_u8_mono.wav", 4}}};
  std::vector<PassCase> cases;
  for (const FormatRow& row : Formats()) {
    PassCase c{&row, "", 2};
    if (auto it = classic.find(row.command); it != classic.end()) {
      c.fixture = it->second.fixture;
      c.minFrames = it->second.minFrames;
    }
    if (c.fixture.empty()) c.fixture = SmallestFixture(std::string(row.extension));
    cases.push_back(c);
  }
  return cases;
}

std::string Summary(const PassCase& c, int written) {
  return std::string("2個の") + std::string(c.row->kind) + "を発見。うち" +
         std::to_string(written) + "個を抽出しました";
}

const FileOp kOps[] = {FileOp::Open,       FileOp::Create,     FileOp::Seek, FileOp::Read,
                       FileOp::Write,      FileOp::Close,      FileOp::Size, FileOp::Rename,
                       FileOp::KernelCopy, FileOp::MakeFolder, FileOp::Look};

const char* OpName(FileOp op) {
  static const char* const names[] = {"open",        "create",      "seek", "read",
                                      "write",       "close",       "size", "rename",
                                      "kernel copy", "make folder", "list", "look"};
  return names[static_cast<int>(op)];
}

// The files of `folder` other than the input, in name order.
std::vector<std::string> Outputs(const std::string& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename() != "in.bin") names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A pass of `row` run with `env` as the system its files see.
int64_t PassWith(Env& env, Host& host, const FormatRow& row, const std::string& input,
                 const std::string& pattern) {
  RunState run = RunState::PassAlone({}, env);
  return ExtractFormats(host, {&row}, input, pattern, run);
}

// A pump interval as the window and the command line have, so that the walk
// passes over candidates as their runs do; long enough that the clock never
// makes a turn due, which would change what a run reads from one run to the
// next.
constexpr int kUsersPumpInterval = 3600 * 1000;

class FaultWalk : public ::testing::TestWithParam<PassCase> {};

TEST_P(FaultWalk, EveryOperationFailsCleanly) {
  const PassCase& c = GetParam();
  TempDir dir;
  Bytes fixture = Fixture(c.fixture);
  Bytes data = RandomBytes(777, 1);
  Append(data, fixture);
  Append(data, RandomBytes(1000, 2));
  // Any bytes: candidates that a probe rejects, some of them passed over.
  Append(data, RandomBytes(16384, 5, true));
  Append(data, fixture);
  Append(data, RandomBytes(300, 3));
  const std::string input = dir / "in.bin";
  WriteBytes(input, data);
  // The outputs go to a folder of their own, made by the pass where it is
  // not there.
  const std::string folder = dir / "out";
  const std::string pattern = folder + "/%d.out";
  auto pass = [&](Env& env, ScriptHost& host) {
    host.minFrames = c.minFrames;
    host.pumpIntervalMs = kUsersPumpInterval;
    return PassWith(env, host, *c.row, input, pattern);
  };

  // A clean run, and the names of its outputs.
  std::vector<std::string> outputs;
  {
    FaultPlan counter;
    ScriptHost host;
    ASSERT_EQ(pass(counter, host), 2);
    ASSERT_EQ(host.log.back(), Summary(c, 2));
    outputs = Outputs(folder);
  }
  ASSERT_EQ(outputs.size(), 2u);
  for (const std::string& name : outputs) ASSERT_EQ(ReadBytes(name), fixture);
  auto output = [&](int i) { return outputs[i - 1]; };

  const std::string message = std::strerror(EIO);
  int runs = 0;
  std::map<FileOp, int64_t> reached;
  // Over older files of the outputs' names, and under new names in a folder
  // not made yet.
  for (bool over : {true, false}) {
    auto prepare = [&](int64_t n) {
      const Bytes older = RandomBytes(100 + n, 4);
      fs::remove_all(folder);
      if (!over) return older;
      fs::create_directory(folder);
      for (int i = 1; i <= 2; ++i) WriteBytes(output(i), older);
      return older;
    };
    FaultPlan counter;
    {
      prepare(0);
      ScriptHost host;
      ASSERT_EQ(pass(counter, host), 2);
    }
    for (FileOp op : kOps) {
      reached[op] += counter.count(op);
      for (int64_t n = 1; n <= counter.count(op); ++n) {
        SCOPED_TRACE(std::string(c.row->command) + ": " + OpName(op) + " #" + std::to_string(n) +
                     (over ? " over older files" : " under new names"));
        const Bytes older = prepare(n);
        ScriptHost host;
        FaultPlan plan(op, n, EIO);
        const int64_t written = pass(plan, host);
        ++runs;
        ASSERT_TRUE(plan.fired());
        EXPECT_EQ(OpenFileCount(), 0);
        EXPECT_EQ(ReadBytes(input), data);
        for (const std::string& name : Outputs(folder))
          EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
        if (host.boxes.empty()) {
          // A look at the outputs' folder answered "not there": the folder
          // was made, or found made, and the pass went on as a clean one.
          EXPECT_EQ(op, FileOp::Look);
          EXPECT_EQ(written, 2);
          for (int i = 1; i <= 2; ++i) EXPECT_EQ(ReadBytes(output(i)), fixture);
          continue;
        }
        ASSERT_EQ(host.boxes.size(), 1u);
        if (host.boxes[0].type == BoxType::Warning) {
          // The look at the input answered "not there": nothing is carved.
          EXPECT_EQ(op, FileOp::Look);
          EXPECT_EQ(written, 0);
          EXPECT_EQ(Outputs(folder).size(), over ? 2u : 0u);
          for (const std::string& name : Outputs(folder)) EXPECT_EQ(ReadBytes(name), older);
          continue;
        }
        EXPECT_EQ(host.boxes[0].type, BoxType::Error);
        EXPECT_EQ(host.boxes[0].helpContext, kIoOsBase + EIO);
        int failureLines = 0;
        for (const auto& line : host.log) failureLines += line == "* " + message;
        EXPECT_EQ(failureLines, 1);
        if (host.boxes[0].buttons == BoxButtons::AbortIgnore) {
          // A stream failed; Ignore went on and the other stream was written.
          EXPECT_EQ(written, 1);
          EXPECT_EQ(host.boxes[0].text.rfind(message + "\n", 0), 0u);
          // The box does not name the file that failed; the question does.
          const std::string& path = host.boxes[0].path;
          EXPECT_TRUE(path == input || path == folder || path == output(1) || path == output(2))
              << path;
          EXPECT_EQ(host.log.back(), Summary(c, 1));
          int good = 0, kept = 0;
          for (int i = 1; i <= 2; ++i) {
            if (!over && !FileExists(output(i))) {
              ++kept;  // the failed stream left no file
              continue;
            }
            Bytes out = ReadBytes(output(i));
            good += out == fixture;
            kept += out == older;
          }
          EXPECT_EQ(good, 1);
          EXPECT_EQ(kept, 1);
        } else {
          // Set-up or walk: the message alone, and no summary line.
          EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
          EXPECT_EQ(host.boxes[0].text, message);
          EXPECT_EQ(host.boxes[0].path, input);
          EXPECT_EQ(host.log.back(), "* " + message);
        }
      }
    }
  }
  // Every operation is reached, the folder's making under new names only.
  for (FileOp op : kOps) EXPECT_GT(reached[op], 0) << OpName(op);
  EXPECT_GT(runs, 40);
}

// Under a fault plan a run passes over the candidates a users' run passes
// over: a pump that looks at the clock (the window's, the command line's)
// lets the pass rule candidates out without a probe, and so without the
// probe's seek, where a pump due at every step does not.
TEST(FaultWalkPath, CandidatesArePassedOverUnderAPlanAsInUsersRuns) {
  const struct {
    std::string_view command;
    const char* fixture;
  } rows[] = {{"mp3", "mpeg1_cbr128.mp3"}, {"mp2", nullptr}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.command));
    const auto row = std::find_if(Formats().begin(), Formats().end(),
                                  [&](const FormatRow& f) { return f.command == r.command; });
    ASSERT_NE(row, Formats().end());
    TempDir dir;
    Bytes data = RandomBytes(65536, 6, true);
    Append(data, Fixture(r.fixture ? r.fixture : SmallestFixture(std::string(row->extension))));
    WriteBytes(dir / "in.bin", data);
    auto probes = [&](int pumpIntervalMs) {
      ScriptHost host;
      host.minFrames = 2;
      host.pumpIntervalMs = pumpIntervalMs;
      FaultPlan counter;
      RunState run = RunState::PassAlone({}, counter);
      ProbeCounter carver(row->make(host));
      EXPECT_EQ(RunScanPasses(host, {{&*row, &carver}}, dir / "in.bin", dir / "%d.out", run), 1);
      return carver.probes;
    };
    EXPECT_LT(probes(kUsersPumpInterval), probes(0));
  }
}

ScriptHost* g_cancelling = nullptr;  // the host a fault plan's action cancels

// A run cancelled while a long stream is copied stops the copy within a few
// MiB, shows no box, and leaves under the stream's name what was there.
TEST(FaultWalkPath, ACancelStopsALongCopy) {
  constexpr int64_t kData = 24 * 1024 * 1024;
  Bytes wave = Slice(Fixture("wave_u8_mono.wav"), 0, 44);
  const auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) wave[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(4, 36 + kData);
  put32(40, kData);
  Append(wave, RandomBytes(kData, 12, true));
  const struct {
    const char* what;
    bool over;  // an older file holds the name
  } cases[] = {{"a new name", false}, {"over an older file", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Bytes data = RandomBytes(500, 1);
    Append(data, wave);
    WriteBytes(dir / "in.bin", data);
    const Bytes older = RandomBytes(300, 4);
    if (c.over) WriteBytes(dir / "1.wav", older);
    ScriptHost host;
    g_cancelling = &host;
    // The third write of the copy cancels the run.
    FaultPlan plan(FileOp::Write, 3, 0);
    plan.setAction([] { g_cancelling->running = false; });
    EXPECT_EQ(PassWith(plan, host, *FindFormat("wav"), dir / "in.bin", dir / "%d.wav"), 0);
    EXPECT_TRUE(plan.fired());
    // Each write is a block of 64 KiB at most: a check every 4 MiB.
    const int64_t checkEvery = InputFile::kCopyCheck / FaultPlan::kCopyBlock;
    EXPECT_LE(plan.count(FileOp::Write), 3 + checkEvery);
    EXPECT_TRUE(host.boxes.empty());
    ASSERT_EQ(host.streams.size(), 1u);
    EXPECT_EQ(host.streams[0].status, StreamReport::Status::Failed);
    EXPECT_EQ(host.streams[0].error, "キャンセルしました");
    EXPECT_EQ(FileExists(dir / "1.wav"), c.over);
    if (c.over) {
      EXPECT_EQ(ReadBytes(dir / "1.wav"), older);
    }
    EXPECT_EQ(Outputs(dir.path()).size(), c.over ? 1u : 0u);  // no temporary file either
    EXPECT_EQ(OpenFileCount(), 0);
  }
  g_cancelling = nullptr;
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FaultWalk, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.row->command); });

}  // namespace
