// Inputs that are not plain small files: huge sparse files with streams past
// the 4 GiB mark, directories, special files, unreadable files and files that
// vanish or shrink while they are scanned.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "carve/engine/extract.h"
#include "carve/engine/formats.h"
#include "carve/engine/run_state.h"
#include "platform/descriptor.h"
#include "platform/io_error.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

void WriteAt(int fd, int64_t offset, const Bytes& bytes) {
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
}

class HugeInput : public ::testing::Test {
 protected:
  static constexpr int64_t kFourGiB = int64_t{1} << 32;
  static constexpr int64_t kSize = kFourGiB + 0x200000;
  static constexpr int64_t kMp3At = kFourGiB + 0x123;
  static constexpr int64_t kOggAt = kFourGiB + 0x10001;
  static constexpr int64_t kWavAt = kFourGiB + 0x20003;
  static constexpr int64_t kEarlyWavAt = kFourGiB - 0x3000000;  // before the 99% mark

  void SetUp() override {
    input_ = dir_ / "huge.bin";
    int fd = ::open(input_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    WriteAt(fd, kMp3At, Fixture("mpeg1_cbr128.mp3"));
    WriteAt(fd, kOggAt, Fixture("vorbis_stereo.ogg"));
    WriteAt(fd, kWavAt, Fixture("wave_u8_mono.wav"));
    WriteAt(fd, kEarlyWavAt, Fixture("wave_s16_stereo.wav"));
    ::close(fd);
  }

  TempDir dir_;
  std::string input_;
};

TEST_F(HugeInput, StreamsPastFourGiBAreFoundLoggedWideAndCopiedExactly) {
  // The MP3 pass walks the whole file.
  ScriptHost mp3;
  EXPECT_EQ(ExtractMp3(mp3, input_, dir_ / "%d.mp3"), 1);
  ASSERT_EQ(mp3.log.size(), 3u);
  EXPECT_EQ(mp3.log[1].substr(0, 28), "[001($100000123-$1000017FC)]");
  EXPECT_EQ(ReadBytes(dir_ / "1.mp3"), Fixture("mpeg1_cbr128.mp3"));

  // The Ogg and WAVE passes scan the last percent only: the window starts at
  // 99 × (size div 100), past the early WAVE file.
  ScriptHost ogg;
  ogg.limitRange = true;
  ogg.lower = 99;
  ogg.upper = 100;
  ogg.minFrames = 2;
  EXPECT_EQ(ExtractOgg(ogg, input_, dir_ / "%d.xxx"), 1);
  EXPECT_EQ(ogg.log[1].substr(0, 28), "[001($100010001-$1000111B1)]");
  EXPECT_EQ(ReadBytes(dir_ / "1.ogg"), Fixture("vorbis_stereo.ogg"));

  ScriptHost wav = ogg;
  wav.log.clear();
  EXPECT_EQ(ExtractWav(wav, input_, dir_ / "%d.xxx"), 1);
  EXPECT_EQ(wav.log[1], "[001($100020003-$10002034E)] RIFF Wav");
  EXPECT_EQ(ReadBytes(dir_ / "1.wav"), Fixture("wave_u8_mono.wav"));

  // With the window from 98% the early WAVE file is found too.
  ScriptHost wider = wav;
  wider.log.clear();
  wider.lower = 98;
  EXPECT_EQ(ExtractWav(wider, input_, dir_ / "w%d.xxx"), 2);
  EXPECT_EQ(ReadBytes(dir_ / "w1.wav"), Fixture("wave_s16_stereo.wav"));
}

TEST(AwkwardInputs, DirectoriesAndSpecialFilesGiveAClearErrorAndTheNextInputIsScanned) {
  TempDir dir;
  Bytes data = RandomBytes(1000, 5);
  Append(data, Fixture("wave_u8_mono.wav"));
  WriteBytes(dir / "good.bin", data);
  std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  ScriptHost host;
  for (const std::string& input : {dir.path(), std::string("/dev/null"), fifo, dir / "good.bin"})
    ExtractWav(host, input, dir / "%d.xxx");
  ASSERT_EQ(host.boxes.size(), 3u);
  EXPECT_EQ(host.boxes[0].text, "入力ファイルが存在しません(" + dir.path() + ")");
  EXPECT_EQ(host.boxes[1].text, "Not a regular file");
  EXPECT_EQ(host.boxes[2].text, "Not a regular file");
  EXPECT_EQ(host.log.back(), "1個のwavを発見。うち1個を抽出しました");
  EXPECT_EQ(ReadBytes(dir / "1.wav"), Fixture("wave_u8_mono.wav"));
  EXPECT_EQ(OpenFileCount(), 0);
}

TEST(AwkwardInputs, AnUnreadableFileIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  WriteBytes(dir / "locked.bin", RandomBytes(100, 1));
  ::chmod((dir / "locked.bin").c_str(), 0);
  ScriptHost host;
  ExtractMp3(host, dir / "locked.bin", dir / "%d.mp3");
  EXPECT_EQ(host.log.back(), "* File access denied");
  ASSERT_EQ(host.boxes.size(), 1u);
}

TEST(AwkwardInputs, AFileThatVanishesOrShrinksDuringTheScan) {
  TempDir dir;
  Bytes data = RandomBytes(200000, 9);
  Append(data, Fixture("wave_u8_mono.wav"));
  const std::string input = dir / "in.bin";

  // Removed while open: the open file stays readable to its end.
  WriteBytes(input, data);
  ScriptHost removed;
  removed.onPump = [&] { ::unlink(input.c_str()); };
  EXPECT_EQ(ExtractWav(removed, input, dir / "%d.xxx"), 1);
  EXPECT_EQ(removed.log.back(), "1個のwavを発見。うち1個を抽出しました");

  // Cut short while open: the walk ends where the data ends, with a summary.
  WriteBytes(input, data);
  ScriptHost shrunk;
  shrunk.onPump = [&] { ::truncate(input.c_str(), 1000); };
  EXPECT_EQ(ExtractWav(shrunk, input, dir / "%d.xxx"), 0);
  EXPECT_EQ(shrunk.log.back(), "Not Found (T-T)");
  EXPECT_TRUE(shrunk.boxes.empty());
  EXPECT_EQ(OpenFileCount(), 0);
}

// An input that loses bytes while a stream of it is being taken: the stream
// fails, no output is left under its name, nothing is copied from what the
// walk still holds of the lost bytes, and the pass ends with the failure of
// its input (no summary), for every format, alone or in `all`, written or
// in a dry run.
TEST(AwkwardInputs, AStreamWhoseInputShrinksUnderItFailsAndEndsThePass) {
  struct Cut {
    const char* what;
    bool toNothing;  // to 0 bytes; otherwise to the middle of the first stream
    bool dryRun;
    bool all;
  };
  const Cut cuts[] = {{"to nothing", true, false, false},
                      {"into the stream", false, false, false},
                      {"to nothing, dry run", true, true, false},
                      {"into the stream, dry run", false, true, false},
                      {"to nothing, in all", true, false, true},
                      {"into the stream, in all, dry run", false, true, true}};
  for (const FormatRow& row : Formats()) {
    const Bytes fixture = Fixture(SmallestFixture(std::string(row.extension)));
    Bytes data = RandomBytes(5001, 21);
    const int64_t at = Append(data, fixture);
    Append(data, RandomBytes(3000, 22));
    Append(data, fixture);
    for (const Cut& cut : cuts) {
      SCOPED_TRACE(std::string(row.command) + ": " + cut.what);
      TempDir dir;
      const std::string input = dir / "in.bin";
      WriteBytes(input, data);
      ScriptHost host;
      host.minFrames = 2;
      const int64_t cutAt = cut.toNothing ? 0 : at + static_cast<int64_t>(fixture.size()) / 2;
      host.onLog = [&](const std::string& line) {
        if (line.starts_with("[001")) {
          ASSERT_EQ(::truncate(input.c_str(), cutAt), 0);
        }
      };
      RunState run = RunState::PassAlone({.dryRun = cut.dryRun});
      const int64_t written =
          ExtractFormats(host, cut.all ? AllFormatRows() : std::vector<const FormatRow*>{&row},
                         input, dir / "%d.out", run);
      EXPECT_EQ(written, 0);
      ASSERT_EQ(host.streams.size(), 1u);
      EXPECT_EQ(host.streams[0].status, StreamReport::Status::Failed);
      EXPECT_EQ(host.streams[0].error, "Input file shrank while it was read");
      EXPECT_GT(host.streams[0].length, 0);
      EXPECT_GE(host.streams[0].outputLength, 0);
      EXPECT_EQ(host.log.back(), "* Input file shrank while it was read");
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
      EXPECT_EQ(host.boxes[0].helpContext, kIoInputShrank);
      EXPECT_TRUE(std::filesystem::is_empty(dir.path()) ||
                  std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()) == 1);
      EXPECT_EQ(OpenFileCount(), 0);
    }
  }
}

}  // namespace
