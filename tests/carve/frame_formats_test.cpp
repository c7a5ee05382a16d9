// The frame-chain formats, mp2 (MPEG Layer I/II) and aac (ADTS): their
// headers, the committed encoder output end to end, false positives and the
// edges of a chain.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "carve/formats/mpeg/adts_header.h"
#include "carve/engine/formats.h"
#include "carve/formats/mpeg/mpeg_layer12.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

using Header = std::array<uint8_t, 7>;

struct Layer12Case {
  Header bytes;
  int32_t version, layer, bitrate, rate, length;
};

TEST(FrameHeaders, Layer12LengthsAndRejections) {
  const Layer12Case accepted[] = {
      {{0xFF, 0xFD, 0xA4, 0x04}, 10, 2, 192, 48000, 576},  // twolame, 48 kHz
      {{0xFF, 0xFC, 0x82, 0x44}, 10, 2, 128, 44100, 418},  // padded, CRC, joint stereo
      {{0xFF, 0xFF, 0xC2, 0x00}, 10, 1, 384, 44100, 420},  // (104 + 1) slots of 4 bytes
      {{0xFF, 0xFE, 0xE8, 0xC0}, 10, 1, 448, 32000, 672},
      {{0xFF, 0xF6, 0x42, 0xC0}, 20, 1, 64, 22050, 140},  // MPEG-2: (34 + 1) × 4
      {{0xFF, 0xF5, 0x14, 0x00}, 20, 2, 8, 24000, 48},    // MPEG-2 allows 8 kbit/s stereo
      {{0xFF, 0xFD, 0x18, 0xC1}, 10, 2, 32, 32000, 144},  // 50/15 µs emphasis
  };
  for (const Layer12Case& c : accepted) {
    TFrameInfo info{};
    ASSERT_TRUE(DecodeLayer12Header(c.bytes.data(), info)) << std::hex << int(c.bytes[2]);
    EXPECT_EQ(info.MpegVersion, c.version);
    EXPECT_EQ(info.Layer, c.layer);
    EXPECT_EQ(info.Bitrate, c.bitrate);
    EXPECT_EQ(info.SampleRate, c.rate);
    EXPECT_EQ(info.FrameLength, c.length);
  }
  const Header rejected[] = {
      {0xFF, 0xFD, 0x04, 0x04},  // free format
      {0xFF, 0xFD, 0xF4, 0x04},  // bit rate index 15
      {0xFF, 0xFD, 0x9C, 0x04},  // sampling frequency index 3
      {0xFF, 0xFD, 0x94, 0x06},  // reserved emphasis
      {0xFF, 0xE5, 0x94, 0x04},  // MPEG-2.5 Layer II
      {0xFF, 0xEF, 0x94, 0x04},  // the reserved version
      {0xFF, 0xFB, 0x94, 0x04},  // Layer III
      {0xFF, 0xF9, 0x94, 0x04},  // layer 0
      {0xFF, 0xFD, 0xE4, 0xC4},  // MPEG-1 Layer II: 384 kbit/s is not for one channel
      {0xFF, 0xFD, 0x54, 0x44},  // nor 80 kbit/s for two
  };
  for (const Header& h : rejected) {
    TFrameInfo info{};
    EXPECT_FALSE(DecodeLayer12Header(h.data(), info)) << std::hex << int(h[1]) << int(h[2]);
  }
}

// Layer II frames built here: MPEG-1 stereo at 48 kHz and 192 kbit/s, no
// CRC, so table a (27 subbands of 4, 4, 3 and 2 allocation bits: 176 bits
// for both channels).
TEST(FrameHeaders, Layer2FrameRows) {
  struct Row {
    const char* what;
    int firstCode;  // of subband 0, first channel; -1: no subband allocated
    bool possible, sounds;
  };
  const Row rows[] = {
      {"nothing allocated", -1, true, false},
      {"a code below the steps of its class", 26, true, true},
      {"a code at the steps of its class", 27, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes frame(576, 0);
    const uint8_t header[] = {0xFF, 0xFD, 0xA4, 0x04};
    std::memcpy(frame.data(), header, sizeof header);
    auto put = [&frame](int at, int bits, int value) {
      for (int i = 0; i < bits; ++i) {
        if ((value >> (bits - 1 - i)) & 1) frame[(at + i) / 8] |= 0x80 >> ((at + i) % 8);
      }
    };
    if (row.firstCode >= 0) {
      // Allocation 1 (27 steps, three samples in a 5-bit word), scale factor
      // selection 2 (one scale factor of 6 bits), then the first word.
      put(32, 4, 1);
      put(32 + 176, 2, 2);
      put(32 + 176 + 2 + 6, 5, row.firstCode);
    }
    TFrameInfo info{};
    ASSERT_TRUE(DecodeLayer12Header(frame.data(), info));
    bool sounds = !row.sounds;
    EXPECT_EQ(Layer12FramePossible(frame.data(), 576, info, &sounds), row.possible);
    EXPECT_EQ(sounds, row.sounds);
  }
}

TEST(FrameHeaders, NoHeaderDecodesAsTwoFormats) {
  // Layer III, Layer I/II and ADTS headers differ in their layer bits.
  int decoded[3] = {};
  for (int b1 = 0; b1 < 256; ++b1) {
    for (int b2 = 0; b2 < 256; ++b2) {
      for (uint8_t b3 : {0x00, 0x44, 0x80, 0xC2}) {
        const Header h = {0xFF, uint8_t(b1), uint8_t(b2), b3, 0x12, 0x3F, 0xFC};
        TFrameInfo info{};
        AdtsHeader adts{};
        const bool found[3] = {DecodeMpegHeader(h.data(), info),
                               DecodeLayer12Header(h.data(), info),
                               DecodeAdtsHeader(h.data(), adts)};
        ASSERT_LE(found[0] + found[1] + found[2], 1) << std::hex << b1 << ' ' << b2;
        for (int i = 0; i < 3; ++i) decoded[i] += found[i];
        // The quick tests the scan makes of every trigger refuse none of
        // them (and take exactly the Layer III headers).
        ASSERT_EQ(IsMpegHeader(h.data()), found[0]) << std::hex << b1 << ' ' << b2;
        ASSERT_TRUE(MayBeLayer12Header(h.data()) || !found[1]) << std::hex << b1 << ' ' << b2;
        ASSERT_TRUE(MayBeAdtsHeader(h.data()) || !found[2]) << std::hex << b1 << ' ' << b2;
      }
    }
  }
  for (int count : decoded) EXPECT_GT(count, 0);
  // A run of 0xFF, as quiet PCM holds, is none of them at a glance.
  const Header ones = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(MayBeLayer12Header(ones.data()));
  EXPECT_FALSE(MayBeAdtsHeader(ones.data()));
}

struct AdtsCase {
  Header bytes;
  bool accepted;
  int32_t rate, channels, length, headerLength, rawBlocks;
};

TEST(FrameHeaders, AdtsFieldsAndBounds) {
  const AdtsCase cases[] = {
      {{0xFF, 0xF1, 0x50, 0x80, 0x2C, 0x7F, 0xFC}, true, 44100, 2, 355, 7, 1},  // ffmpeg
      {{0xFF, 0xF1, 0x4C, 0x40, 0x18, 0x3F, 0xFC}, true, 48000, 1, 193, 7, 1},
      {{0xFF, 0xF1, 0xD0, 0x80, 0x2C, 0x7F, 0xFC}, true, 44100, 2, 355, 7, 1},  // LTP
      // The least: the header, its CRC and one byte a block, with a CRC of
      // each block when there are several.
      {{0xFF, 0xF1, 0x4C, 0x40, 0x01, 0x1F, 0xFC}, true, 48000, 1, 8, 7, 1},
      {{0xFF, 0xF1, 0x4C, 0x40, 0x00, 0xFF, 0xFC}, false, 0, 0, 0, 0, 0},  // the header alone
      {{0xFF, 0xF0, 0x4C, 0x40, 0x01, 0x5F, 0xFC}, true, 48000, 1, 10, 9, 1},
      {{0xFF, 0xF0, 0x4C, 0x40, 0x01, 0x3F, 0xFC}, false, 0, 0, 0, 0, 0},  // 9 bytes with a CRC
      {{0xFF, 0xF0, 0x4C, 0x40, 0x02, 0x3F, 0xFD}, true, 48000, 1, 17, 11, 2},
      {{0xFF, 0xF0, 0x4C, 0x40, 0x02, 0x1F, 0xFD}, false, 0, 0, 0, 0, 0},
      // More than 6144 bits a channel, as encoders of variable bit rate
      // write: the length field alone bounds a frame.
      {{0xFF, 0xF1, 0x4C, 0x40, 0x61, 0x1F, 0xFC}, true, 48000, 1, 776, 7, 1},
      {{0xFF, 0xF1, 0x50, 0x80, 0xFF, 0xFF, 0xFC}, true, 44100, 2, 2047, 7, 1},
      {{0xFF, 0xF1, 0x4D, 0xC3, 0xFF, 0xFF, 0xFC}, true, 48000, 8, 8191, 7, 1},  // 7.1
      {{0xFF, 0xF1, 0x4C, 0x03, 0xFF, 0xFF, 0xFC}, true, 48000, 0, 8191, 7, 1},  // a PCE
      {{0xFF, 0xF1, 0x74, 0x80, 0x2C, 0x7F, 0xFC}, false, 0, 0, 0, 0, 0},  // sampling index 13
      {{0xFF, 0xF1, 0x7C, 0x80, 0x2C, 0x7F, 0xFC}, false, 0, 0, 0, 0, 0},  // the escape index 15
      {{0xFF, 0xF9, 0xD0, 0x80, 0x2C, 0x7F, 0xFC}, false, 0, 0, 0, 0, 0},  // MPEG-2 has no LTP
      {{0xFF, 0xF3, 0x50, 0x80, 0x2C, 0x7F, 0xFC}, false, 0, 0, 0, 0, 0},  // layer 1
  };
  for (const AdtsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[1]) << ' ' << int(c.bytes[2]) << ' '
                                    << int(c.bytes[4]) << ' ' << int(c.bytes[5]));
    AdtsHeader h{};
    ASSERT_EQ(DecodeAdtsHeader(c.bytes.data(), h), c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(h.sampleRate, c.rate);
    EXPECT_EQ(h.channels, c.channels);
    EXPECT_EQ(h.frameLength, c.length);
    EXPECT_EQ(h.headerLength, c.headerLength);
    EXPECT_EQ(h.rawBlocks, c.rawBlocks);
    EXPECT_EQ(h.samples, 1024 * c.rawBlocks);
  }
}

// A host that keeps the report of every stream.
struct ReportingHost : ScriptHost {
  std::vector<StreamReport> streams;
  void StreamDone(const StreamReport& report) override { streams.push_back(report); }
};

// What an independent frame walk found in each fixture (tests/data/README.md).
struct FrameFixture {
  const char* name;
  const char* text;  // the format in the stream line
  int64_t frames, kbps, rate, channels;
  double seconds;
};
const FrameFixture kFixtures[] = {
    {"mp1_l1_22k_mono_crc.mp2", "mpeg2.0layer1", 24, 64, 22050, 1, 0.418},
    {"mp1_l1_44k_stereo.mp2", "mpeg1.0layer1", 30, 384, 44100, 2, 0.261},
    {"mp2_l2_16k_mono_ffmpeg.mp2", "mpeg2.0layer2", 6, 32, 16000, 1, 0.432},
    {"mp2_l2_24k_dual.mp2", "mpeg2.0layer2", 7, 96, 24000, 2, 0.336},
    {"mp2_l2_32k_mono.mp2", "mpeg1.0layer2", 9, 64, 32000, 1, 0.324},
    {"mp2_l2_48k_vbr.mp2", "mpeg1.0layer2", 13, 134, 48000, 2, 0.312},
    {"mp2_l2_44k_ffmpeg.mp2", "mpeg1.0layer2", 12, 160, 44100, 2, 0.313},
    {"mp2_l2_44k_joint_crc.mp2", "mpeg1.0layer2", 12, 128, 44100, 2, 0.313},
    {"mp2_l2_48k_stereo.mp2", "mpeg1.0layer2", 13, 192, 48000, 2, 0.312},
    {"aac_lc_22k_stereo.aac", "AAC-LC", 8, 46, 22050, 2, 0.372},
    {"aac_lc_44k_stereo.aac", "AAC-LC", 14, 118, 44100, 2, 0.325},
    {"aac_lc_48k_6ch.aac", "AAC-LC", 11, 171, 48000, 6, 0.235},
    {"aac_lc_48k_mono.aac", "AAC-LC", 16, 66, 48000, 1, 0.341},
    {"aac_lc_8k_mono.aac", "AAC-LC", 5, 18, 8000, 1, 0.640},
    // ffmpeg -q:a 2: 20 of its frames are longer than 6144 bits a channel.
    {"aac_lc_44k_vbr_q2.aac", "AAC-LC", 45, 509, 44100, 2, 1.045},
    {"aac_main_32k_stereo.aac", "AAC-Main", 11, 88, 32000, 2, 0.352},
};

std::string Extension(const std::string& name) { return name.substr(name.rfind('.') + 1); }

// A ustar archive of the fixtures.
Bytes Tar(const std::vector<std::string>& names) {
  Bytes tar;
  for (const std::string& name : names) {
    const Bytes data = Fixture(name);
    char h[512] = {};
    std::snprintf(h, 100, "%s", name.c_str());
    std::snprintf(h + 100, 24, "%07o%c%07o%c%07o", 0644, 0, 0, 0, 0);
    std::snprintf(h + 124, 24, "%011o%c%011o", static_cast<unsigned>(data.size()), 0, 0u);
    std::memset(h + 148, ' ', 8);
    h[156] = '0';
    std::memcpy(h + 257, "ustar\00000", 8);
    unsigned sum = 0;
    for (char c : h) sum += static_cast<uint8_t>(c);
    std::snprintf(h + 148, 8, "%06o", sum);
    Append(tar, Bytes(h, h + 512));
    Append(tar, data);
    tar.resize((tar.size() + 511) / 512 * 512, 0);
  }
  tar.resize(tar.size() + 1024, 0);
  return tar;
}

TEST(FrameFormats, EveryFixtureComesOutWholeInRandomBytesInATarAndBackToBack) {
  std::vector<std::string> names;
  for (const FrameFixture& f : kFixtures) names.push_back(f.name);
  for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_TEST_DATA)) {
    const std::string name = entry.path().filename().string(), ext = Extension(name);
    if (ext == "mp2" || ext == "aac") {
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
  }
  Bytes gaps;
  for (const std::string& name : names) {
    Append(gaps, RandomBytes(777 + 31 * gaps.size() % 1000, static_cast<uint32_t>(gaps.size())));
    Append(gaps, Fixture(name));
  }
  Bytes back;  // neighbours of one format differ in rate, mode or CRC
  for (const std::string& name : names) Append(back, Fixture(name));
  const std::pair<const char*, Bytes> layouts[] = {
      {"random", gaps}, {"tar", Tar(names)}, {"back to back", back}};
  for (const auto& [layout, data] : layouts) {
    for (const char* format : {"mp2", "aac", "mp3"}) {
      SCOPED_TRACE(std::string(layout) + ", " + format);
      TempDir dir;
      WriteBytes(dir / "in.bin", data);
      ReportingHost host;
      host.minFrames = 5;
      ExtractFormat(host, *FindFormat(format), dir / "in.bin", dir / "out/%3.3d.x");
      size_t n = 0;
      for (const FrameFixture& f : kFixtures) {
        if (Extension(f.name) != format) continue;
        ASSERT_LT(n, host.streams.size());
        const StreamReport& r = host.streams[n++];
        const Bytes fixture = Fixture(f.name);
        EXPECT_EQ(ReadBytes(r.output), fixture) << f.name;
        EXPECT_EQ(Slice(data, r.offset, r.length), fixture) << f.name;
        EXPECT_EQ(r.facts.frames, f.frames);
        EXPECT_EQ(r.facts.bitrateKbps, f.kbps);
        EXPECT_EQ(r.facts.sampleRateHz, f.rate);
        EXPECT_EQ(r.facts.channels, f.channels);
        EXPECT_NEAR(r.facts.seconds, f.seconds, 0.0005);
        char line[160];
        std::snprintf(
            line, sizeof line,
            "[%3.3zu($%8.8llX-$%8.8llX)] %-13s%6lldFrames%5lldkbps%5.1fkHz%2lldch%7.1fsec", n,
            static_cast<long long>(r.offset), static_cast<long long>(r.offset + r.length - 1),
            f.text, static_cast<long long>(f.frames), static_cast<long long>(f.kbps),
            f.rate / 1000.0, static_cast<long long>(f.channels), f.seconds);
        EXPECT_EQ(host.log[n], line);
      }
      // None of the other formats' streams is taken, MP3 never as AAC or MP2.
      EXPECT_EQ(host.streams.size(), n);
      if (n == 0) {
        EXPECT_EQ(host.log.back(), "Not Found (T-T)");
      }
    }
  }
}

TEST(FrameFormats, AWholeLineAndTheNameOfTheOutput) {
  TempDir dir;
  Bytes data = RandomBytes(1001, 7);
  Append(data, Fixture("mp2_l2_48k_stereo.mp2"));
  Append(data, RandomBytes(99, 8));
  Append(data, Fixture("aac_lc_48k_6ch.aac"));
  WriteBytes(dir / "in.bin", data);
  ScriptHost host;
  EXPECT_EQ(ExtractFormats(host, {FindFormat("mp2"), FindFormat("aac")}, dir / "in.bin",
                           dir / "%f_%3.3d.%e.mp3"),
            2);
  ASSERT_EQ(host.log.size(), 6u);
  EXPECT_EQ(host.log[2],
            "[001($000003E9-$00002128)] mpeg1.0layer2    13Frames  192kbps 48.0kHz 2ch    0.3sec");
  EXPECT_EQ(host.log[3],
            "[001($0000218C-$00003515)] AAC-LC           11Frames  171kbps 48.0kHz 6ch    0.2sec");
  EXPECT_EQ(host.log[4], "1個のmp2を発見。うち1個を抽出しました");
  EXPECT_EQ(ReadBytes(dir / "in.bin_001.mp2.mp2"), Fixture("mp2_l2_48k_stereo.mp2"));
  EXPECT_EQ(ReadBytes(dir / "in.bin_001.aac.aac"), Fixture("aac_lc_48k_6ch.aac"));
}

// The frame offsets of an ADTS fixture, from its length fields.
std::vector<int64_t> AdtsFrameStarts(const Bytes& b) {
  std::vector<int64_t> starts;
  for (size_t p = 0; p + 7 <= b.size(); p += (b[p + 3] & 3) << 11 | b[p + 4] << 3 | b[p + 5] >> 5)
    starts.push_back(static_cast<int64_t>(p));
  starts.push_back(static_cast<int64_t>(b.size()));
  return starts;
}

// The frame starts of a Layer I/II file, and its size.
std::vector<int64_t> Layer12FrameStarts(const Bytes& b) {
  std::vector<int64_t> starts;
  TFrameInfo info{};
  for (size_t p = 0; p + 4 <= b.size() && DecodeLayer12Header(&b[p], info); p += info.FrameLength)
    starts.push_back(static_cast<int64_t>(p));
  starts.push_back(static_cast<int64_t>(b.size()));
  return starts;
}

struct EdgeCase {
  const char* what;
  const char* format;
  Bytes stream;  // put after 333 random bytes, nothing after it
  std::function<void(ScriptHost&)> settings;
  std::vector<std::pair<int64_t, int64_t>> found;  // [start, end) within `stream`
};

TEST(FrameFormats, EdgesOfAChain) {
  const Bytes l2 = Fixture("mp2_l2_48k_stereo.mp2");  // 13 frames of 576 bytes
  const Bytes aac = Fixture("aac_lc_44k_stereo.aac");
  const std::vector<int64_t> at = AdtsFrameStarts(aac);
  ASSERT_EQ(at.size(), 15u);
  Bytes dual = l2, mono = aac, cbr = aac, l1l2 = Fixture("mp1_l1_44k_stereo.mp2");
  dual[5 * 576 + 3] |= 0x80;  // frame 5 in dual channel
  mono[at[5] + 3] &= 0x7F;    // frame 5 with channel configuration 1
  cbr[at[5] + 5] &= 0xE0;     // frame 5 without the mark of variable bit rate
  const int64_t l1 = static_cast<int64_t>(l1l2.size());
  Append(l1l2, l2);
  Bytes crc = Fixture("mp2_l2_44k_joint_crc.mp2");
  const int64_t joint = static_cast<int64_t>(crc.size());
  Append(crc, Fixture("mp2_l2_44k_ffmpeg.mp2"));
  const int64_t both = static_cast<int64_t>(crc.size());
  // One bit of a CRC word wrong: in frame 5 of Layer II, frame 10 of Layer I.
  Bytes l2Crc = Fixture("mp2_l2_44k_joint_crc.mp2"), l1Crc = Fixture("mp1_l1_22k_mono_crc.mp2");
  const std::vector<int64_t> s2 = Layer12FrameStarts(l2Crc), s1 = Layer12FrameStarts(l1Crc);
  ASSERT_EQ(s2.size(), 13u);
  ASSERT_EQ(s1.size(), 25u);
  l2Crc[s2[5] + 5] ^= 0x04;
  l1Crc[s1[10] + 4] ^= 0x80;
  auto set = [](int frames, bool on) {
    return [=](ScriptHost& h) {
      h.minFrames = frames;
      h.sensitizeVersion = h.sensitizeChannel = h.sensitizeFreq = h.sensitizeCrc = on;
    };
  };
  const EdgeCase cases[] = {
      {"at the end of the input", "mp2", l2, set(13, true), {{0, 7488}}},
      {"one frame short of the minimum", "mp2", l2, set(14, true), {}},
      {"cut in the last frame", "mp2", Slice(l2, 0, 7487), set(4, true), {{0, 6912}}},
      {"cut in the last frame", "aac", Slice(aac, 0, at[14] - 1), set(4, true), {{0, at[13]}}},
      {"aac at the minimum", "aac", aac, set(14, true), {{0, at[14]}}},
      {"aac one frame short", "aac", aac, set(15, true), {}},
      {"a change of mode", "mp2", dual, set(4, true), {{0, 5 * 576}, {6 * 576, 7488}}},
      {"a change of mode let pass", "mp2", dual, set(4, false), {{0, 7488}}},
      {"a change of channels", "aac", mono, set(4, false), {{0, at[5]}, {at[6], at[14]}}},
      {"a change to constant rate", "aac", cbr, set(4, false), {{0, at[5]}, {at[6], at[14]}}},
      {"Layer I then Layer II", "mp2", l1l2, set(4, true), {{0, l1}, {l1, l1 + 7488}}},
      {"Layer I then Layer II let pass", "mp2", l1l2, set(4, false), {{0, l1 + 7488}}},
      // Stereo and joint stereo alike; the CRC then the plain frames.
      {"a change of CRC", "mp2", crc, set(4, true), {{0, joint}, {joint, both}}},
      {"a change of CRC let pass", "mp2", crc, set(4, false), {{0, both}}},
      {"a wrong CRC, Layer II", "mp2", l2Crc, set(4, false), {{0, s2[5]}, {s2[6], s2[12]}}},
      {"a wrong CRC, Layer I", "mp2", l1Crc, set(4, false), {{0, s1[10]}, {s1[11], s1[24]}}},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Bytes data = RandomBytes(333, 5);
    Append(data, c.stream);
    WriteBytes(dir / "in.bin", data);
    ReportingHost host;
    c.settings(host);
    ExtractFormat(host, *FindFormat(c.format), dir / "in.bin", dir / "%d.x");
    ASSERT_EQ(host.streams.size(), c.found.size());
    for (size_t i = 0; i < c.found.size(); ++i) {
      const auto [start, end] = c.found[i];
      EXPECT_EQ(host.streams[i].offset, 333 + start);
      EXPECT_EQ(ReadBytes(host.streams[i].output), Slice(c.stream, start, end - start));
    }
  }
}

Bytes Concat(Bytes a, const Bytes& b) {
  Append(a, b);
  return a;
}

// `data` compressed in the gzip format.
Bytes Gzip(const Bytes& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(FrameFormats, NoStreamInRandomBytesPcmCompressedDataOrOtherAudio) {
  // Quiet 16-bit PCM: small negative samples are 0xFF high bytes.
  Bytes pcm;
  for (int64_t i = 0; i < 2 << 20; ++i) {
    const int v = static_cast<int>(std::lround(20 * std::sin(i * 0.01)) + i * 7919 % 13 - 6);
    pcm.push_back(static_cast<uint8_t>(v & 0xFF));
    pcm.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  Bytes audio;
  for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_TEST_DATA)) {
    const std::string ext = Extension(entry.path().filename().string());
    if (ext == "mp3" || ext == "ogg" || ext == "wav") Append(audio, ReadBytes(entry.path()));
  }
  const std::pair<const char*, Bytes> inputs[] = {
      {"64 MiB of random bytes", RandomBytes(64 << 20, 2024, true)},
      {"PCM", pcm},
      {"gzip", Gzip(Concat(pcm, audio))},
      {"JPEG", Fixture("picture_noise.jpg")},
      {"MP3, Ogg and WAVE fixtures", audio},
  };
  for (const auto& [what, data] : inputs) {
    SCOPED_TRACE(what);
    TempDir dir;
    WriteBytes(dir / "in.bin", data);
    for (int frames : {2, 4}) {
      ScriptHost host;
      host.minFrames = frames;
      EXPECT_EQ(ExtractFormats(host, {FindFormat("mp2"), FindFormat("aac")}, dir / "in.bin",
                               dir / "%d.x"),
                0);
    }
  }
}

}  // namespace
