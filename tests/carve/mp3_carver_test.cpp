// The MP3 pass end to end on the lame-made fixtures embedded in random bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "carve/engine/extract.h"
#include "carve/engine/formats.h"
#include "carve/engine/run_state.h"
#include "output/tag_ini.h"
#include "platform/descriptor.h"
#include "platform/fault.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

// Frames of each fixture: [first, end) within the file (tests/data/README.md).
struct Mp3Fixture {
  const char* name;
  int64_t first, end;
};
const Mp3Fixture kFixtures[] = {
    {"mpeg1_cbr128.mp3", 0, 5850}, {"mpeg1_crc.mp3", 0, 4752}, {"mpeg1_id3.mp3", 238, 6088},
    {"mpeg1_vbr.mp3", 0, 4851},    {"mpeg25_8k.mp3", 0, 792},  {"mpeg25_cbr.mp3", 0, 3133},
    {"mpeg2_vbr.mp3", 0, 2838},
};

struct Mp3Run {
  TempDir dir;
  ScriptHost host;
  Bytes data;
  int64_t written = 0;
  // The run's tag INI file, when it reads one.
  std::optional<TagIni> tagIni;

  std::string input() const { return dir / "in.bin"; }
  Bytes output(int n) const {
    char name[16];
    std::snprintf(name, sizeof name, "%03d.mp3", n);
    return ReadBytes(dir / "out/" + name);
  }
  void go() {
    WriteBytes(input(), data);
    RunState run = RunState::PassAlone();
    if (tagIni) run.holdTagIni(*tagIni);
    written = ExtractFormats(host, {FindFormat("mp3")}, input(), dir / "out/%3.3d.mp3", run);
    EXPECT_EQ(ReadBytes(input()), data) << "the input must never change";
    EXPECT_EQ(OpenFileCount(), 0);
  }
};

std::string Hex(int64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<long long>(v));
  return buf;
}

TEST(Mp3Pass, EveryFixtureIsFoundAndCopiedWithItsTags) {
  Mp3Run run;
  std::vector<int64_t> at;
  uint32_t seed = 1;
  for (const auto& f : kFixtures) {
    Append(run.data, RandomBytes(1000 + 37 * seed, seed));  // unaligned offsets
    at.push_back(Append(run.data, Fixture(f.name)));
    ++seed;
  }
  Append(run.data, RandomBytes(777, 99));
  run.go();
  ASSERT_EQ(run.written, 7);
  for (size_t i = 0; i < std::size(kFixtures); ++i) {
    SCOPED_TRACE(kFixtures[i].name);
    EXPECT_EQ(run.output(static_cast<int>(i + 1)), Fixture(kFixtures[i].name));
    const std::string& line = run.host.log[i + 1];
    EXPECT_EQ(line.substr(0, 26), "[00" + std::to_string(i + 1) + "($" +
                                      Hex(at[i] + kFixtures[i].first) + "-$" +
                                      Hex(at[i] + kFixtures[i].end - 1) + ")]");
  }
  // Whole lines for two of them, computed by hand: 14 frames of 417/418 bytes
  // at 26 ms each give 364 ms and 5850 / 364 × 8 = 128.57 kbit/s.
  EXPECT_EQ(run.host.log[1], "[001($" + Hex(at[0]) + "-$" + Hex(at[0] + 5849) +
                                 ")] mpeg1.0layer3    14Frames 129kbps 44kHz    0.4sec");
  EXPECT_EQ(run.host.log[5], "[005($" + Hex(at[4]) + "-$" + Hex(at[4] + 791) +
                                 ")] mpeg2.5layer3    11Frames   8kbps  8kHz    0.8sec");
  EXPECT_EQ(run.host.log.back(), "7個のmp3を発見。うち7個を抽出しました");
}

TEST(Mp3Pass, TagOptionsDecideTheCopiedRange) {
  const Bytes tagged = Fixture("mpeg1_id3.mp3");
  struct Case {
    bool v1, v2;
    int64_t start, end;
  } cases[] = {{true, true, 0, 6216},
               {false, false, 238, 6088},
               {false, true, 0, 6088},
               {true, false, 238, 6216}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.v1) + std::to_string(c.v2));
    Mp3Run run;
    run.host.copyId3v1 = c.v1;
    run.host.copyId3v2 = c.v2;
    Append(run.data, RandomBytes(501, 3));
    int64_t at = Append(run.data, tagged);
    Append(run.data, RandomBytes(333, 4));
    run.go();
    ASSERT_EQ(run.written, 1);
    EXPECT_EQ(run.output(1), Slice(tagged, c.start, c.end - c.start));
    // The line shows the frames alone, whatever is copied.
    EXPECT_EQ(run.host.log[1].substr(0, 26),
              "[001($" + Hex(at + 238) + "-$" + Hex(at + 6087) + ")]");
  }
}

TEST(Mp3Pass, NewTagsFromTheTagIniFile) {
  // Stream 1 keeps its own tags; stream 2 has a Track2 section: it is copied
  // bare, whatever the copy options say, and gets the new tag.
  TagIni ini = TagIni::Parse(
      "[Default]\nArtist=Someone\nYear=1999\nGenre=Rock\n[Track2]\nTitle=\"Second\"\nTrackNo=2\n");
  const Bytes tagged = Fixture("mpeg1_id3.mp3");
  // With the host's option off, the streams keep their own tags.
  Mp3Run off;
  off.tagIni = ini;
  off.host.tagIniOn = false;
  Append(off.data, RandomBytes(100, 1));
  Append(off.data, tagged);
  Append(off.data, RandomBytes(100, 2));
  Append(off.data, tagged);
  off.go();
  ASSERT_EQ(off.written, 2);
  EXPECT_EQ(off.output(2), tagged);
  Mp3Run run;
  run.tagIni = ini;
  run.data = off.data;
  run.go();
  ASSERT_EQ(run.written, 2);
  EXPECT_EQ(run.output(1), tagged);
  Bytes second = run.output(2);
  ASSERT_EQ(second.size(), 6088u - 238u + 128u);
  EXPECT_EQ(Slice(second, 0, 6088 - 238), Slice(tagged, 238, 6088 - 238));
  Bytes tag = Slice(second, 6088 - 238, 128);
  EXPECT_EQ(std::string(tag.begin(), tag.begin() + 9), "TAGSecond");
  EXPECT_EQ(std::string(tag.begin() + 33, tag.begin() + 40), "Someone");
  EXPECT_EQ(std::string(tag.begin() + 93, tag.begin() + 97), "1999");
  EXPECT_EQ(tag[125], 0);
  EXPECT_EQ(tag[126], 2);
  EXPECT_EQ(tag[127], 17);
}

// Encoders write their header frame (Info) in stereo before joint-stereo
// audio: the classic rules end the run there and the header frame is lost;
// under the split rule the run keeps it.
TEST(Mp3Pass, AStereoHeaderFrameBeforeJointStereoAudioStaysUnderTheSplitRule) {
  Bytes file = Fixture("mpeg1_cbr128.mp3");  // 14 frames, an Info frame of 417 bytes first
  file[3] = 0x04;                            // the Info frame in stereo
  const auto size = static_cast<int64_t>(file.size());
  struct Case {
    bool split;
    int64_t start, length;  // of the one output, in the file
  };
  const Case cases[] = {{false, 417, size - 417}, {true, 0, size}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.split);
    Mp3Run run;
    run.host.splitXing = c.split;
    run.host.copyId3v1 = run.host.copyId3v2 = false;
    Append(run.data, RandomBytes(100, 9));
    Append(run.data, file);
    Append(run.data, RandomBytes(100, 10));
    run.go();
    ASSERT_EQ(run.written, 1);
    EXPECT_EQ(run.output(1), Slice(file, c.start, c.length));
  }
}

// The reservoir rule ends a run at a frame whose side information no
// encoder writes, and keeps every real file whole.
TEST(Mp3Pass, TheReservoirRuleEndsRunsOfFramesNoEncoderWrites) {
  // Four MPEG-2 frames of 144 bytes (32 kbit/s, 16 kHz, stereo) whose side
  // information reaches 188 bytes back, as code in a program repeats them.
  auto frames = [](uint8_t mainDataBegin, bool bigValuesTooMany) {
    Bytes run;
    for (int i = 0; i < 4; ++i) {
      Bytes frame = RandomBytes(144, 20 + i);
      frame[0] = 0xFF, frame[1] = 0xF3, frame[2] = 0x48, frame[3] = 0x0F;
      // The 17 bytes of side information: the reservoir's reach, then no
      // bits in either channel's granule, whose big values are none or 511.
      std::fill(frame.begin() + 4, frame.begin() + 21, 0);
      frame[4] = mainDataBegin;
      if (bigValuesTooMany) frame[6] = 0x03, frame[7] = 0xFE;
      run.insert(run.end(), frame.begin(), frame.end());
    }
    return run;
  };
  struct Case {
    const char* what;
    Bytes run;
    bool taken;  // under the rule
  } cases[] = {
      {"main data reaching before the run", frames(188, false), false},
      {"more than 288 pairs of big values", frames(0, true), false},
      {"an empty reservoir", frames(0, false), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool rule : {false, true}) {
      Mp3Run run;
      run.host.mp3Reservoir = rule;
      Append(run.data, RandomBytes(300, 11));
      Append(run.data, c.run);
      Append(run.data, RandomBytes(300, 12));
      run.go();
      EXPECT_EQ(run.written, !rule || c.taken ? 1 : 0) << rule;
    }
  }
  for (const Mp3Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    Mp3Run run;
    run.host.mp3Reservoir = true;
    run.host.copyId3v1 = run.host.copyId3v2 = false;
    const Bytes file = Fixture(f.name);
    Append(run.data, RandomBytes(300, 13));
    Append(run.data, file);
    Append(run.data, RandomBytes(300, 14));
    run.go();
    ASSERT_EQ(run.written, 1);
    EXPECT_EQ(run.output(1), Slice(file, f.first, f.end - f.first));
  }
}

TEST(Mp3Pass, TheFrameMinimumIsAThreshold) {
  for (int minimum : {14, 15}) {
    Mp3Run run;
    run.host.minFrames = minimum;
    Append(run.data, RandomBytes(300, 5));
    Append(run.data, Fixture("mpeg1_cbr128.mp3"));  // 14 frames
    Append(run.data, RandomBytes(300, 6));
    run.go();
    EXPECT_EQ(run.written, minimum == 14 ? 1 : 0);
    if (minimum == 15) {
      EXPECT_EQ(run.host.log.back(), "Not Found (T-T)");
    }
  }
}

TEST(Mp3Pass, BackToBackCrossingTheWindowAndCutShort) {
  // A change of version ends the first stream; the second begins right after.
  Mp3Run back;
  Append(back.data, RandomBytes(123, 7));
  Append(back.data, Fixture("mpeg1_cbr128.mp3"));
  Append(back.data, Fixture("mpeg2_vbr.mp3"));
  Append(back.data, RandomBytes(50, 8));
  back.go();
  ASSERT_EQ(back.written, 2);
  EXPECT_EQ(back.output(1), Fixture("mpeg1_cbr128.mp3"));
  EXPECT_EQ(back.output(2), Fixture("mpeg2_vbr.mp3"));

  // A stream that starts in the window (the first half) and ends beyond it is
  // copied whole.
  Mp3Run crossing;
  crossing.host.limitRange = true;
  crossing.host.lower = 0;
  crossing.host.upper = 50;
  Append(crossing.data, RandomBytes(8000, 9));
  Append(crossing.data, Fixture("mpeg1_vbr.mp3"));
  Append(crossing.data, RandomBytes(4000, 10));
  crossing.go();
  ASSERT_EQ(crossing.written, 1);
  EXPECT_EQ(crossing.output(1), Fixture("mpeg1_vbr.mp3"));

  // The last frame runs past the end of the input: it counts whole in the
  // line, and the output holds what there is.
  Mp3Run cut;
  Append(cut.data, RandomBytes(64, 11));
  int64_t at = Append(cut.data, Fixture("mpeg1_cbr128.mp3"));
  cut.data.resize(cut.data.size() - 100);
  cut.go();
  ASSERT_EQ(cut.written, 1);
  EXPECT_EQ(cut.output(1), Slice(cut.data, at, 5750));
  EXPECT_EQ(cut.host.log[1].substr(0, 26), "[001($" + Hex(at) + "-$" + Hex(at + 5849) + ")]");
}

TEST(Mp3Pass, BreakOptionsAreReadAtEachComparison) {
  // MPEG-1 then MPEG-2 frames back to back: one stream when a version change
  // does not end it.
  Mp3Run run;
  run.host.sensitizeVersion = false;
  run.host.sensitizeFreq = false;
  run.host.sensitizeChannel = false;
  Append(run.data, RandomBytes(99, 12));
  int64_t at = Append(run.data, Fixture("mpeg1_cbr128.mp3"));
  Append(run.data, Fixture("mpeg2_vbr.mp3"));
  Append(run.data, RandomBytes(99, 13));
  run.go();
  ASSERT_EQ(run.written, 1);
  EXPECT_EQ(run.output(1), Slice(run.data, at, 5850 + 2838));
}

}  // namespace

namespace {

TEST(Mp3Pass, AFullDiskLeavesEarlierOutputsIntact) {
  // The disk fills up while the second stream is written and stays full.
  Mp3Run run;
  Append(run.data, RandomBytes(100, 1));
  Append(run.data, Fixture("mpeg1_cbr128.mp3"));
  Append(run.data, RandomBytes(100, 2));
  Append(run.data, Fixture("mpeg1_vbr.mp3"));
  Append(run.data, RandomBytes(100, 3));
  Append(run.data, Fixture("mpeg2_vbr.mp3"));
  WriteBytes(run.input(), run.data);
  FaultPlan plan(FileOp::Write, 2, ENOSPC, true);
  {
    RunState alone = RunState::PassAlone({}, plan);
    run.written = ExtractFormats(run.host, {FindFormat("mp3")}, run.input(),
                                 run.dir / "out/%3.3d.mp3", alone);
  }
  EXPECT_EQ(run.written, 1);
  EXPECT_EQ(run.output(1), Fixture("mpeg1_cbr128.mp3"));
  ASSERT_EQ(run.host.boxes.size(), 2u);
  EXPECT_EQ(run.host.boxes[0].text, "Disk full\n2番目のファイルの処理中にエラーが起こりました");
  EXPECT_EQ(run.host.log.back(), "3個のmp3を発見。うち1個を抽出しました");
  EXPECT_EQ(ReadBytes(run.input()), run.data);
  EXPECT_EQ(OpenFileCount(), 0);
}

}  // namespace

namespace {

// An ID3v2.3 tag of `length` bytes in all, blank inside.
Bytes BlankId3v2(int64_t length) {
  const int64_t size = length - 10;
  Bytes tag = {'I', 'D', '3', 3, 0, 0};
  for (int shift : {21, 14, 7, 0}) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
  tag.resize(length, 0x00);
  return tag;
}

Bytes Cat(const Bytes& a, const Bytes& b) {
  Bytes all = a;
  Append(all, b);
  return all;
}

TEST(Mp3Pass, FullId3v2RuleTakesLargeTagsWithinItsReachAndNotFromTheStreamBefore) {
  const Bytes frames = Fixture("mpeg1_cbr128.mp3");
  // mpeg1_id3.mp3 with an ID3v2 header in its ID3v1 title that would end at
  // the next stream's first frame.
  Bytes tagged = Fixture("mpeg1_id3.mp3");
  const size_t title = tagged.size() - 125;
  const Bytes inTitle = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 125 - 10};
  std::copy(inTitle.begin(), inTitle.end(), tagged.begin() + static_cast<ptrdiff_t>(title));
  struct Case {
    const char* what;
    std::vector<Bytes> parts;  // with random bytes before the first
    bool full;
    std::vector<Bytes> outputs;
  } cases[] = {
      {"a tag of 16 MiB",
       {BlankId3v2(16 << 20), frames},
       true,
       {Cat(BlankId3v2(16 << 20), frames)}},
      {"a tag of 16 MiB and one byte", {BlankId3v2((16 << 20) + 1), frames}, true, {frames}},
      {"a header in the ID3v1 tag before", {tagged, frames}, true, {tagged, frames}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Mp3Run run;
    run.host.fullId3v2 = c.full;
    Append(run.data, RandomBytes(1001, 21));
    for (const Bytes& part : c.parts) Append(run.data, part);
    Append(run.data, RandomBytes(99, 22));
    run.go();
    ASSERT_EQ(run.written, static_cast<int64_t>(c.outputs.size()));
    for (int i = 1; i <= run.written; ++i) {
      EXPECT_TRUE(run.output(i) == c.outputs[i - 1]) << i;  // too large to print
    }
  }
}

}  // namespace
