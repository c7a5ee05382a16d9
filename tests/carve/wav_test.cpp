// The RIFF WAVE carver on real WAVE files from tests/data and on headers
// built here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "carve/engine/extract.h"
#include "platform/descriptor.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

// A RIFF header whose size field is `size`, followed by `body` bytes of
// format and data chunks ("fmt " first) filled with blanks.
Bytes Wave(uint32_t size, size_t body, const char* form = "WAVEfmt ", const char* id = "RIFF") {
  Bytes b(id, id + 4);
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
  b.insert(b.end(), form, form + 8);
  b.resize(b.size() + body, ' ');
  return b;
}

// A well-formed WAVE file of `total` bytes.
Bytes WaveOfLength(size_t total) { return Wave(static_cast<uint32_t>(total - 8), total - 16); }

std::string Line(int number, int64_t start, int64_t length) {
  char text[96];
  std::snprintf(text, sizeof text, "[%03d($%08llX-$%08llX)] RIFF Wav", number,
                static_cast<long long>(start), static_cast<long long>(start + length - 1));
  return text;
}

std::string Summary(int found, int written) {
  return std::to_string(found) + "個のwavを発見。うち" + std::to_string(written) +
         "個を抽出しました";
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
  std::string output(int n) const { return dir / ("out/00" + std::to_string(n) + ".wav"); }

  void run(const Bytes& data, const std::string& outPattern) {
    WriteBytes(input(), data);
    written = ExtractWav(host, input(), outPattern);
    EXPECT_EQ(ReadBytes(input()), data) << "the input must never change";
    EXPECT_EQ(OpenFileCount(), 0) << "every file closed";
  }
  void run(const Bytes& data) { run(data, dir / "out/%3.3d.mp3"); }
};

TEST(WavCarver, RealWaveFilesComeOutByteIdentical) {
  Bytes u8 = Fixture("wave_u8_mono.wav");
  Bytes s16 = Fixture("wave_s16_stereo.wav");
  Bytes data = RandomBytes(1001, 1);
  int64_t at1 = Append(data, u8);
  Append(data, RandomBytes(515, 2));
  int64_t at2 = Append(data, s16);
  Append(data, RandomBytes(37, 3));

  Pass p;
  p.run(data);
  EXPECT_EQ(p.written, 2);
  ASSERT_EQ(p.host.log.size(), 4u);
  EXPECT_EQ(p.host.log[0], "\"" + p.input() + "\"からWavファイルを探しますっ！");
  EXPECT_EQ(p.host.log[1], Line(1, at1, u8.size()));
  EXPECT_EQ(p.host.log[2], Line(2, at2, s16.size()));
  EXPECT_EQ(p.host.log[3], Summary(2, 2));
  EXPECT_EQ(ReadBytes(p.output(1)), u8);
  EXPECT_EQ(ReadBytes(p.output(2)), s16);
  EXPECT_TRUE(p.host.boxes.empty());
}

TEST(WavCarver, OtherRiffFilesAreNotTaken) {
  Bytes data = RandomBytes(700, 11);
  // A valid WAVE file whose first chunk is a LIST chunk.
  Append(data, Fixture("wave_list_first.wav"));
  Append(data, RandomBytes(300, 12));
  Append(data, Wave(2000, 1992, "AVI LIST"));
  Append(data, RandomBytes(300, 13));
  Append(data, Wave(2000, 1992, "WAVEfmt ", "RIFX"));
  Append(data, RandomBytes(300, 14));
  Append(data, Wave(2000, 1992, "WAVEFMT "));
  Append(data, RandomBytes(300, 15));

  Pass p;
  p.run(data);
  EXPECT_EQ(p.written, 0);
  ASSERT_EQ(p.host.log.size(), 2u);
  EXPECT_EQ(p.host.log[1], "Not Found (T-T)");
  EXPECT_FALSE(std::filesystem::exists(p.dir / "out"));
}

TEST(WavCarver, LogLineOfA1044ByteFile) {
  Bytes wave = Wave(1036, 1028);
  Bytes data = RandomBytes(4096, 21);
  Append(data, wave);
  Append(data, RandomBytes(100, 22));

  Pass p;
  p.run(data);
  ASSERT_EQ(p.host.log.size(), 3u);
  EXPECT_EQ(p.host.log[1], "[001($00001000-$00001413)] RIFF Wav");
  EXPECT_EQ(ReadBytes(p.output(1)), wave);
}

TEST(WavCarver, SizeFieldBeyondTheInputIsCutAtItsEnd) {
  Bytes wave = Wave(100000, 500);
  Bytes data = RandomBytes(333, 31);
  int64_t at = Append(data, wave);
  Append(data, RandomBytes(20, 32));

  Pass p;
  p.run(data);
  EXPECT_EQ(p.written, 1);
  ASSERT_EQ(p.host.log.size(), 3u);
  // The line shows the end that the size field claims.
  EXPECT_EQ(p.host.log[1], Line(1, at, 100000 + 8));
  EXPECT_EQ(ReadBytes(p.output(1)), Slice(data, at, data.size() - at));
  EXPECT_EQ(p.host.log[2], Summary(1, 1));
}

TEST(WavCarver, HugeSizeFieldsMoveThePassPastTheCandidate) {
  for (uint32_t size : {0xFFFFFFF8u, 0xFFFFFFFFu}) {
    Bytes data = RandomBytes(0x40, 41);
    Append(data, Wave(size, 100));
    // Another WAVE file inside the claimed range is not found.
    Append(data, WaveOfLength(200));
    Append(data, RandomBytes(60, 42));

    Pass p;
    p.run(data);
    EXPECT_EQ(p.written, 1) << size;
    ASSERT_EQ(p.host.log.size(), 3u);
    // The claimed end needs more than eight hexadecimal digits.
    EXPECT_EQ(p.host.log[1], Line(1, 0x40, int64_t{size} + 8));
    const std::string& line = p.host.log[1];
    EXPECT_EQ(line.find(")]") - line.find("-$") - 2, 9u) << line;
    EXPECT_EQ(ReadBytes(p.output(1)), Slice(data, 0x40, data.size() - 0x40));
    EXPECT_EQ(p.host.log[2], Summary(1, 1));
  }
}

TEST(WavCarver, BackToBackFilesAreStreamsOneAndTwo) {
  Bytes first = WaveOfLength(600);
  Bytes second = Fixture("wave_u8_mono.wav");
  Bytes data = RandomBytes(13, 51);
  int64_t at = Append(data, first);
  Append(data, second);
  Append(data, RandomBytes(40, 52));

  Pass p;
  p.run(data);
  EXPECT_EQ(p.written, 2);
  ASSERT_EQ(p.host.log.size(), 4u);
  EXPECT_EQ(p.host.log[1], Line(1, at, first.size()));
  EXPECT_EQ(p.host.log[2], Line(2, at + first.size(), second.size()));
  EXPECT_EQ(ReadBytes(p.output(1)), first);
  EXPECT_EQ(ReadBytes(p.output(2)), second);
}

TEST(WavCarver, FileFillingTheWholeInput) {
  Bytes wave = Fixture("wave_s16_stereo.wav");
  Pass p;
  p.run(wave);
  EXPECT_EQ(p.written, 1);
  ASSERT_EQ(p.host.log.size(), 3u);
  EXPECT_EQ(p.host.log[1], Line(1, 0, wave.size()));
  EXPECT_EQ(p.host.log[2], Summary(1, 1));
  EXPECT_EQ(ReadBytes(p.output(1)), wave);
}

TEST(WavCarver, RiffTooCloseToTheEndEndsThePass) {
  // "RI" with fewer than 16 bytes from it to the end: the pass ends there,
  // normally, with its summary.
  Bytes wave = WaveOfLength(300);
  Bytes data = RandomBytes(1500, 61);
  Append(data, wave);
  Append(data, RandomBytes(181, 62));
  Bytes tail = Wave(100, 0);
  tail.resize(15);
  Append(data, tail);

  Pass p;
  p.run(data);
  EXPECT_EQ(p.written, 1);
  ASSERT_EQ(p.host.log.size(), 3u);
  EXPECT_EQ(p.host.log[2], Summary(1, 1));
  EXPECT_TRUE(p.host.boxes.empty());
  // The final progress is that of the candidate, not of the window's end.
  ASSERT_FALSE(p.host.progress.empty());
  EXPECT_LT(p.host.progress.back(), 100);

  Pass none;
  Bytes riffAtEnd = RandomBytes(50, 63);
  Append(riffAtEnd, Bytes{'R', 'I', 'F', 'F'});
  none.run(riffAtEnd);
  ASSERT_EQ(none.host.log.size(), 2u);
  EXPECT_EQ(none.host.log[1], "Not Found (T-T)");
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

TEST(WavCarver, OutputNamesFromThePattern) {
  Bytes first = WaveOfLength(400);
  Bytes second = WaveOfLength(500);
  Bytes one = RandomBytes(10, 71);
  Append(one, first);
  Bytes data = one;
  Append(data, RandomBytes(10, 72));
  Append(data, second);

  // Patterns and the name of stream 1 of the input track.bin.
  struct Case {
    const char* pattern;
    const char* name;
  };
  for (const Case& c :
       {Case{"output/%3.3d.mp3", "output/001.wav"}, Case{"out/%3.3d_%e.raw", "out/001_mp3.wav"},
        // Where replacing the last three bytes would cut a conversion, the
        // name is made as the newer formats make theirs.
        Case{"out/%f.%e", "out/track.bin.wav"}, Case{"out/%3.3d", "out/001.wav"},
        Case{"out/%f-%d%%", "out/track.bin-1%.wav"}}) {
    Pass p;
    p.run(one, p.dir / c.pattern);
    EXPECT_EQ(p.written, 1);
    EXPECT_EQ(ReadBytes(p.dir / c.name), first) << c.pattern;
  }

  // Without a conversion every stream of a pass gets the same name.
  Pass same;
  same.run(data, same.dir / "out/xyz");
  EXPECT_EQ(same.written, 2);
  EXPECT_EQ(ReadBytes(same.dir / "out/wav"), second);

  // A number cut by the last three bytes is kept whole instead.
  Pass cut;
  cut.run(data, cut.dir / "out/x%d");
  EXPECT_EQ(cut.written, 2);
  EXPECT_EQ(ReadBytes(cut.dir / "out/x1.wav"), first);
  EXPECT_EQ(ReadBytes(cut.dir / "out/x2.wav"), second);

  // A plain pattern shorter than three bytes is replaced whole; one that is
  // a conversion is named as by the newer formats.
  Pass shortPattern;
  InDirectory here(shortPattern.dir.path());
  shortPattern.run(data, "ab");
  EXPECT_EQ(shortPattern.written, 2);
  EXPECT_EQ(ReadBytes(shortPattern.dir / "wav"), second);
  shortPattern.run(data, "%d");
  EXPECT_EQ(ReadBytes(shortPattern.dir / "1.wav"), first);
  EXPECT_EQ(ReadBytes(shortPattern.dir / "2.wav"), second);
}

}  // namespace

namespace {

// A RIFF WAVE file whose chunks are `chunks` (id, body size) in that order,
// each body blank and padded to even length; `riffSize` 0 means the true one.
Bytes WaveOfChunks(const std::vector<std::pair<std::string, uint32_t>>& chunks,
                   uint32_t riffSize = 0) {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const auto& [id, size] : chunks) {
    b.insert(b.end(), id.begin(), id.end());
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
    b.resize(b.size() + size + (size & 1), ' ');
  }
  const uint32_t size = riffSize != 0 ? riffSize : static_cast<uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(size >> (8 * i));
  return b;
}

TEST(WavCarver, AnyChunkRuleWalksTheChunksForFmt) {
  using Chunks = std::vector<std::pair<std::string, uint32_t>>;
  Chunks junk63(63, {"JUNK", 3});
  Chunks fmtAt63 = junk63, fmtAt64 = junk63;
  fmtAt63.push_back({"fmt ", 16});
  fmtAt64.push_back({"JUNK", 3});
  fmtAt64.push_back({"fmt ", 16});
  struct Case {
    const char* what;
    Bytes wave;
    bool anyChunk;
    bool taken;
  } cases[] = {
      {"JUNK and bext first, rule off", Fixture("wave_bwf_junk_bext.wav"), false, false},
      {"JUNK and bext first", Fixture("wave_bwf_junk_bext.wav"), true, true},
      {"odd chunk sizes are padded", WaveOfChunks({{"LIST", 5}, {"fmt ", 16}, {"data", 9}}), true,
       true},
      {"fmt as the 64th chunk", WaveOfChunks(fmtAt63), true, true},
      {"fmt as the 65th chunk", WaveOfChunks(fmtAt64), true, false},
      {"fmt beyond the RIFF size", WaveOfChunks({{"JUNK", 100}, {"fmt ", 16}}, 4 + 108), true,
       false},
      {"fmt header just inside the RIFF size", WaveOfChunks({{"JUNK", 100}, {"fmt ", 16}}, 4 + 116),
       true, true},
      {"fmt beyond 1 MiB", WaveOfChunks({{"JUNK", (1 << 20) - 12}, {"fmt ", 16}}), true, false},
      {"fmt header just inside 1 MiB", WaveOfChunks({{"JUNK", (1 << 20) - 28}, {"fmt ", 16}}), true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes data = RandomBytes(1001, 61);
    const int64_t at = Append(data, c.wave);
    Append(data, RandomBytes(99, 62));
    Pass p;
    p.host.wavAnyChunk = c.anyChunk;
    p.run(data);
    ASSERT_EQ(p.written, c.taken ? 1 : 0);
    if (!c.taken) continue;
    // The RIFF size gives the length, as for any WAVE file.
    const int64_t length = (c.wave[4] | c.wave[5] << 8 | c.wave[6] << 16) + 8;
    EXPECT_EQ(ReadBytes(p.output(1)),
              Slice(c.wave, 0, std::min<int64_t>(length, static_cast<int64_t>(c.wave.size()))));
    EXPECT_EQ(p.host.log[1], Line(1, at, length));
  }
}

}  // namespace

namespace {

// RIFF and RIFX files of game codecs and of the standard layouts that share
// their format tags (made by make_codec_fixtures.sh), with the extension
// their format chunk gives and their rates.
struct CodecFixture {
  const char* name;
  const char* extension;
  bool bigEndian;
  int64_t rate, kbps;
};
const CodecFixture kCodecFixtures[] = {
    {"wwise_vorbis_stereo_48k.wem", "wem", false, 48000, 96},
    {"wwise_opus_stereo_48k.wem", "wem", false, 48000, 64},
    {"wwise_ima_mono_48k.wem", "wem", false, 48000, 204},
    {"wwise_pcm_rifx_stereo_48k.wem", "wem", true, 48000, 1536},
    {"atrac3_stereo_44k.at3", "at3", false, 44100, 132},
    {"atrac3plus_stereo_44k.at3", "at3", false, 44100, 352},
    {"atrac9_stereo_48k.at9", "at9", false, 48000, 96},
    {"xma1_stereo_48k.xma", "xma", false, 48000, 128},
    {"xma2_stereo_48k.xma", "xma", false, 48000, 128},
    {"wave_rifx_s16_stereo.wav", "wav", true, 22050, 705},
    {"wave_extensible_s24_stereo.wav", "wav", false, 24000, 1152},
    {"wave_msadpcm_mono.wav", "wav", false, 8000, 32},
    {"wave_s16_stereo.wav", "wav", false, 22050, 705},
};

TEST(WavCarver, CodecRuleFindsRifxAndNamesOutputsByCodec) {
  for (const CodecFixture& f : kCodecFixtures) {
    SCOPED_TRACE(f.name);
    const Bytes file = Fixture(f.name);
    Bytes data = RandomBytes(999, 81);
    const int64_t at = Append(data, file);
    Append(data, RandomBytes(111, 82));
    Pass p;
    p.host.riffCodecs = true;
    p.run(data);
    ASSERT_EQ(p.written, 1);
    EXPECT_EQ(ReadBytes(p.dir / (std::string("out/001.") + f.extension)), file);
    std::string line = Line(1, at, file.size());
    if (f.bigEndian) line.replace(line.find("RIFF"), 4, "RIFX");
    EXPECT_EQ(p.host.log[1], line);
    ASSERT_EQ(p.host.streams.size(), 1u);
    EXPECT_EQ(p.host.streams[0].facts.sampleRateHz, f.rate);
    EXPECT_NEAR(p.host.streams[0].facts.bitrateKbps, f.kbps, 1);

    // Without the rule: RIFX is not taken, RIFF as ever.
    Pass classic;
    classic.run(data);
    EXPECT_EQ(classic.written, f.bigEndian ? 0 : 1);
    if (f.bigEndian) continue;
    EXPECT_EQ(classic.host.log[1], Line(1, at, file.size()));
    EXPECT_EQ(ReadBytes(classic.output(1)), file);
  }
}

TEST(WavCarver, RifxChunksAreWalkedBigEndian) {
  // The RIFX fixture with a LIST chunk before "fmt ", its sizes big-endian.
  const Bytes rifx = Fixture("wave_rifx_s16_stereo.wav");
  Bytes list = {'L', 'I', 'S', 'T', 0, 0, 0, 5, 'I', 'N', 'F', 'O', 'x', 0};
  Bytes listFirst = Slice(rifx, 0, 12);
  Append(listFirst, list);
  Append(listFirst, Slice(rifx, 12, rifx.size() - 12));
  const uint32_t size = static_cast<uint32_t>(listFirst.size() - 8);
  for (int i = 0; i < 4; ++i) listFirst[4 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  for (bool anyChunk : {false, true}) {
    Pass p;
    p.host.riffCodecs = true;
    p.host.wavAnyChunk = anyChunk;
    Bytes data = RandomBytes(100, 83);
    Append(data, listFirst);
    Append(data, RandomBytes(100, 84));
    p.run(data);
    ASSERT_EQ(p.written, anyChunk ? 1 : 0);
    if (!anyChunk) continue;
    EXPECT_EQ(ReadBytes(p.output(1)), listFirst);
    EXPECT_EQ(p.host.streams[0].facts.sampleRateHz, 22050);
  }
}

// A RIFF WAVE file: a 16-byte format chunk of these fields, then a data
// chunk of `dataBytes` (none when negative).
struct FormatFields {
  uint16_t tag = 1, channels = 2;
  uint32_t rate = 22050, byteRate = 88200;
  uint16_t blockAlign = 4, bits = 16;
};
Bytes WaveOfFormat(const FormatFields& f, int64_t dataBytes = 64) {
  Bytes w = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0};
  auto put = [&w](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) w.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  put(f.tag, 2), put(f.channels, 2), put(f.rate, 4), put(f.byteRate, 4);
  put(f.blockAlign, 2), put(f.bits, 2);
  if (dataBytes >= 0) {
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    put(static_cast<uint32_t>(dataBytes), 4);
    w.resize(w.size() + dataBytes + (dataBytes & 1), 0x5A);
  }
  const uint32_t size = static_cast<uint32_t>(w.size() - 8);
  for (int i = 0; i < 4; ++i) w[4 + i] = static_cast<uint8_t>(size >> (8 * i));
  return w;
}

// With the sound rule a RIFF file is taken only when its format chunk
// describes sound and its data chunk holds bytes; without it, as ever.
TEST(WavCarver, SoundRuleTakesOnlyFormatsThatDescribeSound) {
  struct Case {
    const char* what;
    FormatFields f;
    int64_t dataBytes;
    bool taken;
  } cases[] = {
      {"16-bit stereo PCM", {}, 64, true},
      {"8-bit mono at 768 kHz", {1, 1, 768000, 768000, 1, 8}, 10, true},
      {"24 bits in 32-bit blocks", {1, 2, 48000, 384000, 8, 24}, 64, true},
      {"IMA ADPCM", {0x11, 1, 8000, 4055, 256, 4}, 256, true},
      {"a rate of 0", {1, 2, 0, 0, 4, 16}, 64, false},
      {"a rate above 768 kHz", {1, 1, 800000, 1600000, 2, 16}, 64, false},
      {"no channels", {1, 0, 22050, 0, 0, 16}, 64, false},
      {"65 channels", {1, 65, 8000, 1040000, 130, 16}, 64, false},
      {"a byte rate that is not rate times block", {1, 2, 22050, 88000, 4, 16}, 64, false},
      {"a block too small for the channels", {1, 2, 22050, 44100, 2, 16}, 64, false},
      {"no bits a sample", {1, 2, 22050, 88200, 4, 0}, 64, false},
      {"a codec of no bytes a second", {0x11, 1, 8000, 0, 256, 4}, 64, false},
      {"a codec of more than 64 bits a sample", {0x55, 1, 8000, 64001, 1, 0}, 64, false},
      {"an empty data chunk", {}, 0, false},
      {"no data chunk", {}, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes wave = WaveOfFormat(c.f, c.dataBytes);
    Bytes data = RandomBytes(1001, 71);
    Append(data, wave);
    Append(data, RandomBytes(99, 72));
    for (bool rule : {false, true}) {
      Pass p;
      p.host.wavSound = rule;
      p.run(data);
      EXPECT_EQ(p.written, !rule || c.taken ? 1 : 0) << rule;
      if (p.written == 1) {
        EXPECT_EQ(ReadBytes(p.output(1)), wave);
      }
    }
  }
  // Every real file of every codec still comes out.
  for (const CodecFixture& f : kCodecFixtures) {
    SCOPED_TRACE(f.name);
    Bytes data = RandomBytes(999, 73);
    Append(data, Fixture(f.name));
    Pass p;
    p.host.wavSound = p.host.riffCodecs = true;
    p.run(data);
    EXPECT_EQ(p.written, 1);
  }
}

}  // namespace
