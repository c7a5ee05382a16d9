// The FLAC, AIFF/AIFF-C and CRI ADX carvers: FLAC frame headers and frames
// built here; the facts of every encoder fixture from tests/data as its line
// and report give them; damaged and unusual streams.
// (tests/carve/formats_test.cpp carves every fixture at odd offsets, in a tar
// and back to back, and finds nothing in random bytes, in the other formats'
// fixtures, PCM among them, or in compressed data.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/formats.h"
#include "carve/engine/input_view.h"
#include "carve/engine/scan_pass.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/flac/flac_crc.h"
#include "carve/formats/flac/flac_frame.h"
#include "platform/descriptor.h"
#include "platform/input_file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

// --- FLAC headers and frames built here ----------------------------------------

// Bits written from the most significant one of each byte on.
class BitWriter {
 public:
  // The low `bits` bits of `value`; beyond 64 of them, zeros first.
  void put(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ == 0) bytes_.push_back(0);
      // Bits above the value's 64 are zeros (a long run of unary zeros).
      if (i < 64 && ((value >> i) & 1)) bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
      used_ = (used_ + 1) & 7;
    }
  }
  void unary(int zeros) {
    put(0, zeros);
    put(1, 1);
  }
  Bytes bytes() const { return bytes_; }
  size_t bitCount() const { return bytes_.size() * 8 - (used_ == 0 ? 0 : 8 - used_); }

 private:
  Bytes bytes_;
  int used_ = 0;
};

// A frame header from its codes, the number coded as its bytes, the bytes
// after the codes, and a CRC-8 (`crcFix` is added to it).
Bytes FrameHeader(bool variable, int sizeCode, int rateCode, int channelCode, int bitsCode,
                  const Bytes& number, const Bytes& extra = {}, int crcFix = 0) {
  Bytes h = {0xFF, static_cast<uint8_t>(0xF8 | (variable ? 1 : 0)),
             static_cast<uint8_t>(sizeCode << 4 | rateCode),
             static_cast<uint8_t>(channelCode << 4 | bitsCode << 1)};
  h.insert(h.end(), number.begin(), number.end());
  h.insert(h.end(), extra.begin(), extra.end());
  h.push_back(static_cast<uint8_t>(FlacCrc8(h.data(), h.size()) + crcFix));
  return h;
}

struct HeaderRow {
  const char* name;
  Bytes bytes;
  bool valid;
  bool variable = false;
  int32_t blockSize = 0, sampleRate = 0, channels = 0, assignment = 0, bits = 0;
  int64_t number = 0;
};

TEST(FlacFrameHeader, DecodingRows) {
  const HeaderRow rows[] = {
      {"block size and rate from STREAMINFO codes", FrameHeader(false, 1, 0, 0, 0, {0x7F}), true,
       false, 192, 0, 1, 0, 0, 127},
      {"8-bit block size, kHz rate, left/side", FrameHeader(false, 6, 12, 8, 1, {5}, {99, 12}),
       true, false, 100, 12000, 2, 8, 8, 5},
      {"16-bit block size, Hz rate, side/right",
       FrameHeader(false, 7, 13, 9, 0, {1}, {0xFF, 0xFF, 0x2B, 0x11}), true, false, 65536, 11025, 2,
       9, 0, 1},
      {"tens of Hz, 8 channels, 32 bits", FrameHeader(false, 8, 14, 7, 7, {2}, {0x02, 0xDF}), true,
       false, 256, 7350, 8, 7, 32, 2},
      {"576 samples at 88.2 kHz, mid/side", FrameHeader(false, 2, 1, 10, 5, {3}), true, false, 576,
       88200, 2, 10, 20, 3},
      {"4608 samples at 192 kHz", FrameHeader(false, 5, 3, 1, 6, {4}), true, false, 4608, 192000, 2,
       1, 24, 4},
      {"32768 samples at 96 kHz", FrameHeader(false, 15, 11, 5, 4, {6}), true, false, 32768, 96000,
       6, 5, 16, 6},
      {"variable, sample number in 7 bytes",
       FrameHeader(true, 3, 4, 0, 2, {0xFE, 0x82, 0x80, 0x80, 0x80, 0x80, 0x81}), true, true, 1152,
       8000, 1, 0, 12, (int64_t{2} << 30) + 1},
      {"frame number in 7 bytes",
       FrameHeader(false, 3, 4, 0, 2, {0xFE, 0x82, 0x80, 0x80, 0x80, 0x80, 0x81}), false},
      {"a continuation byte first", FrameHeader(false, 12, 9, 1, 4, {0x80}), false},
      {"a lead byte where a continuation belongs", FrameHeader(false, 12, 9, 1, 4, {0xC2, 0xC0}),
       false},
      {"CRC-8 off by one", FrameHeader(false, 12, 9, 1, 4, {0}, {}, 1), false},
      {"block size code 0", FrameHeader(false, 0, 9, 1, 4, {0}), false},
      {"rate code 15", FrameHeader(false, 12, 15, 1, 4, {0}), false},
      {"channel code 11", FrameHeader(false, 12, 9, 11, 4, {0}), false},
      {"sample size code 3", FrameHeader(false, 12, 9, 1, 3, {0}), false},
      {"0 kHz", FrameHeader(false, 12, 12, 1, 4, {0}, {0}), false},
      {"no sync", Bytes{0xFF, 0xFA, 0xC9, 0x18, 0x00, 0x00}, false},
  };
  for (const HeaderRow& row : rows) {
    SCOPED_TRACE(row.name);
    FlacFrameHeader h;
    ASSERT_EQ(DecodeFlacFrameHeader(row.bytes.data(), static_cast<int64_t>(row.bytes.size()), h),
              row.valid);
    if (!row.valid) continue;
    EXPECT_EQ(h.variableBlockSize, row.variable);
    EXPECT_EQ(h.blockSize, row.blockSize);
    EXPECT_EQ(h.sampleRate, row.sampleRate);
    EXPECT_EQ(h.channels, row.channels);
    EXPECT_EQ(h.channelAssignment, row.assignment);
    EXPECT_EQ(h.bitsPerSample, row.bits);
    EXPECT_EQ(h.number, row.number);
    EXPECT_EQ(h.length, static_cast<int32_t>(row.bytes.size()));
    // A header cut short is no header.
    EXPECT_FALSE(DecodeFlacFrameHeader(row.bytes.data(), h.length - 1, h));
  }
}

TEST(FlacFrame, WalkRows) {
  const Bytes head = FrameHeader(false, 7, 9, 0, 4, {0}, {0x00, 0x1F});  // 32 samples
  struct Row {
    const char* name;
    std::function<void(BitWriter&)> body;
    FlacFrameWalk expected;
  };
  auto rice = [](BitWriter& w, int method, int order, int predictor) {
    w.put(method, 2);
    w.put(order, 4);
    const int paramBits = method == 0 ? 4 : 5;
    for (int p = 0; p < (1 << order); ++p) {
      const int count = (32 >> order) - (p == 0 ? predictor : 0);
      if (p % 2 == 1) {  // every other partition escaped, with 7-bit values
        w.put((1 << paramBits) - 1, paramBits);
        w.put(7, 5);
        w.put(0, 7 * count);
      } else {
        w.put(3, paramBits);
        for (int i = 0; i < count; ++i) {
          w.unary(i % 5);
          w.put(5, 3);
        }
      }
    }
  };
  const Row rows[] = {
      {"verbatim, 3 wasted bits",
       [](BitWriter& w) { w.put(0b0000001, 7), w.put(1, 1), w.unary(2), w.put(0, 32 * 13); },
       FlacFrameWalk::Done},
      {"fixed order 2, rice, 4 partitions",
       [&](BitWriter& w) { w.put(0b00010100, 8), w.put(0, 32), rice(w, 0, 2, 2); },
       FlacFrameWalk::Done},
      {"lpc order 3, rice2, 8 partitions",
       [&](BitWriter& w) {
         w.put(0b01000100, 8), w.put(0, 48), w.put(11, 4), w.put(9, 5), w.put(0, 36);
         rice(w, 1, 3, 3);
       },
       FlacFrameWalk::Done},
      {"the zero bit set", [](BitWriter& w) { w.put(0b10000000, 8), w.put(0, 16); },
       FlacFrameWalk::Invalid},
      {"reserved type 2", [](BitWriter& w) { w.put(0b00000100, 8), w.put(0, 16); },
       FlacFrameWalk::Invalid},
      {"fixed order 5", [](BitWriter& w) { w.put(0b00011010, 8), w.put(0, 128); },
       FlacFrameWalk::Invalid},
      {"16 wasted bits of 16",
       [](BitWriter& w) { w.put(0b0000000, 7), w.put(1, 1), w.unary(15), w.put(0, 8); },
       FlacFrameWalk::Invalid},
      {"lpc precision 15", [](BitWriter& w) { w.put(0b01000000, 8), w.put(0, 16), w.put(15, 4); },
       FlacFrameWalk::Invalid},
      {"residual method 2", [](BitWriter& w) { w.put(0b00010000, 8), w.put(2, 2), w.put(0, 60); },
       FlacFrameWalk::Invalid},
      {"partitions that do not divide the block",
       [](BitWriter& w) { w.put(0b00010000, 8), w.put(0, 2), w.put(6, 4), w.put(0, 60); },
       FlacFrameWalk::Invalid},
      {"rice values running on",
       [](BitWriter& w) { w.put(0b00010000, 8), w.put(0, 2), w.put(0, 4), w.put(0, 4); },
       FlacFrameWalk::NeedMore},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitWriter w;
    row.body(w);
    Bytes frame = head;
    Bytes body = w.bytes();
    frame.insert(frame.end(), body.begin(), body.end());
    const int64_t expectedLength = static_cast<int64_t>(frame.size()) + 2;
    frame.resize(frame.size() + 2 + 8, 0);  // CRC-16 and the readable slack
    FlacFrameHeader h;
    ASSERT_TRUE(DecodeFlacFrameHeader(frame.data(), static_cast<int64_t>(frame.size()), h));
    int64_t length = 0;
    EXPECT_EQ(WalkFlacFrame(frame.data(), expectedLength, h, 16, length), row.expected);
    if (row.expected != FlacFrameWalk::Done) continue;
    EXPECT_EQ(length, expectedLength);
    EXPECT_EQ(WalkFlacFrame(frame.data(), expectedLength - 1, h, 16, length),
              FlacFrameWalk::NeedMore);
    // A set bit where the last byte is padded with zero bits.
    if (w.bitCount() % 8 != 0) {
      frame[expectedLength - 3] |= 1;
      EXPECT_EQ(WalkFlacFrame(frame.data(), expectedLength, h, 16, length), FlacFrameWalk::Invalid);
    }
  }
}

// --- the passes ------------------------------------------------------------------

struct RecordingHost : ScriptHost {
  std::vector<StreamReport> streams;
  void StreamDone(const StreamReport& report) override { streams.push_back(report); }
};

struct Pass {
  TempDir dir;
  RecordingHost host;
  int64_t written = 0;

  Pass() {
    host.minFrames = 2;
    // A pass that keeps finding streams is stopped instead of hanging.
    host.onLog = [this](const std::string&) {
      if (host.log.size() > 400) host.running = false;
    };
  }
  std::string input() const { return dir / "in.bin"; }
  std::string output(const std::string& ext, int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "out/%03d.%s", n, ext.c_str());
    return dir / name;
  }
  void run(const char* command, const Bytes& data) {
    WriteBytes(input(), data);
    written = ExtractFormat(host, *FindFormat(command), input(), dir / "out/%3.3d.bin");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(OpenFileCount(), 0) << "every file closed";
  }
};

struct Group {
  const char* command;
  const char* opening;
};
const Group kGroups[] = {{"flac", "FLAC"}, {"aiff", "AIFF"}, {"adx", "ADX"}};

// Every committed fixture of a row, found by its extension.
std::vector<std::string> FixturesOf(const FormatRow& row) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_TEST_DATA)) {
    if (entry.path().extension() == "." + std::string(row.extension)) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Where the stream itself begins in a fixture: after an ID3v2 tag.
int64_t StreamStart(const Bytes& file) {
  if (file.size() > 10 && std::memcmp(file.data(), "ID3", 3) == 0) {
    return 10 + (int64_t{file[6]} << 21 | file[7] << 14 | file[8] << 7 | file[9]);
  }
  return 0;
}

// What a fixture's own header says of it: the format text, the rate, the
// channels and the frames or blocks (-1: not said).
struct Expected {
  std::string format;
  int64_t rate = 0, channels = 0, frames = -1;
  int64_t bits = 0;  // AIFF: the sample size
};

Expected ExpectedOf(const std::string& command, const Bytes& f) {
  Expected e;
  if (command == "flac") {
    const uint8_t* si = f.data() + StreamStart(f) + 8;
    e.format = "FLAC";
    e.rate = si[10] << 12 | si[11] << 4 | si[12] >> 4;
    e.channels = ((si[12] >> 1) & 7) + 1;
    const int64_t total =
        int64_t{si[13] & 0x0F} << 32 | int64_t{si[14]} << 24 | si[15] << 16 | si[16] << 8 | si[17];
    const int64_t block = si[2] << 8 | si[3];
    if (total > 0) e.frames = (total + block - 1) / block;
  } else if (command == "aiff") {
    e.format = std::string(f.begin() + 8, f.begin() + 12);
    for (size_t at = 12; at + 8 <= f.size();) {
      const int64_t size = int64_t{f[at + 4]} << 24 | f[at + 5] << 16 | f[at + 6] << 8 | f[at + 7];
      if (std::memcmp(&f[at], "COMM", 4) == 0) {
        const uint8_t* c = &f[at + 8];
        e.channels = c[0] << 8 | c[1];
        e.frames = int64_t{c[2]} << 24 | c[3] << 16 | c[4] << 8 | c[5];
        const int exponent = (c[8] & 0x7F) << 8 | c[9];
        e.bits = c[6] << 8 | c[7];
        e.rate = (int64_t{c[10]} << 8 | c[11]) >> (15 - (exponent - 16383));
      }
      at += 8 + size + (size & 1);
    }
  } else {
    e.format = "ADX";
    e.channels = f[7];
    e.rate = f[8] << 24 | f[9] << 16 | f[10] << 8 | f[11];
    const int64_t header = (f[2] << 8 | f[3]) + 4;
    // All blocks but the end-of-stream one.
    e.frames = (static_cast<int64_t>(f.size()) - header) / f[5] - 1;
  }
  return e;
}

// The line the stream's report gives, which must be the logged one.
std::string LineOfReport(const StreamReport& r, const std::string& format, const char* unit) {
  StreamFacts facts;
  facts.frames = r.facts.frames;
  facts.bitrateKbps = r.facts.bitrateKbps;
  facts.sampleRateHz = r.facts.sampleRateHz;
  facts.seconds = r.facts.seconds;
  facts.channels = r.facts.channels;
  return StreamLine(r.number, {r.offset, r.length}, format, unit, facts);
}

// A tar archive holding the files, each in 512-byte blocks after its header.
// Each fixture between random bytes of every value: its stream line is the
// one its report gives, with what the fixture's own header says; the stream
// begins after an ID3v2 tag, and the output holds the tag.
TEST(LosslessFormats, EveryFixtureShowsWhatItsHeaderSays) {
  for (const Group& g : kGroups) {
    const FormatRow& row = *FindFormat(g.command);
    const std::string unit = g.command == std::string("adx") ? "Blocks" : "Frames";
    for (const std::string& name : FixturesOf(row)) {
      SCOPED_TRACE(name);
      const Bytes f = Fixture(name);
      const int64_t start = StreamStart(f);
      const Expected e = ExpectedOf(g.command, f);
      Bytes data = RandomBytes(1001, 3, true);
      const int64_t at = Append(data, f);
      Append(data, RandomBytes(777, 4, true));
      Pass p;
      p.run(g.command, data);
      ASSERT_EQ(p.written, 1);
      ASSERT_EQ(p.host.log.size(), 3u);
      EXPECT_EQ(p.host.log[0], "\"" + p.input() + "\"から" + g.opening + "ファイルを探しますっ！");
      EXPECT_EQ(p.host.log[2], std::string("1個の") + g.command + "を発見。うち1個を抽出しました");
      const StreamReport& r = p.host.streams.at(0);
      EXPECT_EQ(p.host.log[1], LineOfReport(r, e.format, unit.c_str()));
      EXPECT_EQ(ReadBytes(p.output(std::string(row.extension), 1)), f);
      EXPECT_EQ(r.offset, at + start);
      EXPECT_EQ(r.length, static_cast<int64_t>(f.size()) - start);
      EXPECT_EQ(r.outputOffset, at);
      EXPECT_EQ(r.facts.sampleRateHz, e.rate);
      EXPECT_EQ(r.facts.channels, e.channels);
      if (e.frames >= 0) {
        EXPECT_EQ(r.facts.frames, e.frames);
      }
      EXPECT_GT(r.facts.seconds, 0.04);
      EXPECT_LT(r.facts.seconds, 0.51);
      // AIFF: the rate of its samples; the others: the stream's bytes over
      // its length.
      const double kbps = g.command == std::string("aiff")
                              ? e.rate * e.channels * 8.0 * ((e.bits + 7) / 8) / 1000
                              : (f.size() - start) * 8 / r.facts.seconds / 1000;
      EXPECT_NEAR(static_cast<double>(r.facts.bitrateKbps), kbps, 1.0);
    }
  }
}

}  // namespace

namespace {

// --- damaged and unusual streams ---------------------------------------------------

// Where the frames of a FLAC fixture begin, found independently of the
// carver's walk: each next frame is the first place with a header that
// numbers on and before which the CRC-16 of the frame matches. The last
// entry is the end of the last frame (the end of the file).
std::vector<int64_t> FlacFrameStarts(const Bytes& f) {
  const int64_t size = static_cast<int64_t>(f.size());
  int64_t pos = StreamStart(f) + 4;
  for (bool last = false; !last;) {
    last = (f[pos] & 0x80) != 0;
    pos += 4 + (f[pos + 1] << 16 | f[pos + 2] << 8 | f[pos + 3]);
  }
  std::vector<int64_t> starts{pos};
  for (int64_t n = 1;; ++n) {
    int64_t found = -1;
    for (int64_t p = starts.back() + 6; p + 6 <= size && found < 0; ++p) {
      FlacFrameHeader h;
      if (f[p] == 0xFF && DecodeFlacFrameHeader(&f[p], size - p, h) && h.number == n &&
          FlacCrc16(&f[starts.back()], static_cast<size_t>(p - starts.back())) == 0) {
        found = p;
      }
    }
    if (found < 0) break;
    starts.push_back(found);
  }
  starts.push_back(size);
  return starts;
}

// Gives frame `k` (of `starts`) new CRC-8 and CRC-16 values after a change.
void FixFlacFrame(Bytes& f, const std::vector<int64_t>& starts, size_t k, int headerLength) {
  uint8_t* s = &f[starts[k]];
  const size_t length = static_cast<size_t>(starts[k + 1] - starts[k]);
  s[headerLength - 1] = FlacCrc8(s, headerLength - 1);
  const uint16_t crc = FlacCrc16(s, length - 2);
  s[length - 2] = static_cast<uint8_t>(crc >> 8);
  s[length - 1] = static_cast<uint8_t>(crc);
}

int FlacHeaderLength(const Bytes& f, int64_t at) {
  FlacFrameHeader h;
  EXPECT_TRUE(DecodeFlacFrameHeader(&f[at], static_cast<int64_t>(f.size()) - at, h));
  return h.length;
}

// The offset of the first chunk of an AIFF file with the id.
size_t AiffChunk(const Bytes& f, const char* id) {
  for (size_t at = 12; at + 8 <= f.size();) {
    if (std::memcmp(&f[at], id, 4) == 0) return at;
    const size_t size = size_t{f[at + 4]} << 24 | f[at + 5] << 16 | f[at + 6] << 8 | f[at + 7];
    at += 8 + size + (size & 1);
  }
  ADD_FAILURE() << "no chunk " << id;
  return 0;
}

void PutBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// An input for one row and the outputs its pass must write.
struct Case {
  Bytes data;
  std::vector<Bytes> outputs;
};

// The stream between random bytes (none after it when `atEnd`), and the
// outputs expected of it.
Case Embedded(const Bytes& stream, std::vector<Bytes> outputs, bool atEnd = false) {
  Case c{RandomBytes(517, 71, true), std::move(outputs)};
  Append(c.data, stream);
  if (!atEnd) Append(c.data, RandomBytes(311, 72, true));
  return c;
}

struct EdgeRow {
  const char* name;
  const char* command;
  int minFrames;
  std::function<Case()> make;
  bool copyId3v2 = true;
};

TEST(LosslessFormats, DamagedAndUnusualStreams) {
  const Bytes mono = Fixture("flac_16_mono_11k.flac");
  const std::vector<int64_t> at = FlacFrameStarts(mono);
  ASSERT_EQ(at.size(), 9u);  // eight frames and the end
  const Bytes tagged = Fixture("flac_id3v2_16_mono_11k.flac");
  const Bytes noTotal = Fixture("flac_ffmpeg_16_stereo_22k_no_total.flac");
  const int noTotalFrames = static_cast<int>(FlacFrameStarts(noTotal).size()) - 1;
  const Bytes aiff = Fixture("aiff_ffmpeg_16_stereo_11k.aiff");
  const Bytes adx = Fixture("adx_stereo_22k.adx");
  const Bytes adx0 = Fixture("adx_stereo_22k_no_total.adx");
  const size_t adxData = 36, adxBlock = 18;
  auto prefix = [](const Bytes& b, int64_t n) { return Slice(b, 0, n); };
  auto spoiled = [](Bytes b, const std::function<void(Bytes&)>& spoil) {
    spoil(b);
    return b;
  };
  auto none = [](Bytes b) { return Embedded(b, {}); };
  auto Cat = [](Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
  };
  const Bytes formShort = Fixture("aiff_ffmpeg_16_stereo_11k_form_2_short.aiff");
  auto formShortBy = [&](uint32_t n) {
    return spoiled(aiff, [&](Bytes& b) { PutBe32(b, 4, static_cast<uint32_t>(b.size() - 8 - n)); });
  };
  const Bytes id3Aiff = Fixture("aiff_ffmpeg_16_mono_22k_id3.aiff");

  const EdgeRow rows[] = {
      // FLAC
      {"flac cut inside its last frame: the frames before it", "flac", 2,
       [&] { return Embedded(prefix(mono, at[8] - 100), {prefix(mono, at[7])}, true); }},
      {"flac with a damaged fifth frame: four frames", "flac", 2,
       [&] {
         return Embedded(spoiled(mono, [&](Bytes& b) { b[at[4] + 40] ^= 0x10; }),
                         {prefix(mono, at[4])});
       }},
      {"flac whose last frame's CRC-16 is off: the frames before it", "flac", 2,
       [&] {
         return Embedded(spoiled(mono, [&](Bytes& b) { b[at[8] - 1] ^= 1; }),
                         {prefix(mono, at[7])});
       }},
      {"flac with a frame that skips a number: the frames before it", "flac", 2,
       [&] {
         return Embedded(spoiled(mono,
                                 [&](Bytes& b) {
                                   b[at[3] + 4] = 4;
                                   FixFlacFrame(b, at, 3, FlacHeaderLength(mono, at[3]));
                                 }),
                         {prefix(mono, at[3])});
       }},
      {"flac with a frame of 24-bit samples: the frames before it", "flac", 2,
       [&] {
         return Embedded(spoiled(mono,
                                 [&](Bytes& b) {
                                   b[at[5] + 3] =
                                       static_cast<uint8_t>((b[at[5] + 3] & 0xF1) | 6 << 1);
                                   FixFlacFrame(b, at, 5, FlacHeaderLength(mono, at[5]));
                                 }),
                         {prefix(mono, at[5])});
       }},
      {"flac whose total lies beyond its frames: all of them", "flac", 2,
       [&] {
         const Bytes b = spoiled(mono, [](Bytes& x) { x[8 + 17] += 1; });
         return Embedded(b, {b});
       }},
      {"flac with fewer frames than the minimum but complete", "flac", 1000,
       [&] { return Embedded(mono, {mono}); }},
      {"flac without a total and fewer frames than the minimum", "flac", noTotalFrames + 1,
       [&] { return none(noTotal); }},
      {"flac without a total with just the minimum", "flac", noTotalFrames,
       [&] { return Embedded(noTotal, {noTotal}); }},
      {"flac without a total at the very end of the input", "flac", 2,
       [&] {
         const Bytes f = Fixture("flac_16_stereo_22k_no_total.flac");
         return Embedded(f, {f}, true);
       }},
      {"flac whose first frame is not frame 0", "flac", 2,
       [&] {
         return none(spoiled(mono, [&](Bytes& b) {
           b[at[0] + 4] = 1;
           FixFlacFrame(b, at, 0, FlacHeaderLength(mono, at[0]));
         }));
       }},
      {"ID3v2 tag, not copied when the option is off", "flac", 2,
       [&] { return Embedded(tagged, {Slice(tagged, 233, tagged.size() - 233)}); }, false},
      {"an ID3v2 tag that ends a byte before the stream is not taken", "flac", 2,
       [&] {
         Bytes b = Slice(tagged, 0, 233);
         b.push_back('x');
         Append(b, mono);
         return Embedded(b, {mono});
       }},
      // AIFF
      {"aiff cut short: to the end of the input", "aiff", 2,
       [&] { return Embedded(prefix(aiff, 3000), {prefix(aiff, 3000)}, true); }},
      {"aiff whose sound chunk runs past the FORM chunk", "aiff", 2,
       [&] {
         return none(spoiled(
             aiff, [&](Bytes& b) { PutBe32(b, 4, static_cast<uint32_t>(b.size() - 100)); }));
       }},
      {"aiff with two common chunks", "aiff", 2,
       [&] {
         const size_t comm = AiffChunk(aiff, "COMM");
         Bytes b = Slice(aiff, 0, comm);
         Append(b, Slice(aiff, comm, 26));
         Append(b, Slice(aiff, comm, aiff.size() - comm));
         PutBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
         return none(b);
       }},
      {"aiff with its sound chunk first: the whole file", "aiff", 2,
       [&] {
         const size_t comm = AiffChunk(aiff, "COMM"), ssnd = AiffChunk(aiff, "SSND");
         Bytes b = Slice(aiff, 0, 12);
         Append(b, Slice(aiff, ssnd, aiff.size() - ssnd));
         Append(b, Slice(aiff, comm, ssnd - comm));
         return Embedded(b, {b});
       }},
      {"aiff-c of a compressed type: no check of its sound bytes", "aiff", 2,
       [&] {
         Bytes b = Fixture("aiff_ffmpeg_aifc_sowt_mono.aiff");
         const size_t comm = AiffChunk(b, "COMM");
         std::memcpy(&b[comm + 8 + 18], "ima4", 4);
         b[comm + 8 + 3] += 1;  // more frames than the bytes would hold uncompressed
         return Embedded(b, {b});
       }},
      {"aiff with two sound chunks before its common chunk", "aiff", 2,
       [&] {
         const size_t comm = AiffChunk(aiff, "COMM"), ssnd = AiffChunk(aiff, "SSND");
         Bytes b = Slice(aiff, 0, 12);
         Append(b, Slice(aiff, ssnd, aiff.size() - ssnd));
         Append(b, Slice(aiff, ssnd, aiff.size() - ssnd));
         Append(b, Slice(aiff, comm, ssnd - comm));
         PutBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
         return none(b);
       }},
      {"aiff of no frames whose last chunk is no sound chunk", "aiff", 2,
       [&] {
         Bytes b = formShort;
         std::memcpy(&b[AiffChunk(b, "SSND")], "XXXX", 4);
         PutBe32(b, AiffChunk(b, "COMM") + 8 + 2, 0);
         return none(b);
       }},
      {"aiff whose other chunks take just the most bytes walked: the whole file", "aiff", 2,
       [&] {
         // The common chunk's 26 bytes and a chunk of 8 + 1048542.
         const size_t ssnd = AiffChunk(aiff, "SSND");
         Bytes b = Slice(aiff, 0, ssnd);
         Append(b, Bytes{'A', 'N', 'N', 'O'});
         Append(b, Bytes(4 + 1048542, 0));
         PutBe32(b, ssnd + 4, 1048542);
         Append(b, Slice(aiff, ssnd, aiff.size() - ssnd));
         PutBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
         return Embedded(b, {b});
       }},
      {"aiff of 1-bit samples: the whole file", "aiff", 2,
       [&] {
         const Bytes b = spoiled(aiff, [&](Bytes& x) { x[AiffChunk(x, "COMM") + 8 + 7] = 1; });
         return Embedded(b, {b});
       }},
      {"aiff-c of 64-bit floating point samples: the whole file", "aiff", 2,
       [&] {
         Bytes b = Fixture("aiff_ffmpeg_aifc_sowt_mono.aiff");
         const size_t comm = AiffChunk(b, "COMM");
         std::memcpy(&b[comm + 8 + 18], "fl64", 4);
         b[comm + 8 + 7] = 64;
         PutBe32(b, comm + 8 + 2, 551);  // 8 bytes a frame
         return Embedded(b, {b});
       }},
      {"aiff-c whose compression name fills its common chunk: the whole file", "aiff", 2,
       [&] {
         Bytes b = Fixture("aiff_ffmpeg_aifc_sowt_mono.aiff");
         b[AiffChunk(b, "COMM") + 8 + 22] = 1;  // of 24 bytes
         return Embedded(b, {b});
       }},
      {"aiff-c whose common chunk ends before the name: the whole file", "aiff", 2,
       [&] {
         const Bytes f = Fixture("aiff_ffmpeg_aifc_sowt_mono.aiff");
         const size_t comm = AiffChunk(f, "COMM");
         Bytes b = Slice(f, 0, comm + 8 + 22);
         PutBe32(b, comm + 4, 22);
         Append(b, Slice(f, comm + 8 + 24, f.size() - (comm + 8 + 24)));
         PutBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
         return Embedded(b, {b});
       }},
      {"aiff whose FORM size is 2 short of its last chunk's end: the whole file", "aiff", 2,
       [&] { return Embedded(formShort, {formShort}); }},
      {"aiff whose sound chunk runs 8 bytes past the FORM chunk: the whole file", "aiff", 2,
       [&] { return Embedded(formShortBy(8), {formShortBy(8)}); }},
      {"aiff whose sound chunk runs 9 bytes past the FORM chunk", "aiff", 2,
       [&] { return none(formShortBy(9)); }},
      {"aiff whose sound chunk runs past the FORM chunk and the input", "aiff", 2,
       [&] { return Embedded(prefix(formShort, formShort.size() - 1), {}, true); }},
      {"aiff then flac: the aiff, its ID3 chunk last", "aiff", 2,
       [&] { return Embedded(Cat(id3Aiff, mono), {id3Aiff}); }},
      {"aiff then flac: the flac without the tag of the aiff's ID3 chunk", "flac", 2,
       [&] { return Embedded(Cat(id3Aiff, mono), {mono}); }},
      {"a tag after a chunk header whose size falls short of it is taken", "flac", 2,
       [&] {
         const Bytes b =
             spoiled(id3Aiff, [&](Bytes& x) { PutBe32(x, AiffChunk(x, "ID3 ") + 4, 9); });
         const Bytes tag = Slice(b, AiffChunk(b, "ID3 ") + 8, 70);
         return Embedded(Cat(b, mono), {Cat(tag, mono)});
       }},
      // ADX
      {"adx cut inside its data: to the end of the input", "adx", 2,
       [&] { return Embedded(prefix(adx, 5000), {prefix(adx, 5000)}, true); }},
      {"adx whose last block holds one sample of its count: the whole file", "adx", 2,
       [&] {
         // 206 blocks of 32 samples and one more: the data still ends after 207.
         const Bytes b = spoiled(adx, [](Bytes& x) { PutBe32(x, 12, 206 * 32 + 1); });
         return Embedded(b, {b});
       }},
      {"adx without a sample count cut before its end block", "adx", 2,
       [&] { return none(prefix(adx0, adx0.size() - 18)); }},
      {"adx with an end-of-stream block inside its data: up to it", "adx", 2,
       [&] {
         Bytes b = adx;
         const size_t end = adxData + 100 * adxBlock;
         std::copy(adx.end() - 18, adx.end(), b.begin() + static_cast<int64_t>(end));
         return Embedded(b, {prefix(b, end + 18)});
       }},
      {"adx whose end block pads with other bytes: the data alone", "adx", 2,
       [&] {
         Bytes b = spoiled(adx, [](Bytes& x) { x[x.size() - 1] = 1; });
         return Embedded(b, {prefix(b, b.size() - 18)});
       }},
      {"adx without a sample count whose end block pads with other bytes", "adx", 2,
       [&] { return none(spoiled(adx0, [](Bytes& x) { x[x.size() - 1] = 1; })); }},
  };
  for (const EdgeRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Case c = row.make();
    Pass p;
    p.host.minFrames = row.minFrames;
    p.host.copyId3v2 = row.copyId3v2;
    p.run(row.command, c.data);
    ASSERT_EQ(p.written, static_cast<int64_t>(c.outputs.size()));
    for (size_t i = 0; i < c.outputs.size(); ++i) {
      const std::string ext = FindFormat(row.command)->extension.data();
      EXPECT_EQ(ReadBytes(p.output(ext, static_cast<int>(i + 1))), c.outputs[i]);
      const StreamReport& r = p.host.streams[i];
      // The line shows what the output holds of the input.
      EXPECT_EQ(r.offset + r.length, r.outputOffset + r.outputLength);
      EXPECT_EQ(r.outputLength, static_cast<int64_t>(c.outputs[i].size()));
    }
  }
}

// One field of a fixture changed to what no stream of its format holds.
struct PokeRow {
  const char* name;
  const char* fixture;
  const char* chunk;  // AIFF: the offset is within this chunk
  size_t at;
  Bytes value;
};

TEST(LosslessFormats, AFieldNoStreamHasIsRejected) {
  const PokeRow rows[] = {
      {"STREAMINFO's block size 15", "flac_16_mono_11k.flac", nullptr, 8, {0, 15}},
      {"STREAMINFO's rate 0", "flac_16_mono_11k.flac", nullptr, 18, {0, 0, 0}},
      {"a first block that is no STREAMINFO", "flac_16_mono_11k.flac", nullptr, 4, {4}},
      {"a second STREAMINFO", "flac_16_mono_11k.flac", nullptr, 42, {0x80}},
      {"no sound chunk", "aiff_ffmpeg_16_stereo_11k.aiff", "SSND", 0, {'X', 'X', 'X', 'X'}},
      {"no common chunk", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 0, {'X', 'X', 'X', 'X'}},
      {"a sound chunk too short for its offset and block size",
       "aiff_ffmpeg_16_stereo_11k.aiff",
       "SSND",
       4,
       {0, 0, 0, 4}},
      {"0 channels", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 9, {0}},
      {"33-bit samples", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 15, {33}},
      {"0-bit samples", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 15, {0}},
      {"a common chunk of 17 bytes", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 7, {17}},
      {"0 Hz", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 16, Bytes(10, 0)},
      {"2.8 MHz", "aiff_ffmpeg_16_stereo_11k.aiff", "COMM", 17, {0x14}},
      {"a frame more than the sound chunk holds",
       "aiff_ffmpeg_16_stereo_11k.aiff",
       "COMM",
       13,
       {0x50}},
      {"FORM type AIFX", "aiff_ffmpeg_16_stereo_11k.aiff", nullptr, 11, {'X'}},
      {"a copyright offset that misses the text", "adx_stereo_22k.adx", nullptr, 3, {0x22}},
      {"version 5", "adx_stereo_22k.adx", nullptr, 18, {5}},
      {"encoding 16", "adx_stereo_22k.adx", nullptr, 4, {0x10}},
      {"3-bit samples", "adx_stereo_22k.adx", nullptr, 6, {3}},
      {"0 channels", "adx_stereo_22k.adx", nullptr, 7, {0}},
      {"a loop flag of 2", "adx_stereo_22k.adx", nullptr, 0x1B, {2}},
      {"a marked block inside the data", "adx_stereo_22k.adx", nullptr, 36 + 100 * 18, {0x90}},
  };
  for (const PokeRow& row : rows) {
    SCOPED_TRACE(std::string(row.fixture) + ": " + row.name);
    Bytes f = Fixture(row.fixture);
    const size_t at = (row.chunk ? AiffChunk(f, row.chunk) : 0) + row.at;
    ASSERT_NE(Slice(f, static_cast<int64_t>(at), static_cast<int64_t>(row.value.size())),
              row.value);
    std::copy(row.value.begin(), row.value.end(), f.begin() + static_cast<int64_t>(at));
    const std::string ext = std::filesystem::path(row.fixture).extension().string().substr(1);
    Pass p;
    p.run(ext.c_str(), Embedded(f, {}).data);
    EXPECT_EQ(p.written, 0);
  }
}

}  // namespace

namespace {

// --- inputs that shrink under the pass -------------------------------------------

// Each format's fixture at `at`; the input cut after it was opened, at
// `cut` bytes from the candidate (the stream's first byte), and probed there:
// a candidate at or past the end ends the pass, and no range reaches below
// the candidate or past the end.
TEST(LosslessFormats, AProbeOfAnInputThatShrankGivesNoNegativeRange) {
  const struct {
    const char* command;
    const char* fixture;
  } formats[] = {{"flac", "flac_16_mono_11k.flac"},
                 {"aiff", "aiff_ffmpeg_16_stereo_11k.aiff"},
                 {"aiff", "aiff_ffmpeg_16_stereo_11k_form_2_short.aiff"},
                 {"adx", "adx_stereo_22k.adx"},
                 {"adx", "adx_stereo_22k_no_total.adx"}};
  const int64_t cuts[] = {-1000, -1, 0, 1, 11, 12, 40, 500, 4000};
  for (const auto& format : formats) {
    for (const int64_t cut : cuts) {
      SCOPED_TRACE(std::string(format.fixture) + ", cut at " + std::to_string(cut));
      TempDir dir;
      Bytes data = RandomBytes(1000, 5, true);
      const int64_t at = Append(data, Fixture(format.fixture));
      WriteBytes(dir / "in.bin", data);
      ScriptHost host;
      std::unique_ptr<Carver> carver = FindFormat(format.command)->make(host);
      InputView input(InputFile::OpenRead(dir / "in.bin"));
      std::filesystem::resize_file(dir / "in.bin", static_cast<uintmax_t>(at + cut));
      const Probed probed = carver->probe(input, {at, 1});
      const ProbeResult result = probed.result;
      const CopySpan span = probed.found.span;
      if (cut <= 0) {
        EXPECT_EQ(result, ProbeResult::EndPass);
      }
      if (result != ProbeResult::Accept) continue;
      EXPECT_EQ(span.start, at);
      EXPECT_GT(span.length, 0);
      EXPECT_LE(span.start + span.length, at + cut);
    }
  }
}

}  // namespace

// A page's stream line takes the number of the walk that writes it, in
// place of its own, where the line begins as every carver's does.
TEST(StreamLine, RenumberPutsTheNumberInPlaceOfTheLinesOwn) {
  struct Case {
    const char* line;
    int64_t number;
    const char* renumbered;  // null: left as it is
  };
  const Case cases[] = {
      {"[001($00000000-$0000002F)] FLAC", 7, "[007($00000000-$0000002F)] FLAC"},
      {"[1234($00000000-$0000002F)] x", 5, "[005($00000000-$0000002F)] x"},
      {"[002($1)] y", 1000, "[1000($1)] y"},
      {"[999($1)] z", 4, "[004($1)] z"},
      {"[0/2($1)] y", 3, nullptr},
      {"[00:($1)] y", 3, nullptr},
      {"[0($1)] y", 3, nullptr},
      {"stream 1 at 9", 3, nullptr},
      {"", 3, nullptr},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    EXPECT_EQ(Renumber(line, c.number), c.renumbered != nullptr) << c.line;
    EXPECT_EQ(line, c.renumbered != nullptr ? c.renumbered : c.line) << c.line;
  }
}
