#include "carve/formats/mpeg/mpeg_measure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

#include "carve/engine/input_view.h"
#include "carve/formats/mpeg/mpeg_header.h"
#include "platform/fault.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

struct HeaderBytes {
  uint8_t b1, b2, b3;
};

// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes, 26 ms.
constexpr HeaderBytes kJoint{0xFB, 0x90, 0x44};
// The same with the padding bit: 418 bytes, 26 ms.
constexpr HeaderBytes kJointPadded{0xFB, 0x92, 0x44};
// Each differs from kJoint in one respect.
constexpr HeaderBytes k48kHz{0xFB, 0x94, 0x44};
constexpr HeaderBytes kMpeg2{0xF3, 0x90, 0x44};  // and 22050 Hz
constexpr HeaderBytes kStereo{0xFB, 0x90, 0x04};
constexpr HeaderBytes kWithCrc{0xFA, 0x90, 0x44};

// One frame: its header, then zero bytes up to the length the header gives.
Bytes Frame(HeaderBytes h) {
  Bytes bytes{0xFF, h.b1, h.b2, h.b3};
  TFrameInfo info{};
  if (!DecodeMpegHeader(bytes.data(), info)) throw std::logic_error("not a frame header");
  bytes.resize(info.FrameLength, 0x00);
  return bytes;
}

Bytes Frames(std::initializer_list<HeaderBytes> headers) {
  Bytes out;
  for (const auto& h : headers) Append(out, Frame(h));
  return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// An ID3v2 header with the four size bytes given as they stand.
Bytes Id3v2Header(uint8_t s1, uint8_t s2, uint8_t s3, uint8_t s4) {
  return {'I', 'D', '3', 0x03, 0x00, 0x00, s1, s2, s3, s4};
}

// A whole ID3v2 tag: header with a synchsafe size, then `size` zero bytes.
Bytes Id3v2Tag(uint32_t size) {
  Bytes tag =
      Id3v2Header((size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F);
  tag.resize(10 + size, 0x00);
  return tag;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) Append(out, p);
  return out;
}

struct Measured {
  int64_t count;
  TStreamInfo info;
};

// Writes `bytes` to a file, measures the run at `start` and checks that the
// file is left at `start` again.
Measured MeasureAt(const Bytes& bytes, int64_t start, Host& host, int64_t tagSearchMinCount = 2) {
  TempDir dir;
  WriteBytes(dir / "input.bin", bytes);
  InputView input(InputFile::OpenRead(dir / "input.bin"));
  Measured m{};
  std::memset(&m.info, 0xA5, sizeof m.info);  // every field must be overwritten
  m.count = MeasureMp3Stream(host, input, start, m.info, tagSearchMinCount);
  return m;
}

Measured MeasureAt(const Bytes& bytes, int64_t start) {
  ScriptHost host;
  return MeasureAt(bytes, start, host);
}

void ExpectInfo(const TStreamInfo& a, const TStreamInfo& e) {
  EXPECT_EQ(a.MpegVersion, e.MpegVersion);
  EXPECT_EQ(a.Layer, e.Layer);
  EXPECT_EQ(a.CrcProtected, e.CrcProtected);
  EXPECT_EQ(a.Bitrate, e.Bitrate);
  EXPECT_EQ(a.SampleRate, e.SampleRate);
  EXPECT_EQ(a.ChannelMode, e.ChannelMode);
  EXPECT_EQ(a.StreamLength, e.StreamLength);
  EXPECT_EQ(a.TotalDuration, e.TotalDuration);
  EXPECT_EQ(a.HasID3v1, e.HasID3v1);
  EXPECT_EQ(a.HasID3v2, e.HasID3v2);
  EXPECT_EQ(a.ID3v2Size, e.ID3v2Size);
}

}  // namespace

TEST(MpegMeasure, ThreeFramesGiveLengthDurationAndRoundedAverageBitRate) {
  Bytes bytes(100, 0x00);
  Append(bytes, Frames({kJointPadded, kJoint, kJointPadded}));
  Append(bytes, Bytes(50, 0x00));
  Measured m = MeasureAt(bytes, 100);
  EXPECT_EQ(m.count, 3);
  // 1253 bytes in 78 ms is 128.51 kbit/s.
  ExpectInfo(m.info, {.MpegVersion = 10,
                      .Layer = 3,
                      .CrcProtected = 0,
                      .Bitrate = 129,
                      .SampleRate = 44100,
                      .ChannelMode = 1,
                      .StreamLength = 1253,
                      .TotalDuration = 78,
                      .HasID3v1 = 0,
                      .HasID3v2 = 0,
                      .ID3v2Size = 0});
}

TEST(MpegMeasure, NoHeaderAtTheStartMeasuresNothing) {
  const Bytes cases[] = {
      Bytes(64, 0x00),                                                             // no sync
      Cat({Bytes(10, 0x00), {0xFF, 0xFD, 0x90, 0x64}, Frames({kJoint, kJoint})}),  // Layer II
      Cat({Bytes(10, 0x00), {0xFF, 0xFB, 0x90}}),                          // three bytes left
      Cat({Bytes(10, 0x00), {0xFF, 0xFB, 0x00, 0x44}, Bytes(500, 0x00)}),  // free format
  };
  for (const Bytes& bytes : cases) {
    Measured m = MeasureAt(bytes, 10);
    EXPECT_EQ(m.count, 0);
    ExpectInfo(m.info, {});
  }
}

TEST(MpegMeasure, OneFrameKeepsItsFormatAndDurationButNoLengthRateOrTags) {
  // A matching ID3v2 tag before and "TAG" after are not looked for.
  Bytes bytes = Cat({Id3v2Tag(1014), Frames({kWithCrc}), Text("TAG"), Bytes(125, ' ')});
  Measured m = MeasureAt(bytes, 1024);
  EXPECT_EQ(m.count, 1);
  ExpectInfo(m.info, {.MpegVersion = 10,
                      .Layer = 3,
                      .CrcProtected = 1,
                      .Bitrate = 0,
                      .SampleRate = 44100,
                      .ChannelMode = 1,
                      .StreamLength = 0,
                      .TotalDuration = 26,
                      .HasID3v1 = 0,
                      .HasID3v2 = 0,
                      .ID3v2Size = 0});
}

TEST(MpegMeasure, EachOptionLetsItsKindOfChangeEndTheRun) {
  struct Case {
    const char* name;
    HeaderBytes changed;
    bool ScriptHost::*option;
  };
  const Case cases[] = {
      {"sample rate", k48kHz, &ScriptHost::sensitizeFreq},
      {"version", kMpeg2, &ScriptHost::sensitizeVersion},
      {"channel mode", kStereo, &ScriptHost::sensitizeChannel},
      {"CRC", kWithCrc, &ScriptHost::sensitizeCrc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The changed frame sits between frames like the first, which stay
    // consistent with the first frame whether or not it is counted.
    Bytes bytes = Frames({kJoint, kJointPadded, c.changed, kJoint, kJoint});
    Append(bytes, Bytes(7, 0x00));
    TFrameInfo changed{};
    ASSERT_TRUE(DecodeMpegHeader(Frame(c.changed).data(), changed));

    for (bool allOthersOn : {true, false}) {
      ScriptHost host;
      host.sensitizeFreq = host.sensitizeVersion = host.sensitizeChannel = host.sensitizeCrc =
          allOthersOn;
      // An MPEG-2 frame always has another sample rate as well.
      if (c.option == &ScriptHost::sensitizeVersion) host.sensitizeFreq = false;

      host.*(c.option) = true;
      Measured on = MeasureAt(bytes, 0, host);
      EXPECT_EQ(on.count, 2);
      EXPECT_EQ(on.info.StreamLength, 835);
      EXPECT_EQ(on.info.TotalDuration, 52);

      host.*(c.option) = false;
      Measured off = MeasureAt(bytes, 0, host);
      EXPECT_EQ(off.count, 5);
      EXPECT_EQ(off.info.StreamLength, 417 * 3 + 418 + changed.FrameLength);
      EXPECT_EQ(off.info.TotalDuration, 26 * 4 + changed.Duration);
      // The format fields are those of the first frame.
      EXPECT_EQ(off.info.SampleRate, 44100);
      EXPECT_EQ(off.info.MpegVersion, 10);
      EXPECT_EQ(off.info.ChannelMode, 1);
      EXPECT_EQ(off.info.CrcProtected, 0);
    }
  }
}

TEST(MpegMeasure, FramesAreComparedWithTheFirstAndOptionsReadAtEachComparison) {
  // The sample-rate option is off at the first comparison and on from then
  // on: the 48000 Hz frame is counted, the return to 44100 Hz matches the
  // first frame again, and the next 48000 Hz frame ends the run.
  struct FlippingHost : ScriptHost {
    std::deque<bool> freqAnswers{false};
    int Setting(SettingId id) override {
      if (id != SettingId::BreakOnFreq) return ScriptHost::Setting(id);
      if (freqAnswers.empty()) return true;
      bool answer = freqAnswers.front();
      freqAnswers.pop_front();
      return answer;
    }
  } host;
  Bytes bytes = Frames({kJoint, k48kHz, kJoint, k48kHz, kJoint});
  Measured m = MeasureAt(bytes, 0, host);
  EXPECT_EQ(m.count, 3);
  EXPECT_EQ(m.info.SampleRate, 44100);
  EXPECT_EQ(m.info.StreamLength, 417 + 384 + 417);
}

TEST(MpegMeasure, RunEndsAtTheFileEndWithoutError) {
  Bytes two = Frames({kJointPadded, kJointPadded});
  // A last frame cut short by the end of the file is counted whole, so the
  // run's length reaches past the end.
  Bytes cut = Cat({two, Slice(Frame(kJointPadded), 0, 100)});
  Measured m = MeasureAt(cut, 0);
  EXPECT_EQ(m.count, 3);
  EXPECT_EQ(m.info.StreamLength, 3 * 418);
  EXPECT_GT(m.info.StreamLength, static_cast<int64_t>(cut.size()));
  EXPECT_EQ(m.info.TotalDuration, 78);
  // Fewer than four bytes at a frame position end the run there.
  for (size_t tail = 0; tail < 4; ++tail) {
    Bytes bytes = Cat({two, Slice(Frame(kJoint), 0, static_cast<int64_t>(tail))});
    Measured n = MeasureAt(bytes, 0);
    EXPECT_EQ(n.count, 2) << tail;
    EXPECT_EQ(n.info.StreamLength, 836) << tail;
    EXPECT_EQ(n.info.HasID3v1, 0) << tail;
  }
}

TEST(MpegMeasure, TagRightAfterTheRunIsAnId3v1Tag) {
  const Bytes run = Frames({kJoint, kJoint, kJointPadded});
  struct Case {
    Bytes after;
    uint8_t expected;
  };
  const Case cases[] = {
      {Cat({Text("TAG"), Bytes(125, ' ')}), 1},
      {Text("TAG"), 1},  // the read at the end delivers exactly three bytes
      {Text("TA"), 0},
      {Text("T"), 0},
      {Cat({Text("tag"), Bytes(125, ' ')}), 0},
      {Cat({Text(" TAG"), Bytes(124, ' ')}), 0},
  };
  for (const Case& c : cases) {
    Measured m = MeasureAt(Cat({Bytes(30, 0x00), run, c.after}), 30);
    EXPECT_EQ(m.count, 3);
    EXPECT_EQ(m.info.StreamLength, 1252);
    EXPECT_EQ(m.info.HasID3v1, c.expected) << std::string(c.after.begin(), c.after.end());
  }
}

TEST(MpegMeasure, Id3v2TagEndingAtTheRunIsFound) {
  const Bytes run = Frames({kJoint, kJoint});
  Measured m = MeasureAt(Cat({Id3v2Tag(1014), run}), 1024);
  ASSERT_EQ(m.count, 2);
  EXPECT_EQ(m.info.HasID3v2, 1);
  EXPECT_EQ(m.info.ID3v2Size, 1024);

  // One stray byte between tag and run: the tag does not end at the run.
  m = MeasureAt(Cat({Id3v2Tag(1014), {0x00}, run}), 1025);
  EXPECT_EQ(m.info.HasID3v2, 0);
  EXPECT_EQ(m.info.ID3v2Size, 0);

  // Version, flags and the first two size bytes are not looked at: size
  // bytes 05 06 07 76 are taken as 07 76.
  Bytes odd = Id3v2Tag(1014);
  odd[3] = odd[4] = odd[5] = 0xFF;
  odd[6] = 0x05;
  odd[7] = 0x06;
  m = MeasureAt(Cat({odd, run}), 1024);
  EXPECT_EQ(m.info.HasID3v2, 1);
  EXPECT_EQ(m.info.ID3v2Size, 1024);

  // Deep inside a file the window is the 32 KiB before the run.
  Bytes deep = RandomBytes(40000, 7);
  int64_t start = Append(deep, Id3v2Tag(500)) + 510;
  Append(deep, run);
  m = MeasureAt(deep, start);
  EXPECT_EQ(m.info.HasID3v2, 1);
  EXPECT_EQ(m.info.ID3v2Size, 510);
}

TEST(MpegMeasure, Id3v2TagsTheSearchCannotSee) {
  const Bytes run = Frames({kJoint, kJoint});
  auto found = [&](const Bytes& before) {
    Measured m = MeasureAt(Cat({before, run}), static_cast<int64_t>(before.size()));
    EXPECT_EQ(m.count, 2);
    EXPECT_EQ(m.info.HasID3v2 != 0, m.info.ID3v2Size != 0);
    return m.info.ID3v2Size;
  };
  // Size 16384 is 00 01 00 00: its last two size bytes say 0.
  EXPECT_EQ(found(Id3v2Tag(16384)), 0);
  EXPECT_EQ(found(Cat({Bytes(100, 0x00), Id3v2Tag(16383)})), 16393);
  // A tag of size 0 right before the run starts at start - 10, outside the
  // search; so does every tag before a run at offset 10 or less.
  EXPECT_EQ(found(Cat({Bytes(100, 0x00), Id3v2Tag(0)})), 0);
  EXPECT_EQ(found(Id3v2Tag(0)), 0);
  EXPECT_EQ(found(Text("ID3\x03")), 0);
  EXPECT_EQ(found({}), 0);
  // A size byte with bit 7 set is refused even when the sum would match:
  // 00 80 is 128, as 01 00 is.
  EXPECT_EQ(found(Cat({Id3v2Header(0, 0, 0x00, 0x80), Bytes(128, 0x00)})), 0);
  EXPECT_EQ(found(Cat({Id3v2Header(0, 0, 0x01, 0x00), Bytes(128, 0x00)})), 138);
}

TEST(MpegMeasure, Id3v2SearchConsumesBytesAsASingleByteReaderWould) {
  const Bytes run = Frames({kJoint, kJoint});
  auto found = [&](const Bytes& before) {
    Measured m = MeasureAt(Cat({before, run}), static_cast<int64_t>(before.size()));
    EXPECT_EQ(m.count, 2);
    return m.info.ID3v2Size;
  };
  const Bytes tag = Id3v2Tag(1014);
  // "I" "ID3...": the tag's "I" is consumed as the would-be "D".
  EXPECT_EQ(found(Cat({Text("I"), tag})), 0);
  EXPECT_EQ(found(Cat({Text("X"), tag})), 1024);
  EXPECT_EQ(found(Cat({Text("DI"), tag})), 0);
  // After "ID" the next eight bytes are consumed even when the first is not
  // "3": a tag starting among them is missed, one starting after them is not.
  for (int gap = 0; gap < 8; ++gap)
    EXPECT_EQ(found(Cat({Text("ID"), Bytes(gap, 'x'), tag})), 0) << gap;
  EXPECT_EQ(found(Cat({Text("IDxxxxxxxx"), tag})), 1024);
  // A header whose own size does not match still consumes ten bytes.
  EXPECT_EQ(found(Cat({Id3v2Header(0, 0, 0, 0x70), tag})), 1024);
  EXPECT_EQ(found(Cat({Slice(Id3v2Header(0, 0, 0, 0x70), 0, 6), tag})), 0);
  // Nested tags that both end at the run: the later match wins.
  Bytes outer = Id3v2Tag(1014);
  Bytes inner = Id3v2Tag(514);
  std::copy(inner.begin(), inner.end(), outer.end() - static_cast<int64_t>(inner.size()));
  EXPECT_EQ(found(outer), 524);
}

TEST(MpegMeasure, Id3v2SearchOnlyForRunsThatReachTheMinimumCount) {
  const Bytes bytes =
      Cat({Id3v2Tag(1014), Frames({kJoint, kJoint, kJoint}), Text("TAG"), Bytes(125, 0)});
  for (int64_t minCount : {-1, 0, 1, 2, 3, 4, 1000}) {
    SCOPED_TRACE(minCount);
    ScriptHost host;
    Measured m = MeasureAt(bytes, 1024, host, minCount);
    EXPECT_EQ(m.count, 3);
    bool searched = minCount <= 3;
    EXPECT_EQ(m.info.HasID3v2, searched ? 1 : 0);
    EXPECT_EQ(m.info.ID3v2Size, searched ? 1024 : 0);
    // The rest of the record does not depend on the search.
    EXPECT_EQ(m.info.StreamLength, 1251);
    EXPECT_EQ(m.info.Bitrate, 128);
    EXPECT_EQ(m.info.HasID3v1, 1);
  }
}

TEST(MpegMeasure, FailingFileOperationLeavesAtOnce) {
  TempDir dir;
  WriteBytes(dir / "input.bin", Cat({Id3v2Tag(1014), Frames({kJoint, kJoint, kJoint})}));
  // The run's read, then the read of the bytes before it for a tag.
  for (int64_t nth : {1, 2}) {
    FaultPlan plan(FileOp::Read, nth, EIO);
    InputView input(InputFile::OpenRead(dir / "input.bin", plan));
    ScriptHost host;
    TStreamInfo info{};
    EXPECT_THROW(MeasureMp3Stream(host, input, 1024, info), IoError);
    EXPECT_TRUE(plan.fired());
  }
}

TEST(MpegMeasure, EveryFrameOfEachFixtureIsMeasured) {
  // Offsets and counts from the independent frame walk of
  // make_mp3_fixtures.sh (tests/data/README.md).
  struct FixtureFacts {
    const char* name;
    int64_t first, frames, end;
    int32_t version, sampleRate;
    uint8_t crc;
  };
  const FixtureFacts fixtures[] = {
      {"mpeg1_cbr128.mp3", 0, 14, 5850, 10, 44100, 0},
      {"mpeg1_crc.mp3", 0, 11, 4752, 10, 32000, 1},
      {"mpeg1_id3.mp3", 238, 14, 6088, 10, 44100, 0},
      {"mpeg1_vbr.mp3", 0, 14, 4851, 10, 44100, 0},
      {"mpeg25_8k.mp3", 0, 11, 792, 25, 8000, 0},
      {"mpeg25_cbr.mp3", 0, 15, 3133, 25, 11025, 0},
      {"mpeg2_vbr.mp3", 0, 23, 2838, 20, 22050, 0},
  };
  for (const auto& f : fixtures) {
    SCOPED_TRACE(f.name);
    const Bytes file = Fixture(f.name);
    const bool hasId3v1 = f.end < static_cast<int64_t>(file.size());
    ASSERT_EQ(static_cast<int64_t>(file.size()), f.end + (hasId3v1 ? 128 : 0));
    // As committed, and embedded at an odd offset in other bytes.
    Bytes embedded = RandomBytes(3001, 11);
    const int64_t at = Append(embedded, file);
    Append(embedded, RandomBytes(777, 12));
    for (auto [bytes, offset] : {std::pair{file, int64_t{0}}, std::pair{embedded, at}}) {
      Measured m = MeasureAt(bytes, offset + f.first);
      EXPECT_EQ(m.count, f.frames);
      EXPECT_EQ(m.info.StreamLength, f.end - f.first);
      EXPECT_EQ(m.info.MpegVersion, f.version);
      EXPECT_EQ(m.info.SampleRate, f.sampleRate);
      EXPECT_EQ(m.info.CrcProtected, f.crc);
      EXPECT_EQ(m.info.HasID3v1, hasId3v1 ? 1 : 0);
      EXPECT_EQ(m.info.HasID3v2, f.first > 0 ? 1 : 0);
      EXPECT_EQ(m.info.ID3v2Size, f.first);
      // Frames last 1152 or 576 samples; each frame's whole-millisecond
      // duration from its byte length is off by at most a millisecond and a half.
      const int64_t samples = f.frames * (f.version == 10 ? 1152 : 576);
      EXPECT_NEAR(m.info.TotalDuration, samples * 1000.0 / f.sampleRate, f.frames * 1.5);
    }
  }
}

namespace {

// A frame of `h` carrying an encoder header `tag` at byte `at`: flags, then
// the frame count.
Bytes HeaderFrame(HeaderBytes h, int at, const char* tag, uint32_t flags, uint32_t frames) {
  Bytes f = Frame(h);
  std::memcpy(&f[at], tag, 4);
  for (int i = 0; i < 4; ++i) {
    f[at + 4 + i] = static_cast<uint8_t>(flags >> (24 - 8 * i));
    f[at + 8 + i] = static_cast<uint8_t>(frames >> (24 - 8 * i));
  }
  return f;
}

int64_t EncoderFrames(const Bytes& frame) {
  TFrameInfo info{};
  EXPECT_TRUE(DecodeMpegHeader(frame.data(), info));
  return EncoderHeaderFrames(frame.data(), static_cast<int64_t>(frame.size()), info);
}

TEST(MpegMeasure, EncoderHeadersAndTheCountsTheyState) {
  // lame's Xing/Info frame states the frames after it: one less than the
  // file holds (counts from the frame walk of make_mp3_fixtures.sh).
  struct LameFile {
    const char* name;
    int64_t frames;  // 0: lame wrote no header frame
  } files[] = {{"mpeg1_cbr128.mp3", 14}, {"mpeg1_crc.mp3", 11},  {"mpeg1_vbr.mp3", 14},
               {"mpeg25_8k.mp3", 0},     {"mpeg25_cbr.mp3", 15}, {"mpeg2_vbr.mp3", 23}};
  for (const LameFile& f : files) {
    SCOPED_TRACE(f.name);
    const Bytes file = Fixture(f.name);
    EXPECT_EQ(EncoderFrames(file), f.frames - 1);
    TFrameInfo first{};
    ASSERT_TRUE(DecodeMpegHeader(file.data(), first));
    // The second frame is audio.
    EXPECT_EQ(EncoderFrames(Slice(file, first.FrameLength, kEncoderHeaderReach)), -1);
  }
  // Built frames: Xing after the side information (and after a CRC), VBRI
  // at byte 36, a header without a frame count, undefined flags.
  EXPECT_EQ(EncoderFrames(HeaderFrame(kJoint, 36, "Xing", 15, 1234)), 1234);
  EXPECT_EQ(EncoderFrames(HeaderFrame(kWithCrc, 38, "Info", 1, 77)), 77);
  EXPECT_EQ(EncoderFrames(HeaderFrame(kMpeg2, 21, "Info", 1, 5)), 5);
  EXPECT_EQ(EncoderFrames(HeaderFrame(kJoint, 36, "Xing", 14, 1234)), 0);
  EXPECT_EQ(EncoderFrames(HeaderFrame(kJoint, 36, "Xing", 16, 1234)), -1);
  EXPECT_EQ(EncoderFrames(HeaderFrame(kJoint, 30, "Xing", 15, 1234)), -1);
  Bytes vbri = Frame(kJoint);
  std::memcpy(&vbri[36], "VBRI", 4);
  vbri[36 + 17] = 99;  // the frame count's last byte
  EXPECT_EQ(EncoderFrames(vbri), 99);
}

TEST(MpegMeasure, SplitRuleEndsRunsAtEncoderHeaders) {
  const Bytes lame = Fixture("mpeg1_cbr128.mp3");  // 14 frames, an Info frame first
  const Bytes plain = Frames({kJoint, kJoint, kJoint});
  const Bytes tag = Cat({Text("TAG"), Bytes(125, 0x20)});
  const Bytes uncounted = HeaderFrame(kJoint, 36, "Xing", 14, 1234);  // of 417 bytes
  // The first five frames of the header file.
  int64_t five = 0;
  for (int i = 0; i < 5; ++i) {
    TFrameInfo info{};
    ASSERT_TRUE(DecodeMpegHeader(&lame[five], info));
    five += info.FrameLength;
  }
  struct Case {
    const char* what;
    Bytes bytes;
    bool split;
    int64_t count, length;
    uint8_t id3v1;
  } cases[] = {
      {"header file, plain frames, rule off", Cat({lame, plain}), false, 17, 5850 + 1251, 0},
      {"header file, plain frames", Cat({lame, plain}), true, 14, 5850, 0},
      {"plain frames, header file", Cat({plain, lame}), true, 3, 1251, 0},
      {"header file, its ID3v1 tag", Cat({lame, tag}), true, 14, 5850, 1},
      {"header file cut short", Cat({Slice(lame, 0, five), Bytes(99, 0x00)}), true, 5, five, 0},
      {"a header of no frame count, plain frames", Cat({uncounted, plain}), true, 4, 4 * 417, 0},
      {"plain frames, a header of no frame count", Cat({plain, uncounted, plain}), true, 3, 1251,
       0},
      // Encoders write their header frame in stereo before joint-stereo audio.
      {"a stereo Info frame, joint-stereo frames, rule off",
       Cat({HeaderFrame(kStereo, 36, "Info", 1, 3), plain}), false, 1, 0, 0},
      {"a stereo Info frame, joint-stereo frames",
       Cat({HeaderFrame(kStereo, 36, "Info", 1, 3), plain}), true, 4, 4 * 417, 0},
      {"stereo frames, then joint-stereo ones", Cat({Frames({kStereo, kStereo}), plain}), true, 2,
       2 * 417, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptHost host;
    host.splitXing = c.split;
    Measured m = MeasureAt(c.bytes, 0, host);
    EXPECT_EQ(m.count, c.count);
    EXPECT_EQ(m.info.StreamLength, c.length);
    EXPECT_EQ(m.info.HasID3v1, c.id3v1);
  }
}

// A tag of version `version` with flags `flags` whose size field says `size`.
Bytes FullTag(uint8_t version, uint8_t flags, uint32_t size, int64_t bodyLength) {
  Bytes tag = Id3v2Tag(size);
  tag[3] = version;
  tag[5] = flags;
  tag.resize(10 + bodyLength, 0x00);
  return tag;
}

TEST(MpegMeasure, FullId3v2SearchTakesTheWholeSize) {
  struct Case {
    const char* what;
    Bytes before;  // the bytes before the run
    int64_t from;  // where the search begins
    int32_t size;  // the tag found, 0 for none
  } cases[] = {
      {"small v2.3", Cat({RandomBytes(777, 1), FullTag(3, 0, 100, 100)}), 0, 110},
      {"16384 bytes", Cat({RandomBytes(777, 1), FullTag(3, 0, 16384, 16384)}), 0, 16394},
      {"v2.2 of 70000", Cat({RandomBytes(7, 1), FullTag(2, 0, 70000, 70000)}), 0, 70010},
      {"v2.4 with footer", Cat({RandomBytes(9, 1), FullTag(4, 0x10, 500, 510)}), 0, 520},
      {"v2.3 has no footer", Cat({RandomBytes(9, 1), FullTag(3, 0x10, 500, 500)}), 0, 510},
      {"version 5", Cat({RandomBytes(9, 1), FullTag(5, 0, 500, 500)}), 0, 0},
      {"one byte short", Cat({RandomBytes(9, 1), FullTag(3, 0, 500, 499)}), 0, 0},
      {"size byte over 0x7F",
       Cat({RandomBytes(9, 1), Id3v2Header(0, 0, 0x00, 0x80), Bytes(128, 0x00)}), 0, 0},
      {"header across a 1 MiB block",
       Cat({RandomBytes((1 << 20) - 5, 1), FullTag(3, 0, 3000, 3000)}), 0, 3010},
      {"header across a 128 KiB block",
       Cat({RandomBytes((128 << 10) - 5, 1), FullTag(3, 0, 3000, 3000)}), 0, 3010},
      {"header at the last start of a block",
       Cat({RandomBytes((128 << 10) - 1, 1), FullTag(3, 0, 3000, 3000)}), 0, 3010},
      {"header at the first start of a block",
       Cat({RandomBytes(128 << 10, 1), FullTag(3, 0, 3000, 3000)}), 0, 3010},
      {"several blocks long", Cat({RandomBytes(3, 1), FullTag(4, 0, 3 << 20, 3 << 20)}), 0,
       (3 << 20) + 10},
      {"begins before the search", Cat({RandomBytes(100, 1), FullTag(3, 0, 500, 500)}), 101, 0},
      {"begins where the search does", Cat({RandomBytes(100, 1), FullTag(3, 0, 500, 500)}), 100,
       510},
      // A smaller tag ending at the run inside a larger one: the larger one.
      {"nested", Cat({RandomBytes(10, 1), Slice(Id3v2Tag(1100), 0, 1000), FullTag(3, 0, 100, 100)}),
       0, 1110},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Bytes bytes = Cat({c.before, Frames({kJoint, kJoint})});
    WriteBytes(dir / "input.bin", bytes);
    InputView input(InputFile::OpenRead(dir / "input.bin"));
    TStreamInfo info{};
    info.HasID3v2 = 1;  // a classic find is replaced
    info.ID3v2Size = 1;
    FindFullId3v2(input, c.from, static_cast<int64_t>(c.before.size()), info);
    EXPECT_EQ(info.ID3v2Size, c.size);
    EXPECT_EQ(info.HasID3v2, c.size != 0 ? 1 : 0);
  }
}

}  // namespace

TEST(MpegMeasure, ARunIsRuledOutFromItsFirstBytesOnlyWhereItIsShorter) {
  const Bytes junk = Text("no header here");
  const struct {
    const char* name;
    Bytes bytes;
    int64_t avail;  // of the bytes, as a buffer holds them; -1: all
    bool shorterThan[3];
  } cases[] = {
      {"no header", junk, -1, {false, true, true}},
      {"one frame", Cat({Frame(kJoint), junk}), -1, {false, false, true}},
      {"two frames", Frames({kJoint, kJoint}), -1, {false, false, false}},
      {"a change of rate", Frames({kJoint, k48kHz}), -1, {false, false, true}},
      {"the next header not held", Cat({Frame(kJoint), junk}), 417, {false, false, false}},
      {"three bytes held", junk, 3, {false, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptHost host;
    const int64_t avail = c.avail < 0 ? static_cast<int64_t>(c.bytes.size()) : c.avail;
    const int64_t count = MeasureAt(c.bytes, 0, host).count;
    for (int below = 0; below < 3; ++below) {
      const bool shorter = Mp3RunShorterThan(host, c.bytes.data(), avail, below);
      EXPECT_EQ(shorter, c.shorterThan[below]) << "below " << below;
      if (shorter) {
        EXPECT_LT(count, below) << "ruled out, but " << count << " frames";
      }
    }
  }
}
