// Inputs built to make the probes expensive: every pass ends, writes only
// byte ranges of the input, and finds what the pattern holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "carve/extract.h"
#include "carve/formats.h"
#include "platform/file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

Bytes Repeat(const Bytes& unit, size_t size) {
  Bytes out;
  out.reserve(size + unit.size());
  while (out.size() < size) out.insert(out.end(), unit.begin(), unit.end());
  out.resize(size);
  return out;
}

Bytes Frame(std::initializer_list<uint8_t> header, size_t length) {
  Bytes f(length, 0);
  std::copy(header.begin(), header.end(), f.begin());
  return f;
}

Bytes OggPage(int segments, uint8_t type = 0) {
  Bytes p = {'O', 'g', 'g', 'S', 0, type};
  p.resize(26, 0);
  p.push_back(static_cast<uint8_t>(segments));
  p.resize(p.size() + segments, 0);
  return p;
}

Bytes Garbage() {
  Bytes g;
  for (int i = 1; i <= 100; ++i) g.push_back(static_cast<uint8_t>(i));
  return g;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Pattern {
  const char* name;
  Bytes unit;
  // Streams each pass writes from 256 KiB of it, by command word; the pass
  // of a format not named writes none.
  std::map<std::string_view, int> written;
};

// An ADTS header of an MPEG-4 AAC-LC frame, 44.1 kHz stereo, no CRC, of
// `length` bytes.
Bytes AdtsFrame(int length) {
  Bytes f = {0xFF, 0xF1, 0x50, 0x80, 0, 0, 0xFC};
  f[3] |= static_cast<uint8_t>(length >> 11);
  f[4] = static_cast<uint8_t>(length >> 3);
  f[5] = static_cast<uint8_t>((length & 7) << 5 | 0x1F);
  f.resize(length, 0);
  return f;
}

const size_t kSize = 256 * 1024;

std::vector<Pattern> Patterns() {
  Bytes m1 = Frame({0xFF, 0xFB, 0x90, 0x64}, 417);
  Bytes shortest = Frame({0xFF, 0xF3, 0x14, 0xC4}, 24);
  Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  // MPEG-1 Layer II, 160 kbit/s, 44.1 kHz: 522 bytes; MPEG-2 Layer I,
  // 32 kbit/s, 24 kHz: 64 bytes, the shortest Layer I/II frames.
  Bytes l2 = Frame({0xFF, 0xFD, 0x90, 0x04}, 522);
  Bytes l1 = Frame({0xFF, 0xF7, 0x14, 0xC4}, 64);
  Bytes adts = AdtsFrame(8);  // the shortest frame: one byte of raw data
  const std::map<std::string_view, int> none;
  return {
      {"mp3 every other offset", {0xFF, 0xFB}, none},
      {"mp3 headers every 4th", {0xFF, 0xFB, 0x90, 0x64}, none},
      {"mp3 chains of three", Cat({m1, m1, m1, Garbage()}), none},
      {"mp3 short chains of three", Cat({shortest, shortest, shortest, Garbage()}), none},
      {"ogg every other offset", {'O', 'g'}, none},
      {"ogg chains of three", Cat({OggPage(1), OggPage(1), OggPage(1), Garbage()}), none},
      {"ogg 255 segments", Cat({OggPage(255), OggPage(255), OggPage(255), Garbage()}), none},
      {"wav every other offset", {'R', 'I'}, none},
      {"wav headers", Cat({riff, Garbage()}), {{"wav", static_cast<int>((kSize + 115) / 116)}}},
      {"mp2 every other offset", {0xFF, 0xFD}, none},
      {"mp2 headers every 4th", {0xFF, 0xFD, 0x90, 0x04}, none},
      {"mp2 chains of three", Cat({l2, l2, l2, Garbage()}), none},
      {"mp1 short chains of three", Cat({l1, l1, l1, Garbage()}), none},
      {"mp1 frames to the end", l1, {{"mp2", 1}}},
      {"aac every other offset", {0xFF, 0xF1}, none},
      {"aac headers every 8th", Slice(AdtsFrame(13), 0, 8), none},
      {"aac short chains of three", Cat({adts, adts, adts, Garbage()}), none},
      {"aac frames to the end", adts, {{"aac", 1}}},
  };
}

TEST(HostilePatterns, EveryPassEndsAndWritesOnlyRangesOfTheInput) {
  for (const Pattern& p : Patterns()) {
    SCOPED_TRACE(p.name);
    TempDir dir;
    Bytes data = Repeat(p.unit, kSize);
    WriteBytes(dir / "in.bin", data);
    for (const FormatRow& row : Formats()) {
      ScriptHost host;
      int64_t written = ExtractFormat(host, row, dir / "in.bin", dir / "out/%d.bin");
      const auto named = p.written.find(row.command);
      EXPECT_EQ(written, named == p.written.end() ? 0 : named->second) << row.command;
      EXPECT_TRUE(host.boxes.empty());
      EXPECT_EQ(File::OpenCount(), 0);
    }
    EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out", ec)) {
      Bytes out = ReadBytes(entry.path());
      EXPECT_NE(std::search(data.begin(), data.end(), out.begin(), out.end()), data.end());
    }
  }
}

TEST(HostilePatterns, PagesChainedToTheEndAndAHugeSizeFieldAreOneStreamEach) {
  TempDir dir;
  Bytes pages = Repeat(OggPage(1), 100000 * 28);
  WriteBytes(dir / "pages.bin", pages);
  ScriptHost ogg;
  EXPECT_EQ(ExtractOgg(ogg, dir / "pages.bin", dir / "p%d.xxx"), 1);
  // The last page lies within 100 bytes of the end and is not counted.
  Bytes out = ReadBytes(dir / "p1.ogg");
  EXPECT_GT(out.size(), pages.size() - 128);
  EXPECT_EQ(out, Slice(pages, 0, out.size()));

  Bytes wav = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Append(wav, RandomBytes(50000, 8, true));
  WriteBytes(dir / "wav.bin", wav);
  ScriptHost host;
  EXPECT_EQ(ExtractWav(host, dir / "wav.bin", dir / "w%d.xxx"), 1);
  EXPECT_EQ(host.log[1], "[001($00000000-$100000006)] RIFF Wav");
  EXPECT_EQ(ReadBytes(dir / "w1.wav"), wav);
}

// The files below a folder, by name, with their bytes.
std::map<std::string, Bytes> FilesIn(const std::string& dir) {
  std::map<std::string, Bytes> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

int64_t LineOffset(const std::string& line) {
  return std::stoll(line.substr(line.find("($") + 2, line.find('-') - line.find("($") - 2), nullptr,
                    16);
}

// The one-read pass gives what the passes of its rows give one after the other:
// the same files, and their lines with the stream lines merged by offset.
// The passes pump at every block; the walks that take many blocks at once
// between two looks at the clock must come to the same.
void ExpectAllEqualsThePasses(const Bytes& data, int minFrames) {
  TempDir dir;
  WriteBytes(dir / "in.bin", data);
  std::vector<std::string> openings, streams, summaries;
  int64_t written = 0;
  for (const FormatRow* row : AllFormatRows()) {
    std::vector<std::string> logs[2];
    for (int paced : {0, 1}) {
      ScriptHost host;
      host.minFrames = minFrames;
      host.pumpIntervalMs = paced * 60000;
      const std::string out = dir / (paced ? "paced/%3.3d.mp3" : "passes/%3.3d.mp3");
      int64_t n = ExtractFormat(host, *row, dir / "in.bin", out);
      if (!paced) written += n;
      logs[paced] = host.log;
    }
    EXPECT_EQ(logs[1], logs[0]);
    const auto& log = logs[0];
    ASSERT_GE(log.size(), 2u);
    openings.push_back(log.front());
    summaries.push_back(log.back());
    streams.insert(streams.end(), log.begin() + 1, log.end() - 1);
  }
  EXPECT_EQ(FilesIn(dir / "paced"), FilesIn(dir / "passes"));
  std::stable_sort(streams.begin(), streams.end(),
                   [](const auto& a, const auto& b) { return LineOffset(a) < LineOffset(b); });
  std::vector<std::string> expected = openings;
  expected.insert(expected.end(), streams.begin(), streams.end());
  expected.insert(expected.end(), summaries.begin(), summaries.end());

  for (int paced : {0, 1}) {
    SCOPED_TRACE(paced ? "all, paced" : "all");
    ScriptHost all;
    all.minFrames = minFrames;
    all.pumpIntervalMs = paced * 60000;
    const std::string out = dir / (paced ? "all-paced" : "all");
    EXPECT_EQ(ExtractAll(all, dir / "in.bin", out + "/%3.3d.mp3"), written);
    EXPECT_EQ(all.log, expected);
    EXPECT_TRUE(all.boxes.empty());
    EXPECT_EQ(File::OpenCount(), 0);
    EXPECT_EQ(FilesIn(out), FilesIn(dir / "passes"));
  }
  EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
}

TEST(HostilePatterns, AllFormatsInOneReadEqualThePassesOneAfterTheOther) {
  for (const Pattern& p : Patterns()) {
    SCOPED_TRACE(p.name);
    ExpectAllEqualsThePasses(Repeat(p.unit, kSize / 4), 2);
  }
  // Real audio of every kind at odd offsets in random bytes, back to back
  // and overlapping a stream of another kind.
  Bytes mixed = RandomBytes(1001, 1, true);
  for (const char* name :
       {"mpeg1_id3.mp3", "vorbis_chained.ogg", "wave_list_first.wav", "mpeg25_8k.mp3",
        "vorbis_mono.ogg", "wave_s16_stereo.wav", "mpeg2_vbr.mp3", "mpeg1_crc.mp3",
        "wave_u8_mono.wav", "mp2_l2_44k_joint_crc.mp2", "aac_lc_44k_stereo.aac",
        "mp1_l1_22k_mono_crc.mp2", "aac_lc_48k_6ch.aac"}) {
    Append(mixed, Fixture(name));
    Append(mixed, RandomBytes(333, static_cast<uint32_t>(mixed.size()), true));
  }
  Bytes nested = Fixture("wave_s16_stereo.wav");
  Bytes ogg = Fixture("vorbis_mono.ogg");
  std::copy(ogg.begin(), ogg.end(), nested.begin() + 1000);
  Append(mixed, nested);
  for (int frames : {2, 4}) {
    SCOPED_TRACE("mixed fixtures, frames " + std::to_string(frames));
    ExpectAllEqualsThePasses(mixed, frames);
  }
  // Random bytes, plain and thick with the triggers.
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE("random " + std::to_string(seed));
    Bytes data = RandomBytes(300000 + seed * 77, seed + 10, true);
    if (seed % 2 == 0) {
      for (size_t i = seed; i + 1 < data.size(); i += 97) {
        static const uint8_t kFirst[] = {0xFF, 'O', 'R', 0xFF, 0xFF};
        static const uint8_t kSecond[] = {0xFB, 'g', 'I', 0xFD, 0xF1};
        data[i] = kFirst[i % 5];
        data[i + 1] = kSecond[i % 5];
      }
    }
    ExpectAllEqualsThePasses(data, 2);
  }
}

}  // namespace
