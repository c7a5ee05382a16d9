// Inputs built to make the probes expensive: every pass ends, writes only
// byte ranges of the input, and finds what the pattern holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "carve/engine/extract.h"
#include "carve/engine/formats.h"
#include "carve/engine/input_view.h"
#include "carve/engine/run_state.h"
#include "platform/descriptor.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "support/probe_counter.h"
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

// A Layer I frame, MPEG-1 mono at 32 kHz and 64 kbit/s (96 bytes): four
// bits of allocation a subband, a scale factor and twelve samples each
// allocated one. Subbands 0 and 1 carry a tone unless told otherwise.
struct Layer1Spec {
  uint8_t alloc0 = 3, alloc1 = 2;  // 4- and 3-bit samples
  uint8_t scaleFactor = 20;
  uint32_t lastSample = 5;  // of subband 0
  bool crc = false;
  bool wrongCrc = false;
  bool everySubband = false;  // every subband allocated alloc0
  uint8_t modeExtension = 0;
};

Bytes Layer1Frame(const Layer1Spec& spec) {
  std::vector<bool> bits;
  auto put = [&bits](uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
  };
  // Padded: 25 slots of 4 bytes.
  put((spec.crc ? 0xFFFE2AC0 : 0xFFFF2AC0) | uint32_t{spec.modeExtension} << 4, 32);
  if (spec.crc) put(0, 16);
  uint8_t alloc[32] = {spec.alloc0, spec.alloc1};
  if (spec.everySubband) std::fill(std::begin(alloc), std::end(alloc), spec.alloc0);
  for (uint8_t a : alloc) put(a, 4);
  // CRC-16 (x^16 + x^15 + x^2 + 1, from all ones) of the header's last 16
  // bits and the allocation.
  uint16_t crc = 0xFFFF;
  for (size_t i = 16; i < bits.size(); ++i) {
    if (i == 32) i = 48;
    const bool top = (crc >> 15) ^ bits[i];
    crc = static_cast<uint16_t>(crc << 1 ^ (top ? 0x8005 : 0));
  }
  if (spec.wrongCrc) crc ^= 0x0100;
  for (uint8_t a : alloc) {
    if (a != 0) put(spec.scaleFactor, 6);
  }
  for (int s = 0; s < 12; ++s) {
    for (int sb = 0; sb < 32; ++sb) {
      if (alloc[sb] != 0) put(sb == 0 && s == 11 ? spec.lastSample : 2, alloc[sb] + 1);
    }
  }
  Bytes f(100, 0);
  for (size_t i = 0; i < std::min<size_t>(bits.size(), 800); ++i) {
    f[i / 8] = static_cast<uint8_t>(f[i / 8] | bits[i] << (7 - i % 8));
  }
  if (spec.crc) {
    f[4] = static_cast<uint8_t>(crc >> 8);
    f[5] = static_cast<uint8_t>(crc);
  }
  return f;
}

// 192 bytes of x86-64 code whose first four make a Layer I header (MPEG-1,
// 128 kbit/s, 32 kHz, dual channel: a frame of 192 bytes), as code with a
// loop of that length holds.
Bytes MachineCodeRun() {
  const Bytes code = {0xDF, 0xBE, 0x48, 0x00, 0x00, 0x00, 0x5B, 0xE9, 0x48, 0x89, 0xC7, 0xE8,
                      0x10, 0x32, 0x00, 0x00, 0x48, 0x8B, 0x45, 0xF8, 0x5D, 0xC3, 0x0F, 0x1F};
  Bytes run = {0xFF, 0xFF, 0x48, 0x89};
  while (run.size() < 192) run.push_back(code[(run.size() - 4) % code.size()]);
  return run;
}

// A row of 48 ARGB pixels of a cursor: the first makes a Layer I header, the
// others opaque grey.
Bytes CursorRow() {
  Bytes row = {0xFF, 0xFF, 0x48, 0x88};
  while (row.size() < 192) row.insert(row.end(), {0x30, 0x30, 0x30, 0xFF});
  return row;
}

// 240 bytes of the class tables of a compiled program, as a program on a
// Debian system holds them: a -24 and a pointer make a Layer I header
// (MPEG-1 mono, 224 kbit/s, 44.1 kHz: a frame of 240 bytes) with a mode
// extension of 3, and subband 0 and 1 seem to hold samples.
Bytes ClassTables() {
  const std::string hex =
      "ffff70f55a000000000038235b0000000000000000000000000000000000000000000000000000000000508d"
      "5b00000000000000000000000000000000000000000000000000000000000000000000000000d04f41000000"
      "000070514100000000003052410000000000705441000000000090a541000000000090a541000000000090a5"
      "41000000000090a541000000000020554100000000003056410000000000505f410000000000605f41000000"
      "000000b74700000000000000000000000000164546696c654e6f74466f756e64457863657074696f6e006822"
      "5b00000000001800000000000000e8ffffffffff";
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

const size_t kSize = 256 * 1024;

std::vector<Pattern> Patterns() {
  Bytes m1 = Frame({0xFF, 0xFB, 0x90, 0x64}, 417);
  Bytes shortest = Frame({0xFF, 0xF3, 0x14, 0xC4}, 24);
  Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  // MPEG-1 Layer II, 160 kbit/s, 44.1 kHz: 522 bytes; MPEG-2 Layer I,
  // 32 kbit/s, 24 kHz: 64 bytes, the shortest Layer I/II frames.
  Bytes l2 = Frame({0xFF, 0xFD, 0x90, 0x04}, 522);
  // A frame of silence (no allocation) and one with samples in subband 0.
  Bytes silent = Frame({0xFF, 0xF7, 0x14, 0xC4}, 64);
  Bytes l1 = Frame({0xFF, 0xF7, 0x14, 0xC4, 0x10}, 64);
  Bytes adts = AdtsFrame(8);  // the shortest frame: one byte of raw data
  // Channel configuration 0, a single channel element first, then with the
  // program config element that must come first.
  Bytes noPce = AdtsFrame(24);
  noPce[3] &= 0x3F;
  Bytes pce = noPce;
  pce[7] = 0xA0;
  const std::map<std::string_view, int> none;
  auto layer1 = [](auto change) {
    Layer1Spec spec;
    change(spec);
    return Layer1Frame(spec);
  };
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
      {"mp1 silent frames to the end", silent, none},
      {"mp1 silent frames, then frames with samples",
       Cat({silent, silent, silent, silent, silent, l1, l1, Garbage()}),
       {{"mp2", 478}}},
      {"aac every other offset", {0xFF, 0xF1}, none},
      {"aac headers every 8th", Slice(AdtsFrame(13), 0, 8), none},
      {"aac short chains of three", Cat({adts, adts, adts, Garbage()}), none},
      {"aac frames to the end", adts, {{"aac", 1}}},
      {"aac configuration 0 without a PCE", noPce, none},
      {"aac configuration 0 with a PCE", pce, {{"aac", 1}}},
      {"x86-64 code, a Layer I header every 192 bytes", MachineCodeRun(), none},
      {"cursor bitmap rows", CursorRow(), none},
      {"class tables, a Layer I header every 240 bytes", ClassTables(), none},
      {"Layer I mode extension outside joint stereo",
       layer1([](Layer1Spec& s) { s.modeExtension = 3; }), none},
      {"Layer I frames with a tone", layer1([](Layer1Spec&) {}), {{"mp2", 1}}},
      {"Layer I frames with a CRC", layer1([](Layer1Spec& s) { s.crc = true; }), {{"mp2", 1}}},
      {"Layer I allocation 15", layer1([](Layer1Spec& s) { s.alloc1 = 15; }), none},
      {"Layer I scale factor 63", layer1([](Layer1Spec& s) { s.scaleFactor = 63; }), none},
      {"Layer I sample all ones", layer1([](Layer1Spec& s) { s.lastSample = 15; }), none},
      {"Layer I wrong CRC", layer1([](Layer1Spec& s) { s.crc = s.wrongCrc = true; }), none},
      {"Layer I samples beyond the frame", layer1([](Layer1Spec& s) { s.everySubband = true; }),
       none},
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
      EXPECT_EQ(OpenFileCount(), 0);
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
    EXPECT_EQ(OpenFileCount(), 0);
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

// A carver with the trigger of a format still to come: it rejects every
// candidate and keeps where it was asked to probe. One that steps back
// accepts its first candidate past 300 000 as a one-byte stream 2500 bytes
// before it: its lane goes on after the candidate all the same, in one read
// as in its own pass.
class RejectingCarver : public Carver {
 public:
  explicit RejectingCarver(TwoByteTrigger t, bool stepsBack = false)
      : trigger_(t), stepsBack_(stepsBack) {}
  std::vector<int64_t> probes;

  Trigger trigger() const override { return trigger_; }
  Probed probe(InputView&, const Candidate& candidate) override {
    probes.push_back(candidate.offset);
    if (!stepsBack_ || candidate.offset < 300000) return ProbeResult::Reject;
    stepsBack_ = false;
    char line[64];
    std::snprintf(line, sizeof line, "[%03lld($%08llX-)] back",
                  static_cast<long long>(candidate.number),
                  static_cast<unsigned long long>(candidate.offset));
    return Found({candidate.offset - 2500, 1}, line, {});
  }

 private:
  TwoByteTrigger trigger_;
  bool stepsBack_;
};

// Its row: the pattern names its output as it is.
FormatRow RejectingRow() {
  FormatRow row{};
  row.command = row.kind = "none";
  row.opening = "から何も見つけません";
  row.name = [](const std::string& pattern, const std::string&, int64_t, const std::string&) {
    return pattern;
  };
  return row;
}
const FormatRow kRejectingRow = RejectingRow();

// A real carver beside another of its kind, its probes counted.
using SecondCarver = ProbeCounter;

// The row of one of the first three formats with its outputs in the folder
// of the pattern's with "-b" appended, so that a carver can walk beside
// another one of its kind. (Their extensions are their command words.)
FormatRow InFolderB(const FormatRow& row) {
  FormatRow b = row;
  b.name = [](const std::string& pattern, const std::string& baseName, int64_t number,
              const std::string& extension) {
    const size_t slash = pattern.rfind('/');
    return FindFormat(extension)->name(pattern.substr(0, slash) + "-b" + pattern.substr(slash),
                                       baseName, number, extension);
  };
  return b;
}

// A carver and the row it walks with.
struct TestLane {
  FormatRow row;
  std::unique_ptr<Carver> carver;
};

// The lanes of every row that `all` runs; then the MP3, Ogg and WAVE carvers
// again; carvers that reject every candidate, with the triggers of the rows
// after those three; and one that steps back, with a trigger of its own.
std::vector<TestLane> AllLanes(Host& host) {
  std::vector<TestLane> lanes;
  for (const FormatRow* row : AllFormatRows()) lanes.push_back({*row, row->make(host)});
  for (const char* command : {"mp3", "ogg", "wav"}) {
    const FormatRow& row = *FindFormat(command);
    lanes.push_back({InFolderB(row), std::make_unique<SecondCarver>(row.make(host))});
  }
  for (size_t i = 3; i < AllFormatRows().size(); ++i)
    lanes.push_back({kRejectingRow, std::make_unique<RejectingCarver>(lanes[i].carver->trigger())});
  lanes.push_back(
      {kRejectingRow, std::make_unique<RejectingCarver>(TwoByteTrigger{'A', 0xFF, 'B'}, true)});
  return lanes;
}

// The first `count` of them.
std::vector<TestLane> Lanes(Host& host, size_t count) {
  std::vector<TestLane> lanes = AllLanes(host);
  lanes.resize(count);
  return lanes;
}

struct LaneSettings {
  int minFrames = 2;
  int lower = -1, upper = 100;  // a percentage window when lower >= 0
};

void Apply(const LaneSettings& settings, ScriptHost& host) {
  host.minFrames = settings.minFrames;
  host.limitRange = settings.lower >= 0;
  host.lower = settings.lower;
  host.upper = settings.upper;
}

// One read walked by `count` lanes gives what each lane's own pass gives:
// the lines merged by offset and the same files, pumping at every block and
// pacing; and each rejecting lane probes exactly its pass's candidates.
// Returns how many probes the paced walk passed over.
int64_t ExpectLanesEqualTheirPasses(const Bytes& data, size_t count, const LaneSettings& settings) {
  TempDir dir;
  WriteBytes(dir / "in.bin", data);
  for (const char* out :
       {"passes", "passes-b", "lanes", "lanes-b", "paced", "paced-b", "probed", "probed-b"})
    std::filesystem::create_directory(dir / out);
  std::vector<std::string> openings, streams, summaries;
  std::vector<std::vector<int64_t>> probes(count);
  int64_t written = 0;
  for (size_t i = 0; i < count; ++i) {
    ScriptHost host;
    Apply(settings, host);
    std::vector<TestLane> lanes = Lanes(host, count);
    written +=
        RunScanPass(host, lanes[i].row, *lanes[i].carver, dir / "in.bin", dir / "passes/%3.3d.mp3");
    if (auto* rejecting = dynamic_cast<RejectingCarver*>(lanes[i].carver.get())) {
      probes[i] = rejecting->probes;
    }
    if (host.log.size() < 2) {
      ADD_FAILURE() << "no opening and summary lines";
      return 0;
    }
    openings.push_back(host.log.front());
    summaries.push_back(host.log.back());
    streams.insert(streams.end(), host.log.begin() + 1, host.log.end() - 1);
  }
  std::stable_sort(streams.begin(), streams.end(),
                   [](const auto& a, const auto& b) { return LineOffset(a) < LineOffset(b); });
  std::vector<std::string> expected = openings;
  expected.insert(expected.end(), streams.begin(), streams.end());
  expected.insert(expected.end(), summaries.begin(), summaries.end());

  // Paced, the walk passes over the candidates its carvers rule out, doing
  // just what their probes would: the progress is that of a walk that
  // probes them all ("probed").
  std::vector<int> pacedProgress;
  int64_t pacedProbes = 0, allProbes = 0;
  for (const std::string out : {"lanes", "paced", "probed"}) {
    SCOPED_TRACE(out);
    ScriptHost host;
    Apply(settings, host);
    host.pumpIntervalMs = out == "lanes" ? 0 : 60000;
    std::vector<TestLane> lanes = Lanes(host, count);
    std::vector<PassLane> carvers;
    for (auto& lane : lanes) {
      if (dynamic_cast<RejectingCarver*>(lane.carver.get()) == nullptr)
        lane.carver = std::make_unique<SecondCarver>(std::move(lane.carver), out != "probed");
      carvers.push_back({&lane.row, lane.carver.get()});
    }
    EXPECT_EQ(RunScanPasses(host, carvers, dir / "in.bin", dir / (out + "/%3.3d.mp3")), written);
    EXPECT_EQ(host.log, expected);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(OpenFileCount(), 0);
    EXPECT_EQ(FilesIn(dir / out), FilesIn(dir / "passes"));
    EXPECT_EQ(FilesIn(dir / (out + "-b")), FilesIn(dir / "passes-b"));
    for (size_t i = 0; i < count; ++i) {
      if (auto* rejecting = dynamic_cast<RejectingCarver*>(lanes[i].carver.get())) {
        EXPECT_EQ(rejecting->probes, probes[i]) << "lane " << i;
      } else if (out != "lanes") {
        (out == "paced" ? pacedProbes : allProbes) +=
            dynamic_cast<SecondCarver*>(carvers[i].carver)->probes;
      }
    }
    if (out == "paced") {
      pacedProgress = host.progress;
    } else if (out == "probed") {
      EXPECT_EQ(host.progress, pacedProgress);
    }
  }
  EXPECT_LE(pacedProbes, allProbes);
  EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
  return allProbes - pacedProbes;
}

TEST(HostilePatterns, AnyNumberOfLanesInOneReadEqualsTheirPassesOneAfterTheOther) {
  // Random bytes thick with the triggers of every lane, with real audio at
  // odd offsets, and a WAVE stream long enough for its lanes to leave the
  // others more than a buffer behind.
  const auto wave = static_cast<uint32_t>(kScanBufferSize + 200000);
  Bytes data = RandomBytes(wave + 200001, 31, true);
  static const uint8_t kPairs[][2] = {{0xFF, 0xFB}, {0xFF, 0xF5}, {0xFF, 0xF1},
                                      {'O', 'g'},   {'R', 'I'},   {'f', 'L'},
                                      {'F', 'O'},   {0x80, 0x00}, {'A', 'B'}};
  for (size_t i = 5; i + 1 < data.size(); i += 61 + i % 53) {
    data[i] = kPairs[i % 9][0];
    data[i + 1] = kPairs[i % 9][1];
  }
  int64_t at = 100003;
  for (const char* name : {"mpeg1_id3.mp3", "vorbis_chained.ogg", "wave_s16_stereo.wav"}) {
    const Bytes f = Fixture(name);
    std::copy(f.begin(), f.end(), data.begin() + at);
    at += static_cast<int64_t>(f.size()) + 4097;
  }
  Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  for (int i = 0; i < 4; ++i) riff[4 + i] = static_cast<uint8_t>((wave - 8) >> (8 * i));
  std::copy(riff.begin(), riff.end(), data.begin() + 150001);
  ScriptHost host;
  const size_t rows = AllFormatRows().size(), all = AllLanes(host).size();
  const struct {
    size_t lanes;
    LaneSettings settings;
  } cases[] = {
      {2, {}},        {3, {}},   {rows, {}},          {rows, {4}}, {rows, {2, 3, 97}},
      {rows + 3, {}}, {all, {}}, {all, {2, 50, 100}},
  };
  int64_t passedOver = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lanes) + " lanes, frames " +
                 std::to_string(c.settings.minFrames) + ", window from " +
                 std::to_string(c.settings.lower));
    passedOver += ExpectLanesEqualTheirPasses(data, c.lanes, c.settings);
  }
  // Every other offset a trigger of one lane, and an input shorter than a
  // block.
  for (const Bytes& unit : {Bytes{0xFF, 0xFB}, Bytes{'f', 'L'}}) {
    SCOPED_TRACE(unit[0]);
    ExpectLanesEqualTheirPasses(Repeat(unit, kSize), all, {});
  }
  ExpectLanesEqualTheirPasses(Slice(data, 0, 300), all, {});
  EXPECT_GT(passedOver, 0);
}

// Bytes this process has read through read(2) and pread(2) so far; -1 when
// the system does not tell.
int64_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// ADX headers 28 bytes apart, without a sample count, then their copyright
// texts at `texts` (each header's data starts 6 bytes after its text, past
// every header), then `fill` repeated to `size` bytes.
Bytes AdxHeadersThen(const std::vector<int>& blockSizes, const std::vector<int64_t>& texts,
                     const Bytes& fill, size_t size) {
  Bytes out = Repeat(fill, size);
  for (size_t i = 0; i < blockSizes.size(); ++i) {
    const int64_t at = static_cast<int64_t>(i) * 28, text = texts[i];
    const int64_t copyright = text + 2 - at;
    const Bytes head = {0x80,
                        0x00,
                        static_cast<uint8_t>(copyright >> 8),
                        static_cast<uint8_t>(copyright),
                        3,
                        static_cast<uint8_t>(blockSizes[i]),
                        4,
                        2,
                        0,
                        0,
                        0x56,
                        0x22,
                        0,
                        0,
                        0,
                        0,
                        0x01,
                        0xF4,
                        3,
                        0};
    std::copy(head.begin(), head.end(), out.begin() + at);
    std::fill(out.begin() + at + 20, out.begin() + at + 28, 0);
    std::fill(out.begin() + text - 2, out.begin() + text + 8, 0);
  }
  for (const int64_t text : texts) std::memcpy(&out[static_cast<size_t>(text)], "(c)CRI", 6);
  return out;
}

// Headers whose data no marked block ends make every walk of their blocks go
// to the end of the input: a pass still reads its input a few times at
// most, whatever the count of headers.
TEST(HostilePatterns, AdxWalksOfManyHeadersReadTheInputAFewTimesAtMost) {
  const size_t size = 2 << 20;
  const int count = 300;
  std::vector<int> sizes, evenSizes(count, 18);
  std::vector<int64_t> packed, descending;
  for (int i = 0; i < count; ++i) {
    sizes.push_back(4 + i % 123);
    packed.push_back(count * 28 + 6 * i);
    // One grid, its data starts going down a block at a time.
    descending.push_back(count * 28 + 18 * (count - i));
  }
  const struct {
    const char* name;
    Bytes data;
  } rows[] = {
      // Each header its own block size and grid position; zeros after them.
      {"many grids, then zeros", AdxHeadersThen(sizes, packed, {0}, size)},
      // Every odd byte marked, every grid on even ones: no stretch is clean.
      {"one grid from lower and lower starts, marked bytes off it",
       AdxHeadersThen(evenSizes, descending, {0x00, 0x81}, size)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    WriteBytes(dir / "in.bin", row.data);
    ScriptHost host;
    const int64_t before = BytesReadSoFar();
    if (before < 0) GTEST_SKIP() << "no /proc/self/io";
    EXPECT_EQ(ExtractFormat(host, *FindFormat("adx"), dir / "in.bin", dir / "out/%d.bin"), 0);
    EXPECT_LE(BytesReadSoFar() - before, static_cast<int64_t>(4 * size));
    EXPECT_EQ(host.log.size(), 2u);
  }
}

// Big-endian and little-endian fields of a header written in a test.
void PutBe(Bytes& b, std::initializer_list<std::pair<int, uint32_t>> fields) {
  for (const auto& [width, value] : fields) {
    for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}
void PutLe32(Bytes& b, uint32_t value) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// `count` units of 25 bytes: the head of a system exclusive message of 22
// bytes, "MThd" of one track and that track's header. A track's events are
// the messages of the units after it, up to the end of the last unit, then
// an End of Track; the tracks from unit `ending` on end after it, the
// others where it begins.
Bytes MidiPackedHeaders(uint32_t count, uint32_t ending) {
  Bytes out;
  const uint32_t chainEnd = count * 25;
  for (uint32_t i = 0; i < count; ++i) {
    out.insert(out.end(), {0x00, 0xF0, 0x16, 'M', 'T', 'h', 'd'});
    PutBe(out, {{4, 6}, {2, 0}, {2, 1}, {2, 480}});
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    PutBe(out, {{4, chainEnd - 25 * (i + 1) + (i >= ending ? 4 : 0)}});
  }
  out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
  return out;
}

// Wwise bank headers 24 bytes apart over `heads` bytes, each with a HIRC
// chunk up to one media index of `entries` one-byte members, then DATA, a
// WEM file first; the last member's size is 0.
Bytes WwiseSharedIndex(uint32_t heads, uint32_t entries) {
  Bytes out;
  for (uint32_t at = 0; at + 24 <= heads; at += 24) {
    out.insert(out.end(), {'B', 'K', 'H', 'D'});
    for (uint32_t v : {8u, 0x8Cu, 0u}) PutLe32(out, v);
    out.insert(out.end(), {'H', 'I', 'R', 'C'});
    PutLe32(out, heads - at - 24);
  }
  out.resize(heads, 0);
  out.insert(out.end(), {'D', 'I', 'D', 'X'});
  PutLe32(out, 12 * entries);
  for (uint32_t i = 0; i < entries; ++i) {
    for (uint32_t v : {i + 1, i, i + 1 < entries ? 1u : 0u}) PutLe32(out, v);
  }
  out.insert(out.end(), {'D', 'A', 'T', 'A'});
  PutLe32(out, entries);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  out.resize(out.size() + entries - 4, 0);
  return out;
}

// A BRSTM header every 64 bytes over the first `heads` bytes of `size`,
// each naming one HEAD section at `headAt` and one DATA section at `dataAt`.
Bytes BrstmFarSections(uint32_t heads, uint32_t headAt, uint32_t dataAt, uint32_t size) {
  Bytes out;
  for (uint32_t c = 0; c < heads; c += 64) {
    out.insert(out.end(), {'R', 'S', 'T', 'M', 0xFE, 0xFF, 0x01, 0x00});
    PutBe(out, {{4, dataAt + 0x20 - c}, {2, 0x40}, {2, 2}, {4, headAt - c}, {4, 0x20}});
    PutBe(out, {{4, 0}, {4, 0}, {4, dataAt - c}, {4, 0x20}});
    out.resize(c + 64, 0);
  }
  out.resize(size, 0);
  for (const auto& [at, tag] : {std::pair{headAt, "HEAD"}, std::pair{dataAt, "DATA"}}) {
    std::memcpy(&out[at], tag, 4);
    out[at + 7] = 0x20;
  }
  return out;
}

// An HCA header of `frames` frames of 65 535 bytes, its CRC right, then a
// sync word.
Bytes HcaHeaderThenSync(uint32_t frames) {
  Bytes h = {'H', 'C', 'A', 0, 0x02, 0x00, 0x00, 0x60, 'f', 'm', 't', 0, 1, 0, 0x56, 0x22};
  PutBe(h, {{4, frames}, {4, 0}});
  h.insert(h.end(), {'c', 'o', 'm', 'p', 0xFF, 0xFF, 1, 15, 1, 0, 128, 128, 0, 0, 0, 0});
  h.insert(h.end(), {'p', 'a', 'd', 0});
  h.resize(0x5E, 0);
  unsigned crc = 0;
  for (uint8_t b : h) {
    crc ^= unsigned{b} << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
  }
  PutBe(h, {{2, crc & 0xFFFF}, {2, 0xFFFF}});
  return h;
}

// Headers whose walks all lead to one place (the same events, index,
// sections or frames) do the work of that place once: the probes ask for
// and read a few times the input's bytes at most, and find what is there.
TEST(HostilePatterns, WalksThatLeadToOnePlaceDoThatPlacesWorkOnce) {
  const uint32_t units = 10000, mib = 1 << 20;
  const struct {
    const char* name;
    const char* command;
    Bytes data;
    std::vector<int64_t> streams;  // their offsets
  } rows[] = {
      {"MIDI tracks up to one end where none ends", "mid", MidiPackedHeaders(units, units), {}},
      {"MIDI tracks up to one end, the later half ending after it",
       "mid",
       MidiPackedHeaders(units, units / 2),
       {25 * (units / 2) + 3}},
      {"Wwise banks of one media index whose last entry fails",
       "wwise",
       WwiseSharedIndex(120000, 10000),
       {}},
      {"BRSTM headers whose sections lie far away in two places",
       "brstm",
       BrstmFarSections(256 * 1024, 5 * mib / 4, 7 * mib / 4, 2 * mib),
       {}},
      {"HCA headers of long frames, each followed by a sync word",
       "hca",
       Repeat(HcaHeaderThenSync(1000), 256 * 1024),
       {}},
      {"the same, one frame each", "hca", Repeat(HcaHeaderThenSync(1), 256 * 1024), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    WriteBytes(dir / "in.bin", row.data);
    ScriptHost host;
    const FormatRow& format = *FindFormat(row.command);
    ProbeCounter carver(format.make(host));
    const int64_t before = BytesReadSoFar();
    RunState dryRun = RunState::PassAlone({.dryRun = true});
    RunScanPasses(host, {{&format, &carver}}, dir / "in.bin", dir / "out/%d.bin", dryRun);
    const int64_t size = std::ssize(row.data);
    EXPECT_GT(carver.probes, size / 1000);
    EXPECT_LE(carver.asked, 8 * size);
    if (before >= 0) {
      EXPECT_LE(BytesReadSoFar() - before, 4 * size);
    }
    std::vector<int64_t> found;
    for (const StreamReport& r : host.streams) found.push_back(r.offset);
    EXPECT_EQ(found, row.streams);
  }
}

}  // namespace
