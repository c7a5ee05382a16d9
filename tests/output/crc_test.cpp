#include "output/crc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "support/test_files.h"

namespace {

uint32_t CrcOf(const std::string& text) { return UpdateCrc(0, text.data(), text.size()); }

struct CrcRun {
  uint32_t crc = 0;
  std::vector<std::string> shown;
  int pumps = 0;
};

// The CRC of a file of `bytes`, with every progress text it showed.
CrcRun RunOnFile(const Bytes& bytes, int64_t startAt = 0) {
  TempDir dir;
  WriteBytes(dir / "input.bin", bytes);
  InputFile file = InputFile::OpenRead(dir / "input.bin");
  file.seek(startAt);
  CrcRun run;
  run.crc = CalcFileCrc(
      file, [&](const std::string& text) { run.shown.push_back(text); }, [&] { ++run.pumps; });
  return run;
}

std::string Progress(const char* value) { return std::string("CRCの計算中...(") + value + "%)"; }

}  // namespace

TEST(UpdateCrc, StandardCheckValues) {
  EXPECT_EQ(CrcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(CrcOf("abc"), 0x352441C2u);
  EXPECT_EQ(CrcOf(""), 0u);
}

TEST(UpdateCrc, PiecesChainIntoTheCrcOfTheWhole) {
  Bytes data = RandomBytes(5000, 11, true);
  uint32_t whole = UpdateCrc(0, data.data(), static_cast<int64_t>(data.size()));
  for (int64_t piece : {1, 7, 512, 4999}) {
    uint32_t crc = 0;
    for (int64_t at = 0; at < static_cast<int64_t>(data.size()); at += piece) {
      int64_t n = std::min<int64_t>(piece, static_cast<int64_t>(data.size()) - at);
      crc = UpdateCrc(crc, data.data() + at, n);
    }
    EXPECT_EQ(crc, whole) << "pieces of " << piece;
  }
}

// The folding ways take the bytes in wide steps after an unaligned head:
// every length around their step sizes, at every alignment, chained onto a
// CRC of earlier bytes, is zlib's CRC-32 of the same bytes.
TEST(UpdateCrc, AgreesWithZlibAtEveryLengthAndAlignment) {
  const Bytes data = RandomBytes(70000, 23, true);
  const struct {
    size_t first, last;  // lengths
  } rows[] = {{0, 80}, {120, 136}, {250, 260}, {1020, 1030}, {4090, 4100}, {65530, 65540}};
  for (const auto& row : rows) {
    for (size_t length = row.first; length <= row.last; ++length) {
      for (size_t align = 0; align < 16; align += (length > 300 ? 5 : 1)) {
        const unsigned char* at = data.data() + align;
        const uint32_t before = static_cast<uint32_t>(crc32(0, data.data() + 69000, 17));
        EXPECT_EQ(UpdateCrc(before, at, static_cast<int64_t>(length)),
                  crc32(before, at, static_cast<uInt>(length)))
            << "length " << length << " at " << align;
      }
    }
  }
}

TEST(UpdateCrc, CountOfZeroOrLessChangesNothing) {
  const char data[] = "abc";
  EXPECT_EQ(UpdateCrc(0x12345678u, data, 0), 0x12345678u);
  EXPECT_EQ(UpdateCrc(0x12345678u, data, -5), 0x12345678u);
}

TEST(CalcFileCrc, ComputesTheWholeFileWhateverThePosition) {
  Bytes data = RandomBytes(300000, 5, true);
  uint32_t expected = UpdateCrc(0, data.data(), static_cast<int64_t>(data.size()));
  CrcRun run = RunOnFile(data, 123456);
  EXPECT_EQ(run.crc, expected);
  EXPECT_GE(run.pumps, 1);

  Bytes abc = {'a', 'b', 'c'};
  EXPECT_EQ(RunOnFile(abc, 3).crc, 0x352441C2u);
}

TEST(CalcFileCrc, EmptyFileHasCrcZeroAndShowsOnlyTheStart) {
  CrcRun run = RunOnFile({});
  EXPECT_EQ(run.crc, 0u);
  EXPECT_EQ(run.shown, std::vector<std::string>{Progress("  0.0")});
  EXPECT_EQ(run.pumps, 0);
}

TEST(CalcFileCrc, SmallFilesShowOnlyZero) {
  for (size_t size : {1, 511, 512}) {
    CrcRun run = RunOnFile(RandomBytes(size, 3, true));
    EXPECT_EQ(run.shown, std::vector<std::string>{Progress("  0.0")}) << size;
  }
}

TEST(CalcFileCrc, ProgressLagsOneBlockBehind) {
  struct Case {
    size_t size;
    const char* last;
  };
  // 1 / 513 * 512000 = 998.05; 3 / 1537 * 512000 = 999.35; 4 / 2049 * 512000 = 999.51.
  for (Case c :
       {Case{513, " 99.8"}, Case{1537, " 99.9"}, Case{2049, "100.0"}, Case{512 * 300 + 1, "100.0"},
        Case{512 * 4000 + 1, "100.0"}, Case{512 * 1000, " 99.9"}}) {
    CrcRun run = RunOnFile(RandomBytes(c.size, 9, true));
    ASSERT_GE(run.shown.size(), 2u) << c.size;
    EXPECT_EQ(run.shown.front(), Progress("  0.0")) << c.size;
    EXPECT_EQ(run.shown.back(), Progress(c.last)) << c.size;
    EXPECT_LE(run.shown.size(), 1001u) << c.size;
    for (size_t i = 1; i < run.shown.size(); ++i) {
      EXPECT_NE(run.shown[i], run.shown[i - 1]) << c.size << " at " << i;
    }
  }
}

TEST(CalcFileCrc, ReadFailureReachesTheCaller) {
  TempDir dir;
  WriteBytes(dir / "input.bin", RandomBytes(2000, 1, true));
  FaultPlan plan(FileOp::Read, 1, EIO);
  InputFile file = InputFile::OpenRead(dir / "input.bin", plan);
  std::vector<std::string> shown;
  EXPECT_THROW(CalcFileCrc(
                   file, [&](const std::string& t) { shown.push_back(t); }, [] {}),
               IoError);
  EXPECT_EQ(shown, std::vector<std::string>{Progress("  0.0")});
}

TEST(CrcListText, EightUpperCaseDigitsJoinedByCommaBlank) {
  EXPECT_EQ(CrcListText({}), "");
  EXPECT_EQ(CrcListText({0}), "00000000");
  EXPECT_EQ(CrcListText({0xabcdef01u}), "ABCDEF01");
  EXPECT_EQ(CrcListText({0x352441C2u, 0x352441C2u}), "352441C2, 352441C2");
  EXPECT_EQ(CrcListText({0x1u, 0xFFFFFFFFu, 0x0u}), "00000001, FFFFFFFF, 00000000");
}
