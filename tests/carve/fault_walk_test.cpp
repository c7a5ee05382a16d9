// Every file operation of a pass, made to fail in turn: each failure is
// logged once and shown in the box its stage calls for, every file is closed,
// the input is unchanged, and after Ignore the walk goes on to find and write
// the next stream. The older file under the name of a failed stream is left
// as it was, and no temporary file stays behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "carve/extract.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

using PassFn = int64_t (*)(Host&, const std::string&, const std::string&);

struct PassCase {
  const char* name;
  PassFn pass;
  const char* fixture;
  const char* kind;
  const char* ext;  // of the outputs of the pattern "%d.out"
  int minFrames;
};

std::string Summary(const PassCase& c, int written) {
  return std::string("2個の") + c.kind + "を発見。うち" + std::to_string(written) +
         "個を抽出しました";
}

const PassCase kCases[] = {
    {"mp3", ExtractMp3, "mpeg1_cbr128.mp3", "mp3", "out", 4},
    {"ogg", ExtractOgg, "vorbis_mono.ogg", "ogg", "ogg", 2},
    {"wav", ExtractWav, "wave_u8_mono.wav", "wav", "wav", 4},
};

const FileOp kOps[] = {FileOp::Open, FileOp::Create, FileOp::Seek,
                       FileOp::Read, FileOp::Write,  FileOp::Close,
                       FileOp::Size, FileOp::Rename, FileOp::KernelCopy};

const char* OpName(FileOp op) {
  static const char* const names[] = {"open",  "create", "seek",   "read",       "write",
                                      "close", "size",   "rename", "kernel copy"};
  return names[static_cast<int>(op)];
}

class FaultWalk : public ::testing::TestWithParam<PassCase> {};

TEST_P(FaultWalk, EveryOperationFailsCleanly) {
  const PassCase& c = GetParam();
  TempDir dir;
  Bytes fixture = Fixture(c.fixture);
  Bytes data = RandomBytes(777, 1);
  Append(data, fixture);
  Append(data, RandomBytes(1000, 2));
  Append(data, fixture);
  Append(data, RandomBytes(300, 3));
  const std::string input = dir / "in.bin";
  WriteBytes(input, data);
  const std::string pattern = dir / "%d.out";

  // A clean run, counting the operations.
  FaultPlan counter;
  {
    ScriptHost host;
    host.minFrames = c.minFrames;
    FaultScope scope(counter);
    ASSERT_EQ(c.pass(host, input, pattern), 2);
    ASSERT_EQ(host.log.back(), Summary(c, 2));
  }

  const std::string message = std::strerror(EIO);
  int runs = 0;
  // Over older files of the outputs' names, and under new names.
  for (bool over : {true, false}) {
    for (FileOp op : kOps) {
      for (int64_t n = 1; n <= counter.count(op); ++n) {
        SCOPED_TRACE(std::string(c.name) + ": " + OpName(op) + " #" + std::to_string(n) +
                     (over ? " over older files" : " under new names"));
        auto output = [&](int i) { return dir / (std::to_string(i) + "." + c.ext); };
        const Bytes older = RandomBytes(100 + n, 4);
        for (int i = 1; i <= 2; ++i) {
          if (over) {
            WriteBytes(output(i), older);
          } else {
            std::filesystem::remove(output(i));
          }
        }
        ScriptHost host;
        host.minFrames = c.minFrames;
        FaultPlan plan(op, n, EIO);
        int64_t written;
        {
          FaultScope scope(plan);
          written = c.pass(host, input, pattern);
        }
        ++runs;
        ASSERT_TRUE(plan.fired());
        EXPECT_EQ(File::OpenCount(), 0);
        EXPECT_EQ(ReadBytes(input), data);
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].type, BoxType::Error);
        EXPECT_EQ(host.boxes[0].helpContext, kIoOsBase + EIO);
        int failureLines = 0;
        for (const auto& line : host.log) failureLines += line == "* " + message;
        EXPECT_EQ(failureLines, 1);
        if (host.boxes[0].buttons == BoxButtons::AbortIgnore) {
          // A stream failed; Ignore went on and the other stream was written.
          EXPECT_EQ(written, 1);
          EXPECT_EQ(host.boxes[0].text.rfind(message + "\n", 0), 0u);
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
          EXPECT_EQ(host.log.back(), "* " + message);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
          EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
      }
    }
  }
  EXPECT_GT(runs, 40);
}

INSTANTIATE_TEST_SUITE_P(Passes, FaultWalk, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
