// Ogg page decoding, the measurement of a run of pages and the Ogg carver,
// on pages built here and on real Vorbis files from tests/data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <regex>

#include "carve/engine/extract.h"
#include "carve/engine/input_view.h"
#include "carve/formats/ogg/ogg_codec.h"
#include "carve/formats/ogg/ogg_crc.h"
#include "carve/formats/ogg/ogg_page.h"
#include "carve/formats/ogg/ogg_streams.h"
#include "platform/descriptor.h"
#include "platform/input_file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

constexpr uint8_t kFirst = 0x02;
constexpr uint8_t kLast = 0x04;

void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A page with the given header type and lacing values; its body is filled
// with `fill`, which must not make an "Og" pair.
Bytes Page(uint8_t type, const std::vector<uint8_t>& lacing, uint8_t fill = ' ') {
  Bytes p = {'O', 'g', 'g', 'S', 0, type};
  p.resize(26, 0);  // granule position, serial, sequence, checksum
  p.push_back(static_cast<uint8_t>(lacing.size()));
  p.insert(p.end(), lacing.begin(), lacing.end());
  p.resize(p.size() + std::accumulate(lacing.begin(), lacing.end(), size_t{0}), fill);
  return p;
}

// A page of exactly `length` bytes (at least 28).
Bytes PageOfLength(uint8_t type, size_t length) {
  size_t n = (length - 27 + 255) / 256;
  size_t body = length - 27 - n;
  std::vector<uint8_t> lacing;
  for (size_t i = 0; i < n; ++i) {
    size_t v = std::min<size_t>(body, 255);
    lacing.push_back(static_cast<uint8_t>(v));
    body -= v;
  }
  return Page(type, lacing);
}

// A first page holding a Vorbis identification packet as its one segment.
Bytes IdPage(uint8_t channels, uint32_t rate, uint32_t nominal, uint8_t extraType = 0) {
  Bytes p = Page(kFirst | extraType, {30}, 0);
  p[27 + 1] = 1;  // packet type
  std::memcpy(&p[27 + 2], "vorbis", 6);
  p[27 + 12] = channels;
  PutLe32(p, 27 + 13, rate);
  PutLe32(p, 27 + 21, nominal);
  return p;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) Append(all, part);
  return all;
}

size_t CountPages(const Bytes& b) {
  size_t n = 0;
  for (size_t i = 0; i + 4 <= b.size(); ++i) n += std::memcmp(&b[i], "OggS", 4) == 0;
  return n;
}

struct Pass {
  TempDir dir;
  ScriptHost host;
  int64_t written = 0;

  Pass() {
    // A pass that keeps finding streams is stopped instead of hanging.
    host.onLog = [this](const std::string&) {
      if (host.log.size() > 100) host.running = false;
    };
  }
  std::string input() const { return dir / "track.bin"; }
  std::string pattern() const { return dir / "out/%3.3d.mp3"; }
  std::string output(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "out/%3.3d.ogg", n);
    return dir / name;
  }

  void run(const Bytes& data, const std::string& outPattern) {
    WriteBytes(input(), data);
    written = ExtractOgg(host, input(), outPattern);
    EXPECT_EQ(ReadBytes(input()), data) << "the input must never change";
    EXPECT_EQ(OpenFileCount(), 0) << "every file closed";
  }
  void run(const Bytes& data) { run(data, pattern()); }

  std::string opening() const { return "\"" + input() + "\"からOggファイルを探しますっ！"; }
};

// The start of a stream line: number and byte range.
std::string LineStart(int number, int64_t start, int64_t length) {
  char text[64];
  std::snprintf(text, sizeof text, "[%03d($%08llX-$%08llX)]", number, static_cast<long long>(start),
                static_cast<long long>(start + length - 1));
  return text;
}

std::string Summary(int found, int written) {
  return std::to_string(found) + "個のoggを発見。うち" + std::to_string(written) +
         "個を抽出しました";
}

// --- page header -----------------------------------------------------------

TEST(OggPageHeader, FirstPageCarriesTheVorbisFields) {
  struct Case {
    uint8_t channels;
    uint32_t rate, nominal;
    uint8_t mode;
    int32_t kbps;
  };
  for (const Case& c : {Case{1, 22050, 64000, 3, 64}, Case{2, 44100, 128999, 0, 128},
                        Case{6, 48000, 999, 0, 0}, Case{2, 44100, 0xFFFFFFFF, 0, 16777}}) {
    Bytes p = IdPage(c.channels, c.rate, c.nominal);
    p.resize(100, ' ');
    TFrameInfo info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_TRUE(DecodeOggPageHeader(p.data(), info));
    EXPECT_EQ(info.ChannelMode, c.mode) << int(c.channels);
    EXPECT_EQ(info.SampleRate, static_cast<int32_t>(c.rate));
    EXPECT_EQ(info.Bitrate, c.kbps) << c.nominal;
    EXPECT_EQ(info.FrameLength, 27 + 1 + 30);
    EXPECT_EQ(info.Padding, 0);
    EXPECT_EQ(info.MpegVersion, 0);
    EXPECT_EQ(info.Layer, 0);
    EXPECT_EQ(info.CrcProtected, 0);
    EXPECT_EQ(info.Duration, 0);
  }
}

TEST(OggPageHeader, OtherPagesAndTheLastPageBit) {
  // A page without the first-page bit: whatever lies at the identification
  // offsets is not read.
  Bytes p = Page(0x01, {40, 40}, 0x7E);
  TFrameInfo info;
  ASSERT_TRUE(DecodeOggPageHeader(p.data(), info));
  EXPECT_EQ(info.SampleRate, 0);
  EXPECT_EQ(info.Bitrate, 0);
  EXPECT_EQ(info.ChannelMode, 0);
  EXPECT_EQ(info.Padding, 0);
  EXPECT_EQ(info.FrameLength, 27 + 2 + 80);

  p = Page(kLast, {200}, 0x7E);
  ASSERT_TRUE(DecodeOggPageHeader(p.data(), info));
  EXPECT_EQ(info.Padding, 1);
  EXPECT_EQ(info.SampleRate, 0);

  // First and last page at once (a one-page stream).
  p = IdPage(1, 8000, 16000, kLast);
  p.resize(100, ' ');
  ASSERT_TRUE(DecodeOggPageHeader(p.data(), info));
  EXPECT_EQ(info.Padding, 1);
  EXPECT_EQ(info.SampleRate, 8000);
  EXPECT_EQ(info.ChannelMode, 3);
}

TEST(OggPageHeader, EveryLacingValueCountsEvenPastTheFirstHundredBytes) {
  std::vector<uint8_t> lacing(255, 0);
  lacing.back() = 7;  // the last lacing value lies at byte 281
  Bytes p = Page(0, lacing);
  TFrameInfo info;
  ASSERT_TRUE(DecodeOggPageHeader(p.data(), info));
  EXPECT_EQ(info.FrameLength, 27 + 255 + 7);
}

TEST(OggPageHeader, BytesThatAreNoPageLeaveTheRecordAlone) {
  Bytes good = Page(0, {60});
  auto variant = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  for (const Bytes& b :
       {variant(0, 'o'), variant(2, 'x'), variant(3, 's'), variant(4, 1), variant(4, 0xFF)}) {
    TFrameInfo info{};
    info.FrameLength = 1234;
    info.SampleRate = 5678;
    info.Padding = 1;
    EXPECT_FALSE(DecodeOggPageHeader(b.data(), info));
    EXPECT_EQ(info.FrameLength, 1234);
    EXPECT_EQ(info.SampleRate, 5678);
    EXPECT_EQ(info.Padding, 1);
  }
}

// --- measurement ----------------------------------------------------------

struct Measured {
  int64_t pages;
  TStreamInfo info;
};

// Measures from `at` in a file holding `data`.
Measured Measure(const Bytes& data, int64_t at) {
  TempDir dir;
  WriteBytes(dir / "m.bin", data);
  InputView f(InputFile::OpenRead(dir / "m.bin"));
  Measured m{};
  std::memset(&m.info, 0x5A, sizeof m.info);
  m.pages = MeasureOggStream(f, at, m.info);
  return m;
}

TEST(OggMeasure, RunEndsWithTheFirstLastPage) {
  Bytes head = RandomBytes(333, 1);
  Bytes stream = Concat({IdPage(2, 44100, 96000), PageOfLength(0, 500), PageOfLength(0, 1500),
                         PageOfLength(kLast, 300)});
  // A page after the last-page bit, even of the same stream, is not counted.
  Bytes data = Concat({head, stream, PageOfLength(0, 400), RandomBytes(200, 2)});
  Measured m = Measure(data, 333);
  EXPECT_EQ(m.pages, 4);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(stream.size()));
  EXPECT_EQ(m.info.SampleRate, 44100);
  EXPECT_EQ(m.info.Bitrate, 96);
  EXPECT_EQ(m.info.ChannelMode, 0);
  EXPECT_EQ(m.info.MpegVersion, 0);
  EXPECT_EQ(m.info.Layer, 0);
  EXPECT_EQ(m.info.TotalDuration, 0);
  EXPECT_EQ(m.info.HasID3v1, 0);
  EXPECT_EQ(m.info.HasID3v2, 0);
  EXPECT_EQ(m.info.ID3v2Size, 0);
}

TEST(OggMeasure, RunEndsAtBytesThatAreNoPage) {
  Bytes stream = Concat({IdPage(1, 11025, 32000), PageOfLength(0, 700), PageOfLength(0, 128)});
  Measured m = Measure(Concat({stream, RandomBytes(500, 3)}), 0);
  EXPECT_EQ(m.pages, 3);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(stream.size()));
  EXPECT_EQ(m.info.ChannelMode, 3);

  // One page measures no length.
  m = Measure(Concat({IdPage(1, 11025, 32000), RandomBytes(500, 3)}), 0);
  EXPECT_EQ(m.pages, 1);
  EXPECT_EQ(m.info.StreamLength, 0);

  // No page at all: a zeroed record.
  m = Measure(RandomBytes(500, 4), 10);
  EXPECT_EQ(m.pages, 0);
  EXPECT_EQ(m.info.StreamLength, 0);
  EXPECT_EQ(m.info.SampleRate, 0);
}

TEST(OggMeasure, PageBeginningFewerThanHundredBytesBeforeTheEndIsNotCounted) {
  Bytes first = Concat({IdPage(2, 44100, 128000), PageOfLength(0, 300)});
  // Complete and carrying the last-page bit, yet too close to the end.
  Measured m = Measure(Concat({first, PageOfLength(kLast, 99)}), 0);
  EXPECT_EQ(m.pages, 2);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(first.size()));

  // Exactly 100 bytes before the end is enough.
  m = Measure(Concat({first, PageOfLength(kLast, 100)}), 0);
  EXPECT_EQ(m.pages, 3);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(first.size()) + 100);
}

TEST(OggMeasure, LongSegmentTables) {
  std::vector<uint8_t> lacing(255);
  for (size_t i = 0; i < lacing.size(); ++i) lacing[i] = static_cast<uint8_t>(i % 17 + 1);
  Bytes big = Page(0, lacing);
  Bytes stream = Concat({IdPage(2, 32000, 64000), big, PageOfLength(kLast, 150)});
  Measured m = Measure(Concat({stream, RandomBytes(100, 5)}), 0);
  EXPECT_EQ(m.pages, 3);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(stream.size()));

  // The file ends inside the segment table, past the first 100 bytes: the run
  // ends where that page begins.
  Bytes head = Concat({IdPage(2, 32000, 64000), PageOfLength(0, 200)});
  m = Measure(Concat({head, Slice(big, 0, 27 + 150)}), 0);
  EXPECT_EQ(m.pages, 2);
  EXPECT_EQ(m.info.StreamLength, static_cast<int64_t>(head.size()));
}

TEST(OggMeasure, LastPageRunningPastTheEndCountsWhole) {
  Bytes last = PageOfLength(kLast, 1000);
  Bytes data = Concat({IdPage(2, 44100, 128000), PageOfLength(0, 300), Slice(last, 0, 400)});
  Measured m = Measure(data, 0);
  EXPECT_EQ(m.pages, 3);
  EXPECT_EQ(m.info.StreamLength, 58 + 300 + 1000);
}

// --- the carver ------------------------------------------------------------

TEST(OggCarver, RealVorbisFilesComeOutByteIdentical) {
  Bytes mono = Fixture("vorbis_mono.ogg");
  Bytes stereo = Fixture("vorbis_stereo.ogg");
  struct Expect {
    const Bytes* file;
    int64_t at;
    int kHz;
  };
  Bytes data = RandomBytes(1234, 11);
  Expect e1{&mono, Append(data, mono), 22};
  Append(data, RandomBytes(777, 12));
  Expect e2{&stereo, Append(data, stereo), 44};
  Append(data, RandomBytes(901, 13));

  Pass p;
  p.host.minFrames = 2;  // a fraction of a second of Vorbis is three pages
  p.run(data);
  EXPECT_EQ(p.written, 2);
  ASSERT_EQ(p.host.log.size(), 4u);
  EXPECT_EQ(p.host.log[0], p.opening());
  const std::regex line(
      R"(\[(\d{3})\(\$([0-9A-F]{8})-\$([0-9A-F]{8})\)\] OggVorbis( 0)( {0,5}\d+)Frames)"
      R"(( {0,3}\d+)kbps( {0,2}\d+)kHz(    0\.0)sec)");
  int n = 0;
  for (const Expect& e : {e1, e2}) {
    ++n;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(p.host.log[n], m, line)) << p.host.log[n];
    EXPECT_EQ(std::stoi(m[1].str()), n);
    EXPECT_EQ(std::stoll(m[2].str(), nullptr, 16), e.at);
    EXPECT_EQ(std::stoll(m[3].str(), nullptr, 16), e.at + static_cast<int64_t>(e.file->size()) - 1);
    EXPECT_EQ(m[5].length(), 6);
    EXPECT_EQ(std::stoul(m[5].str()), CountPages(*e.file));
    // The nominal bit rate of the identification packet, which follows a
    // 28-byte first page header.
    uint32_t nominal = (*e.file)[48] | (*e.file)[49] << 8 | (*e.file)[50] << 16;
    EXPECT_EQ(m[6].length(), 4);
    EXPECT_EQ(std::stoul(m[6].str()), nominal / 1000);
    EXPECT_EQ(m[7].length(), 3);
    EXPECT_EQ(std::stoi(m[7].str()), e.kHz);
    EXPECT_EQ(ReadBytes(p.output(n)), *e.file);
  }
  EXPECT_EQ(p.host.log[3], Summary(2, 2));
  EXPECT_TRUE(p.host.boxes.empty());
}

TEST(OggCarver, ChainedFileGivesOneStreamPerLogicalStream) {
  Bytes chained = Fixture("vorbis_chained.ogg");
  Bytes mono = Fixture("vorbis_mono.ogg");
  Bytes stereo = Fixture("vorbis_stereo.ogg");
  ASSERT_EQ(chained, Concat({mono, stereo}));
  Bytes data = RandomBytes(4097, 21);
  int64_t at = Append(data, chained);
  Append(data, RandomBytes(3, 22));

  Pass p;
  p.host.minFrames = 2;
  p.run(data);
  EXPECT_EQ(p.written, 2);
  EXPECT_EQ(ReadBytes(p.output(1)), mono);
  EXPECT_EQ(ReadBytes(p.output(2)), stereo);
  ASSERT_EQ(p.host.log.size(), 4u);
  const int64_t monoSize = static_cast<int64_t>(mono.size());
  EXPECT_EQ(p.host.log[1].rfind(LineStart(1, at, monoSize), 0), 0u) << p.host.log[1];
  EXPECT_EQ(p.host.log[2].rfind(LineStart(2, at + monoSize, stereo.size()), 0), 0u)
      << p.host.log[2];
  EXPECT_EQ(p.host.log[3], Summary(2, 2));
}

TEST(OggCarver, PageCountAgainstTheMinimum) {
  Bytes mono = Fixture("vorbis_mono.ogg");
  Bytes data = RandomBytes(99, 31);
  Append(data, mono);
  Append(data, RandomBytes(99, 32));
  const int pages = static_cast<int>(CountPages(mono));

  Pass exact;
  exact.host.minFrames = pages;
  exact.run(data);
  EXPECT_EQ(exact.written, 1);
  EXPECT_EQ(ReadBytes(exact.output(1)), mono);

  Pass tooFew;
  tooFew.host.minFrames = pages + 1;
  tooFew.run(data);
  EXPECT_EQ(tooFew.written, 0);
  EXPECT_EQ(tooFew.host.log.back(), "Not Found (T-T)");
  EXPECT_FALSE(std::filesystem::exists(tooFew.dir / "out"));
}

TEST(OggCarver, LogLineOfA123PageStream) {
  // 123 pages of a 44100 Hz stereo stream at 128 kbit/s, from 0x1000 to
  // 0x3A2F1.
  const size_t total = 0x3A2F1 - 0x1000 + 1;
  Bytes stream = IdPage(2, 44100, 128000);
  for (int i = 0; i < 121; ++i) Append(stream, PageOfLength(0, 1900));
  Append(stream, PageOfLength(kLast, total - stream.size()));
  ASSERT_EQ(stream.size(), total);
  Bytes data = RandomBytes(0x1000, 41);
  Append(data, stream);
  Append(data, RandomBytes(500, 42));

  Pass p;
  p.run(data);
  ASSERT_EQ(p.host.log.size(), 3u);
  EXPECT_EQ(p.host.log[1],
            "[001($00001000-$0003A2F1)] OggVorbis 0   123Frames 128kbps 44kHz    0.0sec");
  EXPECT_EQ(ReadBytes(p.output(1)), stream);
  EXPECT_EQ(p.host.log[2], Summary(1, 1));
}

TEST(OggCarver, UnsetBitRateAndRunsStartingMidStream) {
  Bytes unset = Concat({IdPage(2, 44100, 0xFFFFFFFF), PageOfLength(0, 400), PageOfLength(0, 400),
                        PageOfLength(kLast, 400)});
  // Its first page lacks the first-page bit; the bytes where the Vorbis
  // fields would be are not zero.
  Bytes middle = Concat(
      {Page(0, {250}, 0x7E), PageOfLength(0, 400), PageOfLength(0, 400), PageOfLength(kLast, 400)});
  Bytes data = RandomBytes(100, 51);
  Append(data, unset);
  Append(data, RandomBytes(100, 52));
  Append(data, middle);
  Append(data, RandomBytes(100, 53));

  Pass p;
  p.run(data);
  ASSERT_EQ(p.host.log.size(), 4u);
  EXPECT_NE(p.host.log[1].find("OggVorbis 0     4Frames16777kbps 44kHz    0.0sec"),
            std::string::npos)
      << p.host.log[1];
  EXPECT_NE(p.host.log[2].find("OggVorbis 0     4Frames   0kbps  0kHz    0.0sec"),
            std::string::npos)
      << p.host.log[2];
  EXPECT_EQ(ReadBytes(p.output(1)), unset);
  EXPECT_EQ(ReadBytes(p.output(2)), middle);
}

TEST(OggCarver, OgThatStartsNoPageIsPassedOver) {
  Bytes data = RandomBytes(300, 61);
  for (const char* text : {"Og", "OgX", "Ogg", "OggX", "OggS\x01", "OgOg"}) {
    Bytes b(text, text + std::strlen(text));
    if (std::strcmp(text, "OggS\x01") == 0) b.resize(120, ' ');
    Append(data, b);
    Append(data, RandomBytes(150, 62));
  }
  Pass p;
  p.host.minFrames = 2;
  p.run(data);
  EXPECT_EQ(p.written, 0);
  ASSERT_EQ(p.host.log.size(), 2u);
  EXPECT_EQ(p.host.log[1], "Not Found (T-T)");
  EXPECT_TRUE(p.host.boxes.empty());
}

TEST(OggCarver, OnePageIsNeverAStreamEvenWithAMinimumOfOne) {
  // A single page measures no length; taking it would copy nothing and hand
  // the walk the same candidate again.
  Bytes data = RandomBytes(100, 65);
  Append(data, IdPage(2, 44100, 128000, kLast));
  Append(data, RandomBytes(100, 66));
  Pass p;
  p.host.minFrames = 1;
  p.run(data);
  EXPECT_EQ(p.written, 0);
  ASSERT_EQ(p.host.log.size(), 2u);
  EXPECT_EQ(p.host.log[1], "Not Found (T-T)");
}

TEST(OggCarver, PageTooCloseToTheEndIsLeftOut) {
  Bytes kept = Concat({IdPage(2, 44100, 128000), PageOfLength(0, 200), PageOfLength(0, 200)});
  Bytes data = RandomBytes(77, 71);
  int64_t at = Append(data, kept);
  Append(data, PageOfLength(kLast, 60));  // ends exactly at the end of the input

  Pass p;
  p.host.minFrames = 2;
  p.run(data);
  EXPECT_EQ(p.written, 1);
  EXPECT_EQ(ReadBytes(p.output(1)), kept);
  ASSERT_EQ(p.host.log.size(), 3u);
  EXPECT_EQ(p.host.log[1].rfind(LineStart(1, at, kept.size()), 0), 0u) << p.host.log[1];
  EXPECT_NE(p.host.log[1].find("     3Frames"), std::string::npos);
  // The left-out page is probed again on its own and rejected.
  EXPECT_EQ(p.host.log[2], Summary(1, 1));
}

TEST(OggCarver, PageOf255SegmentsIsCopiedWhole) {
  std::vector<uint8_t> lacing(255, 255);
  lacing.back() = 3;
  Bytes stream = Concat({IdPage(1, 8000, 24000), Page(0, lacing), PageOfLength(kLast, 120)});
  Bytes data = RandomBytes(513, 81);
  Append(data, stream);
  Append(data, RandomBytes(513, 82));

  Pass p;
  p.host.minFrames = 3;
  p.run(data);
  EXPECT_EQ(p.written, 1);
  EXPECT_EQ(ReadBytes(p.output(1)), stream);
  EXPECT_NE(p.host.log[1].find("     3Frames  24kbps  8kHz"), std::string::npos) << p.host.log[1];
}

// --- output names ----------------------------------------------------------

// Runs in `dir` as the current directory while it lives.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

Bytes TwoStreams(Bytes& first, Bytes& second) {
  first = Concat({IdPage(1, 22050, 40000), PageOfLength(0, 300), PageOfLength(0, 300),
                  PageOfLength(kLast, 300)});
  second = Concat({IdPage(2, 48000, 160000), PageOfLength(0, 500), PageOfLength(0, 500),
                   PageOfLength(kLast, 500)});
  Bytes data = RandomBytes(211, 91);
  Append(data, first);
  Append(data, RandomBytes(311, 92));
  Append(data, second);
  Append(data, RandomBytes(11, 93));
  return data;
}

TEST(OggCarver, OutputNamesFromThePattern) {
  Bytes first, second;
  Bytes data = TwoStreams(first, second);

  // The default pattern, below the start-up directory.
  Pass def;
  def.run(data, def.dir / "output/%3.3d.mp3");
  EXPECT_EQ(ReadBytes(def.dir / "output/001.ogg"), first);
  EXPECT_EQ(ReadBytes(def.dir / "output/002.ogg"), second);

  // "%3d" would become "ogg" and leave no number: the streams are named as
  // the newer formats name theirs instead.
  Pass cut;
  cut.run(data, cut.dir / "out/%3d");
  EXPECT_EQ(cut.written, 2);
  EXPECT_EQ(ReadBytes(cut.dir / "out/  1.ogg"), first);
  EXPECT_EQ(ReadBytes(cut.dir / "out/  2.ogg"), second);

  // A pattern of plain text gives every stream of a pass the same name.
  Pass same;
  same.run(data, same.dir / "out/xyz");
  EXPECT_EQ(same.written, 2);
  EXPECT_EQ(ReadBytes(same.dir / "out/ogg"), second);

  // An integer conversion with width and precision, and "%%".
  Pass fmt;
  fmt.run(data, fmt.dir / "o/%%%4.2d.mp3");
  EXPECT_EQ(ReadBytes(fmt.dir / "o/%  01.ogg"), first);
  EXPECT_EQ(ReadBytes(fmt.dir / "o/%  02.ogg"), second);
}

TEST(OggCarver, PatternShorterThanThreeBytesIsReplacedWhole) {
  Bytes first, second;
  Bytes data = TwoStreams(first, second);
  Pass p;
  InDirectory here(p.dir.path());
  p.run(data, "ab");
  EXPECT_EQ(p.written, 2);
  EXPECT_EQ(ReadBytes(p.dir / "ogg"), second);
  // A conversion alone is named as the newer formats name theirs.
  p.run(data, "%d");
  EXPECT_EQ(ReadBytes(p.dir / "1.ogg"), first);
  EXPECT_EQ(ReadBytes(p.dir / "2.ogg"), second);
}

// Where the number alone cannot format the pattern (a conversion of another
// kind, two conversions, a conversion cut by the last three bytes), the
// streams are named as the newer formats name theirs, and none fails.
TEST(OggCarver, PatternsTheNumberCannotFormatAreNamedAsTheNewerFormats) {
  Bytes first, second;
  Bytes data = TwoStreams(first, second);
  struct Case {
    const char* pattern;
    const char* first;
    const char* second;
  };
  for (const Case& c : {Case{"out/%f-%3.3d.ogg", "out/track.bin-001.ogg", "out/track.bin-002.ogg"},
                        Case{"out/%3.3d.%e", "out/001.ogg", "out/002.ogg"},
                        Case{"out/%d-%d.mp3", "out/1-1.ogg", "out/2-2.ogg"},
                        Case{"out/%3.3d", "out/001.ogg", "out/002.ogg"},
                        Case{"out/x%d", "out/x1.ogg", "out/x2.ogg"}}) {
    SCOPED_TRACE(c.pattern);
    Pass p;
    p.run(data, p.dir / c.pattern);
    EXPECT_EQ(p.written, 2);
    EXPECT_TRUE(p.host.boxes.empty());
    EXPECT_EQ(ReadBytes(p.dir / c.first), first);
    EXPECT_EQ(ReadBytes(p.dir / c.second), second);
  }
}

}  // namespace

namespace {

// A page with its granule position set.
Bytes WithGranule(Bytes page, int64_t granule) {
  for (int i = 0; i < 8; ++i)
    page[6 + i] = static_cast<uint8_t>(static_cast<uint64_t>(granule) >> (8 * i));
  return page;
}

TEST(OggCarver, WholeStreamRuleKeepsShortCompleteStreamsAndShowsTheirLength) {
  const Bytes id = IdPage(2, 44100, 128000);
  const Bytes middle = PageOfLength(0, 300);
  const Bytes last = WithGranule(PageOfLength(kLast, 200), 88200);  // 2 s
  struct Case {
    const char* what;
    Bytes stream;
    bool whole;
    int64_t written;
    const char* length;  // the end of the stream line
  } cases[] = {
      {"three pages, rule off", Concat({id, middle, last}), false, 0, ""},
      {"three pages", Concat({id, middle, last}), true, 1, "    2.0sec"},
      {"two pages", Concat({id, last}), true, 1, "    2.0sec"},
      {"no first page", Concat({middle, middle, last}), true, 0, ""},
      {"no last page", Concat({id, middle, middle}), true, 0, ""},
      {"five pages", Concat({id, middle, middle, middle, WithGranule(last, 22050)}), true, 1,
       "    0.5sec"},
      {"no granule on the last page", Concat({id, middle, WithGranule(last, -1)}), true, 1,
       "    0.0sec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Pass p;
    p.host.oggWhole = c.whole;
    Bytes data = RandomBytes(333, 51);
    Append(data, c.stream);
    Append(data, RandomBytes(77, 52));
    p.run(data);
    ASSERT_EQ(p.written, c.written);
    if (c.written == 0) continue;
    EXPECT_EQ(ReadBytes(p.output(1)), c.stream);
    EXPECT_TRUE(p.host.log[1].ends_with(c.length)) << p.host.log[1];
  }
  // The real length of a real file: 0.3 s of 22050 Hz mono.
  Pass real;
  real.host.oggWhole = true;
  real.run(Concat({RandomBytes(100, 53), Fixture("vorbis_mono.ogg")}));
  ASSERT_EQ(real.written, 1);
  EXPECT_TRUE(real.host.log[1].ends_with(" 3Frames  16kbps 22kHz    0.3sec")) << real.host.log[1];
}

}  // namespace

// --- the codec rule ---------------------------------------------------------

namespace {

// The Ogg page CRC computed bit by bit, as the format describes it: MSB
// first, polynomial 0x04C11DB7, over the page with its checksum field zero.
uint32_t BitwiseCrc(Bytes page) {
  std::fill(page.begin() + 22, page.begin() + 26, 0);
  uint32_t crc = 0;
  for (uint8_t byte : page) {
    crc ^= static_cast<uint32_t>(byte) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// A page of stream `serial` with its granule position and a matching CRC.
Bytes Sealed(Bytes page, uint32_t serial, int64_t granule = 0) {
  page = WithGranule(std::move(page), granule);
  PutLe32(page, 14, serial);
  PutLe32(page, 22, BitwiseCrc(page));
  return page;
}

// A first page whose one packet is `packet`.
Bytes FirstPage(const Bytes& packet, uint32_t serial) {
  Bytes p = Page(kFirst, {static_cast<uint8_t>(packet.size())}, 0);
  std::copy(packet.begin(), packet.end(), p.begin() + 28);
  return Sealed(p, serial);
}

// The pages of an Ogg file, each whole.
std::vector<Bytes> PagesOf(const Bytes& file) {
  std::vector<Bytes> pages;
  for (size_t at = 0; at + 27 <= file.size();) {
    size_t size = 27 + file[at + 26];
    for (size_t i = 0; i < file[at + 26]; ++i) size += file[at + 27 + i];
    pages.push_back(Slice(file, at, size));
    at += size;
  }
  return pages;
}

// The bytes of `file` up to the end of its first page with the last-page bit.
int64_t FirstEnd(const Bytes& file) {
  int64_t end = 0;
  for (const Bytes& page : PagesOf(file)) {
    end += page.size();
    if (page[5] & kLast) break;
  }
  return end;
}

std::vector<std::string> OggFamilyFixtures() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_TEST_DATA)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".ogg" || ext == ".opus" || ext == ".oga" || ext == ".ogv") {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OggPageCrc, MatchesTheChecksumOfEveryPageEncodersWrote) {
  size_t checked = 0;
  for (const std::string& name : OggFamilyFixtures()) {
    for (Bytes page : PagesOf(Fixture(name))) {
      const uint32_t stored = page[22] | page[23] << 8 | page[24] << 16 | uint32_t{page[25]} << 24;
      ASSERT_EQ(OggPageCrc(page), stored) << name;
      EXPECT_EQ(BitwiseCrc(page), stored) << name;
      // The checksum field counts as zero; any other byte changes it.
      page[23] ^= 0xA5;
      EXPECT_EQ(OggPageCrc(page), stored) << name;
      page.back() ^= 0x01;
      EXPECT_NE(OggPageCrc(page), stored) << name;
      ++checked;
    }
  }
  EXPECT_GT(checked, 30u);
}

TEST(OggPageCrc, TheCacheGivesEachPageItsOwnCrcWhereverPagesOverlap) {
  // Random bytes taken as pages of many lengths, overlapping, one after
  // another, with gaps, backwards (a new origin) and past 1 MiB on.
  const Bytes data = RandomBytes(3 << 20, 77, true);
  TempDir dir;
  WriteBytes(dir / "c.bin", data);
  InputView view(InputFile::OpenRead(dir / "c.bin"));
  OggCrcCache crcs;
  const std::pair<int64_t, int64_t> pages[] = {{0, 28},
                                               {5, 65307},
                                               {282, 65142},
                                               {283, 30},
                                               {60000, 9000},
                                               {70000, 26},
                                               {69000, 500},
                                               {1 << 20, 4000},
                                               {(1 << 20) + 7, 65307},
                                               {(2 << 20) + 1, 100000},
                                               {100, 1000},
                                               {static_cast<int64_t>(data.size()) - 40, 40}};
  for (const auto& [pos, length] : pages) {
    SCOPED_TRACE(pos);
    const Bytes page = Slice(data, pos, length);
    uint32_t crc = 0;
    ASSERT_TRUE(crcs.pageCrc(view, pos, length, &page[22], crc));
    EXPECT_EQ(crc, BitwiseCrc(page));
  }
  uint32_t crc = 0;
  EXPECT_FALSE(crcs.pageCrc(view, static_cast<int64_t>(data.size()) - 40, 41, &data[22], crc));
}

TEST(OggPageCrc, EachByteIsRunThroughTheCrcAboutOnce) {
  // Pages checked one after another from `first` on, `step` bytes apart,
  // each `length` long: the bytes the cache asks of the input stay near
  // those the pages span (the first page's twice: straight, then for the
  // marks a page inside it needs), however many pages each byte lies in.
  struct Layout {
    const char* what;
    int64_t first, step, length, pages;
  };
  const Layout layouts[] = {
      {"a stream's pages, end to end", 17, 4000, 4000, 60},
      {"pages of odd lengths, end to end", 3, 4097, 4097, 60},
      {"a header every 300 bytes claiming 64 KiB", 5, 300, 65307, 200},
      {"a header every 64 bytes claiming 4 KiB", 64, 64, 4096, 500},
      {"a header every 1000 bytes claiming 8 KiB", 9, 1000, 8192, 300},
  };
  const Bytes data = RandomBytes(1 << 20, 78, true);
  TempDir dir;
  WriteBytes(dir / "c.bin", data);
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.what);
    InputView view(InputFile::OpenRead(dir / "c.bin"));
    OggCrcCache crcs;
    for (int64_t i = 0; i < l.pages; ++i) {
      const int64_t pos = l.first + i * l.step;
      uint32_t crc = 0;
      ASSERT_TRUE(crcs.pageCrc(view, pos, l.length, &data[pos + 22], crc));
      ASSERT_EQ(crc, BitwiseCrc(Slice(data, pos, l.length))) << i;
    }
    const int64_t spanned = (l.pages - 1) * l.step + l.length;
    EXPECT_LE(view.asked(), spanned + l.length + l.pages * 128);
  }
}

struct Group {
  int64_t pages, length;
  bool begins, complete;
};

Group Follow(const Bytes& data) {
  TempDir dir;
  WriteBytes(dir / "g.bin", data);
  InputView view(InputFile::OpenRead(dir / "g.bin"));
  OggCrcCache crcs;
  const OggGroup g = FollowOggGroup(view, 0, crcs);
  return {g.pages, g.length, g.begins, g.complete()};
}

TEST(OggGroup, FollowsTheLogicalStreamsBySerialNumber) {
  const Bytes packet = {1, 'v', 'o', 'r', 'b', 'i', 's'};
  const Bytes a0 = FirstPage(packet, 7), b0 = FirstPage(packet, 8);
  const Bytes a = Sealed(PageOfLength(0, 300), 7), b = Sealed(PageOfLength(0, 200), 8);
  const Bytes aEnd = Sealed(PageOfLength(kLast, 150), 7), bEnd = Sealed(PageOfLength(kLast, 90), 8);
  Bytes bad = a;
  bad[100] ^= 1;
  const Bytes c = Sealed(PageOfLength(0, 300), 9), c0 = FirstPage(packet, 9);
  struct Case {
    const char* what;
    std::vector<Bytes> pages;
    size_t taken;  // the first pages that make the run
    bool begins, complete;
  } cases[] = {
      {"interleaved, the first to end is not the last",
       {a0, b0, a, b, aEnd, b, bEnd, c0},
       7,
       true,
       true},
      {"one after another: one group at a time", {a0, aEnd, b0, bEnd}, 2, true, true},
      {"a page failing its CRC", {a0, a, bad, aEnd}, 2, true, false},
      {"a page of a stream that did not begin", {a0, a, c, aEnd}, 2, true, false},
      {"a first page after other pages", {a0, a, b0, aEnd}, 2, true, false},
      {"a page after its stream's last page", {a0, b0, aEnd, a, bEnd}, 3, true, false},
      {"a second first page of one stream", {a0, FirstPage(packet, 7), aEnd}, 1, true, false},
      {"begun mid-stream: any stream up to the end of all seen",
       {a, b, aEnd, b, bEnd, c},
       5,
       false,
       false},
      {"begun mid-stream: up to a first page", {a, a, c0, aEnd}, 2, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Bytes data;
    int64_t length = 0;
    for (size_t i = 0; i < k.pages.size(); ++i) {
      Append(data, k.pages[i]);
      if (i < k.taken) length += k.pages[i].size();
    }
    Append(data, RandomBytes(120, 5));
    const Group g = Follow(data);
    EXPECT_EQ(g.pages, static_cast<int64_t>(k.taken));
    EXPECT_EQ(g.length, length);
    EXPECT_EQ(g.begins, k.begins);
    EXPECT_EQ(g.complete, k.complete);
  }
  // The input ends inside the last page: the run ends before it.
  const Group cut = Follow(Concat({a0, a, Slice(aEnd, 0, 149)}));
  EXPECT_EQ(cut.pages, 2);
  EXPECT_FALSE(cut.complete);
}

Bytes Le(std::initializer_list<std::pair<uint64_t, int>> fields) {
  Bytes b;
  for (auto [value, width] : fields) {
    // A field wider than 8 bytes is zero above its eighth byte.
    for (int i = 0; i < width; ++i) b.push_back(i < 8 ? static_cast<uint8_t>(value >> (8 * i)) : 0);
  }
  return b;
}

TEST(OggCodec, IdentificationHeadersAndTheLengthOfTheLastGranule) {
  const Bytes vorbis = Concat({{1, 'v', 'o', 'r', 'b', 'i', 's'},
                               Le({{0, 4}, {2, 1}, {44100, 4}, {0, 12}, {0xB8, 1}, {1, 1}})});
  const Bytes opus = Concat({{'O', 'p', 'u', 's', 'H', 'e', 'a', 'd'},
                             Le({{1, 1}, {6, 1}, {312, 2}, {44100, 4}, {0, 2}, {1, 1}})});
  // STREAMINFO: 96000 Hz (20 bits), 8 channels (3 bits, less one), 24 bits.
  Bytes flac = {0x7F, 'F', 'L', 'A', 'C', 1, 0, 0, 1, 'f', 'L', 'a', 'C', 0, 0, 0, 34};
  Bytes streaminfo(34, 0);
  streaminfo[10] = 96000 >> 12, streaminfo[11] = (96000 >> 4) & 0xFF;
  streaminfo[12] = static_cast<uint8_t>((96000 & 0xF) << 4 | 7 << 1 | 1);
  Append(flac, streaminfo);
  Bytes otherBlock = flac;
  otherBlock[13] = 4;  // a Vorbis comment where STREAMINFO must be
  Bytes speex = {'S', 'p', 'e', 'e', 'x', ' ', ' ', ' '};
  speex.resize(80, 0);
  PutLe32(speex, 36, 32000);
  PutLe32(speex, 48, 2);
  // Theora 3.2.1, 25/2 frames a second, key frame shift 6.
  Bytes theora = {0x80, 't', 'h', 'e', 'o', 'r', 'a', 3, 2, 1};
  theora.resize(42, 0);
  theora[25] = 25, theora[29] = 2;
  theora[40] = 0, theora[41] = 6 << 5;
  Bytes oldTheora = theora;
  oldTheora[9] = 0;
  struct Case {
    const char* what;
    Bytes packet;
    OggCodec codec;
    int64_t rate, channels, granule;
    double seconds;
  } cases[] = {
      {"Vorbis", vorbis, OggCodec::Vorbis, 44100, 2, 88200, 2.0},
      {"Opus: less the pre-skip, at 48 kHz", opus, OggCodec::Opus, 48000, 6, 48312, 1.0},
      {"Opus: a granule within the pre-skip", opus, OggCodec::Opus, 48000, 6, 100, 0.0},
      {"FLAC", flac, OggCodec::Flac, 96000, 8, 48000, 0.5},
      {"FLAC without STREAMINFO first", otherBlock, OggCodec::Unknown, 0, 0, 48000, 0.0},
      {"Speex", speex, OggCodec::Speex, 32000, 2, 16000, 0.5},
      {"Theora: key frame 2 and 23 frames after it", theora, OggCodec::Theora, 0, 0, 2 << 6 | 23,
       2.0},
      {"Theora before 3.2.1 counts from 0", oldTheora, OggCodec::Theora, 0, 0, 2 << 6 | 23, 2.08},
      {"no packet ends on the last page", vorbis, OggCodec::Vorbis, 44100, 2, -1, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OggCodecInfo info = ReadOggCodec(c.packet);
    EXPECT_EQ(info.codec, c.codec);
    EXPECT_EQ(info.sampleRate, c.rate);
    EXPECT_EQ(info.channels, c.channels);
    EXPECT_NEAR(OggSeconds(info, c.granule), c.seconds, 0.001);
    // One byte short of its header, a packet names no codec.
    EXPECT_EQ(ReadOggCodec(std::span(c.packet).first(c.packet.size() - 1)).codec,
              OggCodec::Unknown);
  }
}

}  // namespace

namespace {

// The real files of every codec, with what ffprobe reports of them (made
// with make_codec_fixtures.sh and make_ogg_wav_fixtures.sh).
struct CodecFixture {
  const char* name;
  const char* extension;
  const char* format;  // as the stream line names it
  int64_t rate, channels;
  double seconds;
};
const CodecFixture kCodecFixtures[] = {
    {"opus_stereo_44k_input.opus", "opus", "OggOpus", 48000, 2, 0.6065},
    {"opus_mono_16k_input.opus", "opus", "OggOpus", 48000, 1, 0.4065},
    {"speex_wb_mono_16k.oga", "oga", "OggSpeex", 16000, 1, 0.42},
    {"flac_in_ogg_stereo_22k.oga", "oga", "OggFLAC", 22050, 2, 0.3},
    {"theora_vorbis.ogv", "ogv", "Theora+Vorbis", 22050, 1, 1.0},
    {"vorbis_stereo.ogg", "ogg", "OggVorbis", 44100, 2, 0.3},
    {"vorbis_mono.ogg", "ogg", "OggVorbis", 22050, 1, 0.3},
};

TEST(OggCarver, CodecRuleCarvesEveryCodecWholeNamedAndMeasured) {
  for (const CodecFixture& f : kCodecFixtures) {
    SCOPED_TRACE(f.name);
    const Bytes file = Fixture(f.name);
    Bytes data = RandomBytes(1357, 91);
    const int64_t at = Append(data, file);
    Append(data, RandomBytes(246, 92));
    Pass p;
    p.host.minFrames = 2;
    p.host.oggCodecs = true;
    p.run(data);
    ASSERT_EQ(p.written, 1);
    EXPECT_EQ(ReadBytes(p.dir / (std::string("out/001.") + f.extension)), file);
    ASSERT_EQ(p.host.streams.size(), 1u);
    const StreamReport& r = p.host.streams[0];
    EXPECT_EQ(r.facts.frames, static_cast<int64_t>(CountPages(file)));
    EXPECT_EQ(r.facts.sampleRateHz, f.rate);
    EXPECT_EQ(r.facts.channels, f.channels);
    EXPECT_NEAR(r.facts.seconds, f.seconds, 0.1);
    // The average bit rate of the whole file.
    EXPECT_NEAR(r.facts.bitrateKbps, file.size() * 8 / f.seconds / 1000, r.facts.bitrateKbps * 0.1);
    // The line of the newer formats, with the codec's name.
    const std::string line = p.host.log[1];
    EXPECT_EQ(line.rfind(LineStart(1, at, file.size()) + " " + f.format + " ", 0), 0u) << line;
    char tail[32];
    std::snprintf(tail, sizeof tail, "%2lldch%7.1fsec", static_cast<long long>(f.channels),
                  r.facts.seconds);
    EXPECT_TRUE(line.ends_with(tail)) << line;

    // Without the rule, the classic line and bytes: up to the first page
    // with the last-page bit, whatever stream it ends.
    Pass classic;
    classic.host.minFrames = 2;
    classic.run(data);
    ASSERT_EQ(classic.written, 1);
    const Bytes first = Slice(file, 0, FirstEnd(file));
    EXPECT_EQ(ReadBytes(classic.output(1)), first);
    EXPECT_EQ(classic.host.log[1].rfind(LineStart(1, at, first.size()) + " OggVorbis 0", 0), 0u)
        << classic.host.log[1];
    EXPECT_TRUE(classic.host.log[1].ends_with("    0.0sec")) << classic.host.log[1];
  }
}

TEST(OggCarver, CodecRuleKeepsChainedLinksApartAndCarvesUnknownCodecs) {
  // Two Opus files one after the other: two outputs, each with its figures.
  const Bytes mono = Fixture("opus_mono_16k_input.opus");
  const Bytes stereo = Fixture("opus_stereo_44k_input.opus");
  ASSERT_EQ(Fixture("opus_chained.opus"), Concat({mono, stereo}));
  Pass chained;
  chained.host.minFrames = 2;
  chained.host.oggCodecs = true;
  chained.run(Concat({RandomBytes(77, 93), mono, stereo, RandomBytes(77, 94)}));
  ASSERT_EQ(chained.written, 2);
  EXPECT_EQ(ReadBytes(chained.dir / "out/001.opus"), mono);
  EXPECT_EQ(ReadBytes(chained.dir / "out/002.opus"), stereo);
  EXPECT_EQ(chained.host.streams[0].facts.channels, 1);
  EXPECT_EQ(chained.host.streams[1].facts.channels, 2);

  // A codec the rule does not know: carved as Ogg, with no rate.
  const Bytes unknown =
      Concat({FirstPage({0x80, 'd', 'a', 'i', 'l', 'a'}, 5), Sealed(PageOfLength(0, 400), 5, 10),
              Sealed(PageOfLength(kLast, 300), 5, 20)});
  Pass other;
  other.host.oggCodecs = true;
  other.host.oggWhole = true;  // complete, so taken below the minimum of pages
  other.run(Concat({RandomBytes(99, 95), unknown, RandomBytes(99, 96)}));
  ASSERT_EQ(other.written, 1);
  EXPECT_EQ(ReadBytes(other.dir / "out/001.ogg"), unknown);
  EXPECT_NE(other.host.log[1].find("] Ogg               3Frames    0kbps  0.0kHz 0ch    0.0sec"),
            std::string::npos)
      << other.host.log[1];

  // A page whose CRC fails ends the stream before it under the rule; the
  // classic rules do not look at CRCs.
  Bytes broken = mono;
  broken[broken.size() - 5] ^= 0x40;
  Pass checked;
  checked.host.minFrames = 2;
  checked.host.oggCodecs = true;
  checked.run(Concat({RandomBytes(50, 97), broken}));
  ASSERT_EQ(checked.written, 1);
  EXPECT_EQ(ReadBytes(checked.dir / "out/001.opus"),
            Slice(broken, 0, PagesOf(mono)[0].size() + PagesOf(mono)[1].size()));
  Pass blind;
  blind.host.minFrames = 2;
  blind.run(Concat({RandomBytes(50, 97), broken}));
  EXPECT_EQ(ReadBytes(blind.output(1)), broken);
}

}  // namespace
