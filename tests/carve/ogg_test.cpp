// Ogg page decoding, the measurement of a run of pages and the Ogg carver,
// on pages built here and on real Vorbis files from tests/data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <regex>

#include "carve/extract.h"
#include "carve/input_view.h"
#include "carve/ogg_page.h"
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

  // No conversion left once "%3d" becomes "ogg": every stream gets the same
  // name and the later one overwrites the earlier.
  Pass same;
  same.run(data, same.dir / "out/%3d");
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
  p.run(data, "%d");
  EXPECT_EQ(p.written, 2);
  EXPECT_EQ(ReadBytes(p.dir / "ogg"), second);
}

TEST(OggCarver, PatternWithATextConversionFailsEachStream) {
  Bytes first, second;
  Bytes data = TwoStreams(first, second);

  Pass ignore;
  ignore.run(data, ignore.dir / "out/%s.mp3");
  EXPECT_EQ(ignore.written, 0);
  ASSERT_EQ(ignore.host.boxes.size(), 2u);
  for (int n = 1; n <= 2; ++n) {
    const ShownBox& box = ignore.host.boxes[n - 1];
    EXPECT_EQ(box.type, BoxType::Error);
    EXPECT_EQ(box.buttons, BoxButtons::AbortIgnore);
    const std::string tail =
        "\n" + std::to_string(n) + "番目のファイルの処理中にエラーが起こりました";
    ASSERT_GT(box.text.size(), tail.size());
    EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
    // The log line is "* " and the message of the box.
    EXPECT_EQ(ignore.host.log[2 * n], "* " + box.text.substr(0, box.text.size() - tail.size()));
  }
  EXPECT_EQ(ignore.host.log.back(), Summary(2, 0));
  // The directory comes from the pattern as typed; no file is opened in it.
  EXPECT_TRUE(std::filesystem::is_empty(ignore.dir / "out"));

  Pass abort;
  abort.host.answers = {BoxAnswer::Abort};
  abort.run(data, abort.dir / "out/%s.mp3");
  EXPECT_EQ(abort.written, 0);
  ASSERT_EQ(abort.host.log.size(), 3u);
  EXPECT_EQ(abort.host.log[2].substr(0, 2), "* ");
  EXPECT_EQ(abort.host.boxes.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(abort.dir / "out"));
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
