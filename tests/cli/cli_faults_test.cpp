// The checksum command with every file operation made to fail in turn, and
// the command line given inputs that are not plain files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "cli/cli_run.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "support/test_files.h"

namespace {

struct Result {
  int status;
  std::string out, err;
};

Result Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = RunCliCommand(args, out, err, {});
  return {status, out.str(), err.str()};
}

TEST(CliFaults, EveryChecksumOperationFailsCleanly) {
  TempDir dir;
  // Large enough for several reads, and two inputs.
  WriteBytes(dir / "a.bin", RandomBytes(300000, 1, true));
  WriteBytes(dir / "b.bin", RandomBytes(1000, 2, true));
  const std::vector<std::string> args = {"crc", dir / "a.bin", dir / "b.bin"};

  FaultPlan counter;
  Result clean;
  {
    FaultScope scope(counter);
    clean = Cli(args);
  }
  ASSERT_EQ(clean.status, 0);
  ASSERT_EQ(clean.out.size(), std::string("XXXXXXXX, XXXXXXXX\n").size());

  const std::string message = std::strerror(EIO);
  int runs = 0;
  for (FileOp op : {FileOp::Open, FileOp::Seek, FileOp::Read, FileOp::Size, FileOp::Close}) {
    for (int64_t n = 1; n <= counter.count(op); ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(op)) + " #" + std::to_string(n));
      FaultPlan plan(op, n, EIO);
      Result r;
      {
        FaultScope scope(plan);
        r = Cli(args);
      }
      ++runs;
      ASSERT_TRUE(plan.fired());
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "") << "no partial list";
      EXPECT_NE(r.err.find(message), std::string::npos);
      EXPECT_EQ(File::OpenCount(), 0);
    }
  }
  EXPECT_GT(runs, 5);
}

TEST(CliFaults, DirectoriesSpecialAndVanishedInputsAreReportedAndTheNextIsScanned) {
  TempDir dir;
  Bytes data = RandomBytes(5000, 3);
  Append(data, Fixture("mpeg1_cbr128.mp3"));
  WriteBytes(dir / "good.bin", data);
  Result r = Cli({"mp3", "-o", dir / "out/%3.3d.mp3", dir.path(), "/dev/null", dir / "gone.bin",
                  dir / "good.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("入力ファイルが存在しません(" + dir.path() + ")"), std::string::npos);
  EXPECT_NE(r.err.find("Not a regular file"), std::string::npos);
  EXPECT_NE(r.err.find("入力ファイルが存在しません(" + dir / "gone.bin" + ")"), std::string::npos);
  EXPECT_NE(r.out.find("* Not a regular file"), std::string::npos);
  EXPECT_NE(r.out.find("1個のmp3を発見。うち1個を抽出しました"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), Fixture("mpeg1_cbr128.mp3"));
  EXPECT_EQ(ReadBytes(dir / "good.bin"), data);

  Result crc = Cli({"crc", "/dev/null"});
  EXPECT_EQ(crc.status, 1);
  EXPECT_NE(crc.err.find("Not a regular file"), std::string::npos);
}

}  // namespace
