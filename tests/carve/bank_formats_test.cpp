// The FSB, AWB and HCA carvers: what the line of every fixture from
// tests/data shows, and damaged banks and streams -- cut short, a wrong
// CRC, a wrong offset table, a wrong count, a version no file has -- and a
// header that claims more than the input holds in front of fifty streams
// (AWB, FSB, ADX, AIFF), which it must not hide.
// (tests/carve/formats_test.cpp carves every fixture at odd offsets, in a tar
// and back to back, and finds nothing in random bytes, in the other formats'
// fixtures or in compressed data.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "carve/engine/formats.h"
#include "carve/engine/run_state.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

// The CRC-16 of HCA (polynomial 0x8005, from 0), bit by bit.
uint16_t Crc16(const Bytes& b, size_t from, size_t count) {
  unsigned crc = 0;
  for (size_t i = from; i < from + count; ++i) {
    crc ^= static_cast<unsigned>(b[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
  }
  return static_cast<uint16_t>(crc);
}

// Writes the CRC of the `count` bytes at `from` into their last two.
void FixCrc(Bytes& b, size_t from, size_t count) {
  const uint16_t crc = Crc16(b, from, count - 2);
  b[from + count - 2] = static_cast<uint8_t>(crc >> 8);
  b[from + count - 1] = static_cast<uint8_t>(crc);
}

uint32_t Be16At(const Bytes& b, size_t at) { return b[at] << 8 | b[at + 1]; }
void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Le32At(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// An HCA file's header size, frame size and frame count.
struct HcaShape {
  size_t header, frame, frames;
};
HcaShape ShapeOf(const Bytes& hca) { return {Be16At(hca, 6), Be16At(hca, 28), Be16At(hca, 18)}; }

// The streams a pass of `command` reports in `input` (a dry run).
std::vector<std::pair<int64_t, int64_t>> Ranges(const char* command, const Bytes& input,
                                                std::vector<StreamReport>* reports = nullptr) {
  TempDir dir;
  WriteBytes(dir / "in.bin", input);
  ScriptHost host;
  host.minFrames = 2;
  RunState dryRun = RunState::PassAlone({.dryRun = true});
  ExtractFormats(host, {FindFormat(command)}, dir / "in.bin", dir / "out/%3.3d.x", dryRun);
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (const StreamReport& r : host.streams) ranges.emplace_back(r.offset, r.length);
  if (reports) *reports = host.streams;
  return ranges;
}

struct FactsRow {
  const char* fixture;
  int64_t count, rate, channels;  // members (FSB, AWB) or frames (HCA)
};

TEST(BankFormats, EveryFixtureShowsWhatItsHeaderSays) {
  // As make_bank_fixtures.py writes them: of FSB banks, the first sample's
  // rate and channels.
  const FactsRow rows[] = {
      {"fsb4_gcadpcm_stereo.fsb", 1, 44100, 2},
      {"fsb4_pcm16_two.fsb", 2, 22050, 1},
      {"fsb4_pcm16_basic_headers.fsb", 2, 22050, 1},
      {"fsb5_pcm16_names.fsb", 3, 22050, 1},
      {"fsb5_v0_pcm16_stereo_loops.fsb", 1, 44100, 2},
      {"fsb5_dsp_two.fsb", 2, 22050, 1},
      {"fsb5_xbox_ima_two.fsb", 2, 22050, 1},
      {"awb_wave_members.awb", 3, -1, -1},
      {"awb_v1_short_offsets.awb", 2, -1, -1},
      {"hca_v2_dec_mono_16k.hca", 4, 16000, 1},
      {"hca_v1_3_dec_stereo_32k.hca", 5, 32000, 2},
      {"hca_v2_encrypted_56.hca", 5, 24000, 1},
      {"hca_v2_mono_22k.hca", 6, 22050, 1},
      {"hca_v3_stereo_44k_loop_comm.hca", 5, 44100, 2},
      {"wwise_package_externals.pck", 6, 22050, 1},
      {"wwise_package_big_endian_utf16.pck", 3, 24000, 2},
      {"xwb_v46_pcm_adpcm_names.xwb", 3, 22050, 1},
      {"xwb_v40_big_endian_pcm_xma.xwb", 2, 32000, 2},
      {"xwb_v45_compact_pcm.xwb", 2, 16000, 1},
  };
  for (const FactsRow& row : rows) {
    SCOPED_TRACE(row.fixture);
    const Bytes f = Fixture(row.fixture);
    const std::string name(row.fixture);
    Bytes input = RandomBytes(99, 5, true);
    Append(input, f);
    std::vector<StreamReport> reports;
    const auto ranges = Ranges(name.substr(name.rfind('.') + 1).c_str(), input, &reports);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0], std::make_pair(int64_t{99}, static_cast<int64_t>(f.size())));
    EXPECT_EQ(reports[0].facts.frames, row.count);
    if (row.rate > 0) {
      EXPECT_EQ(reports[0].facts.sampleRateHz, row.rate);
      EXPECT_EQ(reports[0].facts.channels, row.channels);
    }
  }
}

// A damaged fixture between random bytes, and the part of it a pass takes:
// its first `kept` bytes, or nothing (0).
struct DamageRow {
  const char* name;
  const char* fixture;
  std::function<void(Bytes&)> damage;
  std::function<int64_t(const Bytes&)> kept;
  bool atEnd = false;  // nothing after it: the input ends with it
  bool cut = false;    // what is kept is marked cut short
};

int64_t Whole(const Bytes& f) { return static_cast<int64_t>(f.size()); }
int64_t Nothing(const Bytes&) { return 0; }
// An HCA file's header and its first `n` frames.
std::function<int64_t(const Bytes&)> HcaFrames(size_t n) {
  return [n](const Bytes& f) {
    const HcaShape s = ShapeOf(f);
    return static_cast<int64_t>(s.header + n * s.frame);
  };
}

TEST(BankFormats, DamagedBanksAndStreams) {
  auto cut = [](size_t keep) { return [keep](Bytes& f) { f.resize(keep); }; };
  auto poke = [](size_t at, uint8_t v) { return [at, v](Bytes& f) { f[at] = v; }; };
  // FSB5 and AWB tables: where the sample headers and the offsets are.
  const size_t fsb5Samples = 0x3C, awbOffsets = 16 + 3 * 2;
  // The package's tables: its banks, streamed files and externals; an
  // entry's size and first block (its block size 16).
  const size_t pckBanks = 0x40, pckStreams = 0x6C, pckStream = pckStreams + 4;
  auto pckStart = [](const Bytes& f, size_t entry) { return int64_t{Le32At(f, entry + 12)} * 16; };
  // The wave bank's bank data, its entries, and where its wave data begins.
  const size_t xwbData = 0x34, xwbEntries = 0x94, xwbWaves = 0x800;
  const DamageRow rows[] = {
      // Truncation.
      {"an HCA file cut inside its third frame", "hca_v2_mono_22k.hca",
       [](Bytes& f) { f.resize(ShapeOf(f).header + 2 * ShapeOf(f).frame + 9); }, HcaFrames(2), true,
       true},
      {"an HCA file cut inside its header", "hca_v2_mono_22k.hca", cut(0x50), Nothing, true},
      {"an FSB4 bank cut inside its first sample's data", "fsb4_pcm16_two.fsb", cut(9000), Nothing,
       true},
      {"an FSB4 bank cut inside its second sample's data: the first kept", "fsb4_pcm16_two.fsb",
       cut(20000), [](const Bytes& f) { return int64_t{0xD0} + (Le32At(f, 0x54) + 31) / 32 * 32; },
       true, true},
      {"an FSB4 bank cut inside its sample headers", "fsb4_pcm16_two.fsb", cut(0x60), Nothing,
       true},
      {"an AWB bank cut inside its offset table", "awb_wave_members.awb", cut(30), Nothing, true},
      {"an AWB bank cut inside its second member: the first kept", "awb_wave_members.awb",
       cut(20000), [&](const Bytes& f) { return int64_t{Le32At(f, awbOffsets + 4)}; }, true, true},
      {"a Wwise package cut inside its header", "wwise_package_externals.pck", cut(0x50), Nothing,
       true},
      {"a Wwise package cut inside its last file: the files before kept",
       "wwise_package_externals.pck", [](Bytes& f) { f.resize(f.size() - 10); },
       [&](const Bytes& f) {
         const size_t last = pckStream + 2 * 0x14;
         return pckStart(f, last) + Le32At(f, last + 8);
       },
       true, true},
      {"an XWB cut inside its entries", "xwb_v46_pcm_adpcm_names.xwb", cut(0xA0), Nothing, true},
      {"an XWB cut inside its last wave: the waves before kept", "xwb_v46_pcm_adpcm_names.xwb",
       [](Bytes& f) { f.resize(f.size() - 10); },
       [&](const Bytes& f) {
         return static_cast<int64_t>(xwbWaves + Le32At(f, xwbEntries + 24 + 8) +
                                     Le32At(f, xwbEntries + 24 + 12));
       },
       true, true},
      // Tables of packages and wave banks.
      {"a Wwise package's language map a word longer", "wwise_package_externals.pck",
       poke(0x0C, 0x28), Nothing},
      {"a Wwise package's bank count one more", "wwise_package_externals.pck", poke(pckBanks, 3),
       Nothing},
      {"a Wwise package's streamed file of a language it lacks", "wwise_package_externals.pck",
       poke(pckStream + 0x10, 7), Nothing},
      {"a Wwise package's streamed files out of order", "wwise_package_externals.pck",
       poke(pckStream, 200), Nothing},
      {"a Wwise package's streamed file of no bytes", "wwise_package_externals.pck",
       [&](Bytes& f) { PutLe32(f, pckStream + 8, 0); }, Nothing},
      {"a Wwise package's file over the one before", "wwise_package_externals.pck",
       [&](Bytes& f) { PutLe32(f, pckStream + 0x14 + 12, Le32At(f, pckStream + 12) + 1); },
       Nothing},
      {"a Wwise package's file inside its header", "wwise_package_externals.pck",
       [&](Bytes& f) { PutLe32(f, pckBanks + 4 + 12, 2); }, Nothing},
      {"a Wwise package's streamed file that is no WEM file", "wwise_package_externals.pck",
       [&](Bytes& f) { f[pckStart(f, pckStream)] = 'X'; }, Nothing},
      {"a Wwise package's bank that is no bank", "wwise_package_externals.pck",
       [&](Bytes& f) { f[pckStart(f, pckBanks + 4)] = 'X'; }, Nothing},
      {"a big-endian Wwise package's language name without its end",
       "wwise_package_big_endian_utf16.pck",
       [](Bytes& f) { std::fill_n(f.begin() + 0x34, 24, 'a'); }, Nothing},
      {"an XWB entry count one more", "xwb_v46_pcm_adpcm_names.xwb", poke(xwbData + 4, 4), Nothing},
      {"an XWB of a flag no bank has", "xwb_v46_pcm_adpcm_names.xwb", poke(xwbData + 3, 1),
       Nothing},
      {"an XWB wave off its alignment", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) { PutLe32(f, xwbEntries + 24 + 8, Le32At(f, xwbEntries + 24 + 8) + 2); },
       Nothing},
      {"an XWB wave past its wave data", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) { PutLe32(f, xwbEntries + 48 + 12, Le32At(f, xwbEntries + 48 + 12) + 0x800); },
       Nothing},
      {"an XWB PCM wave of half a sample", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) { PutLe32(f, xwbEntries + 12, Le32At(f, xwbEntries + 12) - 1); }, Nothing},
      {"an XWB name segment a name short", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) { PutLe32(f, 0x0C + 3 * 8 + 4, 128); }, Nothing},
      {"a big-endian XWB whose magic reads little-endian", "xwb_v40_big_endian_pcm_xma.xwb",
       [](Bytes& f) { std::copy_n("WBND", 4, f.begin()); }, Nothing},
      // CRCs.
      {"a padding byte of an HCA header changed", "hca_v2_mono_22k.hca", poke(0x50, 1), Nothing},
      {"the CRC of an HCA file's fourth frame wrong", "hca_v2_mono_22k.hca",
       [](Bytes& f) { f[ShapeOf(f).header + 4 * ShapeOf(f).frame - 1] ^= 1; }, HcaFrames(3), false,
       true},
      {"the CRC of an HCA file's first frame wrong", "hca_v3_stereo_44k_loop_comm.hca",
       [](Bytes& f) { f[ShapeOf(f).header + ShapeOf(f).frame - 1] ^= 0x40; }, Nothing},
      {"an encrypted HCA frame with a wrong byte", "hca_v2_encrypted_56.hca",
       [](Bytes& f) { f[ShapeOf(f).header + 2 * ShapeOf(f).frame + 7] ^= 0x10; }, HcaFrames(2),
       false, true},
      // Counts.
      {"an HCA frame count one more, its CRC made anew", "hca_v2_mono_22k.hca",
       [](Bytes& f) {
         f[19] += 1;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Whole, false, true},
      {"an HCA frame count one more, its CRC left", "hca_v2_mono_22k.hca",
       [](Bytes& f) { f[19] += 1; }, Nothing},
      {"an FSB4 sample count one more", "fsb4_pcm16_two.fsb", poke(4, 3), Nothing},
      {"an FSB5 sample count one less", "fsb5_pcm16_names.fsb", poke(8, 2), Nothing},
      {"an AWB member count one more", "awb_wave_members.awb", poke(8, 4), Nothing},
      {"an FSB4 sample's data one byte longer than its samples", "fsb4_pcm16_two.fsb",
       [](Bytes& f) { PutLe32(f, 0x30 + 0x24, Le32At(f, 0x30 + 0x24) + 1); }, Nothing},
      // Offset tables.
      {"an AWB first offset past the tables", "awb_wave_members.awb",
       [&](Bytes& f) { PutLe32(f, awbOffsets, Le32At(f, awbOffsets) + 4); }, Nothing},
      {"an AWB member that begins after the next one", "awb_wave_members.awb",
       [&](Bytes& f) { PutLe32(f, awbOffsets + 4, Le32At(f, awbOffsets + 12) + 1); }, Nothing},
      {"AWB ids that do not rise", "awb_wave_members.awb", poke(18, 0), Nothing},
      {"an FSB5 second sample at offset 0", "fsb5_pcm16_names.fsb",
       [&](Bytes& f) {
         // Its offset: bits 7 to 33 of its 64.
         f[fsb5Samples + 8] &= 0x7F;
         for (size_t i = fsb5Samples + 9; i < fsb5Samples + 12; ++i) f[i] = 0;
       },
       Nothing},
      {"an FSB5 name offset outside its table", "fsb5_pcm16_names.fsb",
       [&](Bytes& f) { PutLe32(f, fsb5Samples + Le32At(f, 12), 0x7FFF); }, Nothing},
      // Versions.
      {"an FSB4 of version 3.0", "fsb4_pcm16_two.fsb", poke(0x12, 3), Nothing},
      {"an FSB5 version 2", "fsb5_pcm16_names.fsb", poke(4, 2), Nothing},
      {"an AWB version 3", "awb_wave_members.awb", poke(4, 3), Nothing},
      {"a Wwise package of version 2", "wwise_package_externals.pck", poke(8, 2), Nothing},
      {"an XWB of version 34", "xwb_v46_pcm_adpcm_names.xwb", poke(4, 34), Nothing},
      {"an XWB whose header is newer than its tool", "xwb_v46_pcm_adpcm_names.xwb", poke(8, 47),
       Nothing},
      {"an HCA version 4.0, its CRC made anew", "hca_v2_mono_22k.hca",
       [](Bytes& f) {
         f[4] = 4;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Nothing},
      {"an HCA version 1.4, its CRC made anew", "hca_v1_3_dec_stereo_32k.hca",
       [](Bytes& f) {
         f[5] = 4;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Nothing},
      {"an HCA version 1.0, its CRC made anew", "hca_v1_3_dec_stereo_32k.hca",
       [](Bytes& f) {
         f[5] = 0;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Nothing},
      {"an HCA version 1.1, its CRC made anew", "hca_v2_mono_22k.hca",
       [](Bytes& f) {
         f[4] = 1;
         f[5] = 1;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Whole},
      {"an encrypted HCA of version 1.2, its CRC made anew", "hca_v2_encrypted_56.hca",
       [](Bytes& f) {
         f[4] = 1;
         f[5] = 2;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Whole},
      {"an HCA version 1.3 whose header CRC was not made anew", "hca_v1_3_dec_stereo_32k.hca",
       poke(5, 2), Nothing},
      {"an HCA version 1.3 cut inside its fourth frame", "hca_v1_3_dec_stereo_32k.hca",
       [](Bytes& f) { f.resize(ShapeOf(f).header + 3 * ShapeOf(f).frame + 5); }, HcaFrames(3), true,
       true},
      {"an HCA of 17 channels, its CRC made anew", "hca_v2_dec_mono_16k.hca",
       [](Bytes& f) {
         f[12] = 17;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Nothing},
      {"an HCA of 16 channels, its CRC made anew", "hca_v2_dec_mono_16k.hca",
       [](Bytes& f) {
         f[12] = 16;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Whole},
      {"an HCA header of the least size: no chunk after \"dec\"", "hca_v2_dec_mono_16k.hca",
       [](Bytes& f) {
         f.erase(f.begin() + 0x24, f.begin() + 0x3E);  // "pad" and its zeros
         f[7] = 0x26;
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Whole},
      // Names and formats at their limits.
      {"an XWB's name of a space", "xwb_v46_pcm_adpcm_names.xwb", poke(xwbData + 8, 0x20), Whole},
      {"an XWB's name of a control byte", "xwb_v46_pcm_adpcm_names.xwb", poke(xwbData + 8, 0x1F),
       Nothing},
      {"an XWB wave of 192000 Hz", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) {
         PutLe32(f, xwbEntries + 4, (Le32At(f, xwbEntries + 4) & ~(0x3FFFFu << 5)) | 192000u << 5);
       },
       Whole},
      {"an XWB wave of 192001 Hz", "xwb_v46_pcm_adpcm_names.xwb",
       [&](Bytes& f) {
         PutLe32(f, xwbEntries + 4, (Le32At(f, xwbEntries + 4) & ~(0x3FFFFu << 5)) | 192001u << 5);
       },
       Nothing},
      {"an FSB4 sample of 192000 Hz", "fsb4_pcm16_two.fsb",
       [](Bytes& f) { PutLe32(f, 0x30 + 0x34, 192000); }, Whole},
      {"an FSB4 sample of 192001 Hz", "fsb4_pcm16_two.fsb",
       [](Bytes& f) { PutLe32(f, 0x30 + 0x34, 192001); }, Nothing},
      {"an FSB4 sample of 999 Hz", "fsb4_pcm16_two.fsb",
       [](Bytes& f) { PutLe32(f, 0x30 + 0x34, 999); }, Nothing},
      {"a Wwise package's language name of a space", "wwise_package_externals.pck",
       poke(0x34 + 7, 0x20), Whole},
      {"a Wwise package's language name of a control byte", "wwise_package_externals.pck",
       poke(0x34 + 7, 0x1F), Nothing},
      {"an HCA cipher of type 2, its CRC made anew", "hca_v2_mono_22k.hca",
       [](Bytes& f) {
         f[0x33] = 2;  // the "ciph" chunk's type, after "fmt", "comp" and "ath"
         FixCrc(f, 0, ShapeOf(f).header);
       },
       Nothing},
  };
  for (const DamageRow& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes f = Fixture(row.fixture);
    row.damage(f);
    const int64_t kept = row.kept(f);
    Bytes input = RandomBytes(203, 17, true);
    Append(input, f);
    if (!row.atEnd) Append(input, RandomBytes(401, 18, true));
    const std::string name(row.fixture);
    std::vector<StreamReport> reports;
    const auto ranges = Ranges(name.substr(name.rfind('.') + 1).c_str(), input, &reports);
    if (kept == 0) {
      EXPECT_TRUE(ranges.empty()) << ranges.front().first << "+" << ranges.front().second;
    } else {
      ASSERT_EQ(ranges.size(), 1u);
      EXPECT_EQ(ranges[0], std::make_pair(int64_t{203}, kept));
      EXPECT_EQ(reports[0].truncated, row.cut);
    }
  }
}

// The members of packages and wave banks as their tables give them: names,
// ranges and what each holds, and where their bytes begin.
TEST(BankFormats, PackagesAndWaveBanksListTheirMembers) {
  struct Expected {
    const char* name;
    int64_t offset, length;
    const char* codec;
    int64_t rate, channels, samples;
    const char* magic;  // the member's first bytes, or null
  };
  const struct {
    const char* fixture;
    std::vector<Expected> members;
    std::function<void(Bytes&)> change = nullptr;  // made to the fixture first
  } rows[] = {
      {"wwise_package_externals.pck",
       {{"1355168291", 0xD0, 40, "bnk", -1, -1, -1, "BKHD"},
        {"3991942870_english(us)", 0x100, 40, "bnk", -1, -1, -1, "BKHD"},
        {"100", 0x130, 3044, "wem", 22050, 1, -1, "RIFF"},
        {"100_english(us)", 0xD20, 2444, "wem", 22050, 1, -1, "RIFF"},
        {"4000000000", 0x16B0, 3244, "wem", 32000, 2, -1, "RIFF"},
        {"78187493530", 0x2360, 1444, "wem", 16000, 1, -1, "RIFF"}}},
      {"wwise_package_big_endian_utf16.pck",
       {{"7", 0x90, 40, "bnk", -1, -1, -1, "BKHD"},
        {"11", 0xB8, 3644, "wem", 24000, 2, -1, "RIFX"},
        {"12_english(us)", 0xEF4, 1244, "wem", 24000, 1, -1, "RIFX"}}},
      // Waves aligned to 2 KiB; 16 MS ADPCM blocks of 70 bytes, 128 samples each.
      {"xwb_v46_pcm_adpcm_names.xwb",
       {{"tone_pcm16", 0x800, 4410, "pcm16", 22050, 1, 2205, nullptr},
        {"tone_adpcm", 0x2000, 1120, "msadpcm", 22050, 1, 2048, nullptr},
        {"tone_pcm8", 0x2800, 800, "pcm8u", 8000, 1, 800, nullptr}}},
      // The last wave made WMA, an ASF file by itself of the 8 bytes of its
      // header's start, the last bytes of the input.
      {"xwb_v46_pcm_adpcm_names.xwb",
       {{"tone_pcm16", 0x800, 4410, "pcm16", 22050, 1, 2205, nullptr},
        {"tone_adpcm", 0x2000, 1120, "msadpcm", 22050, 1, 2048, nullptr},
        {"tone_pcm8", 0x2800, 8, "wma", 8000, 1, 800, nullptr}},
       [](Bytes& f) {
         const size_t last = 0x94 + 2 * 24;
         PutLe32(f, last + 4, Le32At(f, last + 4) | 3);
         PutLe32(f, last + 12, 8);
         PutLe32(f, 48, 0x2000 + 8);  // the wave data's length
         const uint8_t asf[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
         f.resize(0x2800);
         f.insert(f.end(), std::begin(asf), std::end(asf));
       }},
      {"xwb_v40_big_endian_pcm_xma.xwb",
       {{"", 0xC0, 6400, "pcm16be", 32000, 2, 1600, nullptr},
        {"", 0x19C0, 2048, "xma", 48000, 2, 4096, nullptr}}},
      // Compact entries: each wave ends 72 bytes of padding before the next.
      {"xwb_v45_compact_pcm.xwb",
       {{"", 0x200, 3000, "pcm16", 16000, 1, 1500, nullptr},
        {"", 0xE00, 2000, "pcm16", 16000, 1, 1000, nullptr}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fixture);
    Bytes f = Fixture(row.fixture);
    if (row.change) row.change(f);
    Bytes input = RandomBytes(77, 3, true);
    Append(input, f);
    const std::string name(row.fixture);
    std::vector<StreamReport> reports;
    ASSERT_EQ(Ranges(name.substr(name.rfind('.') + 1).c_str(), input, &reports).size(), 1u);
    const std::vector<Member>& members = reports[0].members;
    ASSERT_EQ(members.size(), row.members.size());
    for (size_t i = 0; i < members.size(); ++i) {
      const Member& m = members[i];
      const Expected& e = row.members[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(m.index, static_cast<int64_t>(i));
      EXPECT_EQ(m.name, e.name);
      EXPECT_EQ(std::make_pair(m.offset, m.length), std::make_pair(e.offset, e.length));
      EXPECT_EQ(m.codec, e.codec);
      EXPECT_EQ(std::make_tuple(m.rate, m.channels, m.samples),
                std::make_tuple(e.rate, e.channels, e.samples));
      if (e.magic) {
        EXPECT_EQ(std::string(f.begin() + m.offset, f.begin() + m.offset + 4), e.magic);
      }
    }
  }
}

// Bytes from hex digits, spaces between them ignored.
Bytes Hex(std::string_view hex) {
  Bytes b;
  for (size_t i = hex.find_first_not_of(' '); i < hex.size(); i = hex.find_first_not_of(' ', i + 2))
    b.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return b;
}
Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) Append(out, p);
  return out;
}

TEST(BankFormats, AClaimPastTheEndOfTheInputHidesNoStreamBehindIt) {
  // A 36-byte ADX header, mono 22.05 kHz in blocks of 18 bytes, its sample
  // count given; a silent stream of three blocks and its end block.
  auto adx = [](const char* count) {
    return Joined({Hex("8000 0020 03 12 04 01 00005622"), Hex(count), Hex("0064 0300"),
                   Bytes(10, 0), Hex("286329435249")});
  };
  const Bytes silentAdx = Joined({adx("00000060"), Bytes(54, 0), Hex("8001 000e"), Bytes(14, 0)});
  const struct {
    const char* name;
    const char* command;
    Bytes claim;   // claims past the end of the input
    Bytes stream;  // fifty of them follow the claim
    bool kept;     // what the claim holds whole comes first, cut short
  } rows[] = {
      {"AWB: a member to 0xFFFFFFFF", "awb",
       Hex("41465332 02040200 01000000 2000 0000 0000 1a000000 ffffffff"),
       Fixture("awb_wave_members.awb"), false},
      {"AWB: a whole member, then one to 0xFFFFFFFF", "awb",
       Joined({Hex("41465332 02040200 02000000 2000 0000 0000 0100 20000000 40000000 ffffffff"),
               Bytes(32, 1)}),
       Fixture("awb_v1_short_offsets.awb"), true},
      {"FSB4: a PCM sample of 4 GiB", "fsb",
       Joined({Hex("46534234 01000000 50000000 e0ffffff 00000400"), Bytes(28, 0), Hex("5000"),
               Bytes(30, 0), Hex("f0ffff7f e0ffffff 00000000 00000000 30000000 22560000"),
               Bytes(6, 0), Hex("0100"), Bytes(16, 0)}),
       Fixture("fsb4_pcm16_two.fsb"), false},
      {"FSB5: a sample of 4 GiB", "fsb",
       Joined({Hex("46534235 01000000 01000000 08000000 00000000 ffffffff 07000000"), Bytes(32, 0),
               Hex("7000000000fcffff")}),
       Fixture("fsb5_pcm16_names.fsb"), false},
      // Its grid of blocks misses the streams' first bytes by one.
      {"ADX: 2^31 samples", "adx", Joined({adx("7ffffff0"), Bytes(4 * 18 + 1, 0)}), silentAdx,
       true},
      {"AIFF: 4 GiB", "aiff",
       Joined({Hex("464f524d fffffff0 41494646 434f4d4d 00000012 0001 10000000 0010 400d"
                   "ac44000000000000 53534e44 ffffffca"),
               Bytes(72, 0)}),
       Fixture("aiff_sox_16_stereo_22k.aiff"), true},
  };
  // A fixture whose 32-bit field at `at` says `value`, its first `keep` bytes.
  auto claimed = [](const char* fixture, size_t at, uint32_t value, size_t keep) {
    Bytes f = Fixture(fixture);
    PutLe32(f, at, value);
    f.resize(keep);
    return f;
  };
  // XWB: its wave data of 2 GiB, its last wave 1 GiB, the two before whole;
  // a package whose last file (an external) is of 1 GiB, the others whole.
  Bytes xwb = claimed("xwb_v46_pcm_adpcm_names.xwb", 0x0C + 4 * 8 + 4, 0x7FFFF000, 0x2460);
  PutLe32(xwb, 0x94 + 48 + 12, 0x40000000);
  const struct {
    const char* name;
    const char* command;
    Bytes claim, stream;
  } more[] = {
      {"XWB: wave data of 2 GiB", "xwb", xwb, Fixture("xwb_v45_compact_pcm.xwb")},
      {"Wwise package: a file of 1 GiB", "pck",
       claimed("wwise_package_externals.pck", 0xB0 + 12, 0x40000000, 0x235C),
       Fixture("wwise_package_big_endian_utf16.pck")},
  };
  for (const auto& row : more) {
    SCOPED_TRACE(row.name);
    Bytes input = RandomBytes(77, 31, true);
    std::vector<std::pair<int64_t, int64_t>> want = {
        {Append(input, row.claim), static_cast<int64_t>(row.claim.size())}};
    for (int i = 0; i < 50; ++i)
      want.emplace_back(Append(input, row.stream), static_cast<int64_t>(row.stream.size()));
    std::vector<StreamReport> reports;
    EXPECT_EQ(Ranges(row.command, input, &reports), want);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports[0].truncated);
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes input = RandomBytes(77, 31, true);
    std::vector<std::pair<int64_t, int64_t>> want;
    const int64_t claimAt = Append(input, row.claim);
    if (row.kept) want.emplace_back(claimAt, static_cast<int64_t>(row.claim.size()));
    for (int i = 0; i < 50; ++i)
      want.emplace_back(Append(input, row.stream), static_cast<int64_t>(row.stream.size()));
    std::vector<StreamReport> reports;
    EXPECT_EQ(Ranges(row.command, input, &reports), want);
    for (size_t i = 0; i < reports.size(); ++i)
      EXPECT_EQ(reports[i].truncated, row.kept && i == 0) << i;
  }
}

}  // namespace

namespace {

// One member as make_bank_fixtures.py and make_nintendo_wwise_fixtures.py
// lay it out: its range from the bank's start, its codec, name, rate and
// channels.
struct MemberRow {
  int64_t offset, length;
  const char* codec;
  const char* name;
  int64_t rate, channels;
  int64_t samples = -2;  // -2: not checked
  size_t setup = 0;      // bytes of the codec's setup from the bank
};

struct BankMembersRow {
  const char* fixture;
  const char* command;
  size_t cut;  // bytes cut off the end of the input
  std::vector<MemberRow> members;
};

// A member that is a file by itself: a RIFF or RIFX file of exactly its range.
bool WholeRiffFile(const Bytes& bank, const StreamReport& r, const Member& m) {
  const size_t at = static_cast<size_t>(r.offset + m.offset);
  if (std::memcmp(bank.data() + at, "RIF", 3) != 0) return false;
  const uint32_t size = bank[at + 3] == 'X'
                            ? static_cast<uint32_t>(bank[at + 4] << 24 | bank[at + 5] << 16 |
                                                    bank[at + 6] << 8 | bank[at + 7])
                            : Le32At(bank, at + 4);
  return int64_t{size} + 8 == m.length;
}

TEST(BankFormats, EveryBankListsItsMembersWholeInsideIt) {
  const BankMembersRow rows[] = {
      {"fsb4_pcm16_two.fsb",
       "fsb",
       0,
       {{208, 8820, "pcm16", "tone440", 22050, 1}, {9040, 17640, "pcm16", "tone330", 44100, 2}}},
      {"fsb4_pcm16_basic_headers.fsb",
       "fsb",
       0,
       {{136, 8820, "pcm16", "tone440", 22050, 1}, {8968, 5732, "pcm16", "", 22050, 1}}},
      {"fsb4_gcadpcm_stereo.fsb",
       "fsb",
       0,
       {{220, 5040, "dsp", "stereo330", 44100, 2, 4410, 2 * 0x2E}}},
      {"fsb5_dsp_two.fsb",
       "fsb",
       0,
       {{254, 2528, "dsp", "dsp440", 22050, 1, 4410, 0x2E},
        {2782, 5056, "dsp", "dsp330", 44100, 2, 4410, 2 * 0x2E}}},
      // Xbox IMA ADPCM: 69 blocks of 36 bytes a channel, not the alignment after them.
      {"fsb5_xbox_ima_two.fsb",
       "fsb",
       0,
       {{108, 69 * 36, "imaadpcm", "ima440", 22050, 1, 69 * 64},
        {2604, 69 * 72, "imaadpcm", "ima330", 44100, 2, 69 * 64}}},

      {"fsb5_pcm16_names.fsb",
       "fsb",
       0,
       {{132, 8820, "pcm16", "tone440", 22050, 1},
        {8964, 5732, "pcm16", "tone660", 22050, 1},
        {14724, 4480, "pcm16", "tone880", 32000, 1}}},
      {"fsb5_v0_pcm16_stereo_loops.fsb", "fsb", 0, {{100, 17640, "pcm16", "stereo330", 44100, 2}}},
      {"awb_wave_members.awb",
       "awb",
       0,
       {{64, 8864, "wav", "", 22050, 1, 4410},
        {8928, 17684, "wav", "", 44100, 2, 4410},
        {26624, 4524, "wav", "", 32000, 1, 2240}}},
      {"awb_v1_short_offsets.awb",
       "awb",
       0,
       {{32, 5776, "wav", "", 22050, 1, 2866}, {5824, 4524, "wav", "", 32000, 1, 2240}}},
      {"wwise_bank_two_pcm.bnk",
       "wwise",
       0,
       {{72, 6452, "wem", "", 32000, 2}, {6536, 4462, "wem", "", 22050, 1}}},
      {"wwise_bank_one_pcm_v88.bnk", "wwise", 0, {{60, 3252, "wem", "", 16000, 1}}},
      {"wwise_bank_big_endian.bnk",
       "wwise",
       0,
       {{72, 2452, "wem", "", 24000, 1}, {2536, 2452, "wem", "", 24000, 1}}},
      // Tables that run past the end of the input: no member beyond it.
      {"fsb4_pcm16_two.fsb", "fsb", 26704 - 20000, {{208, 8820, "pcm16", "tone440", 22050, 1}}},
      {"fsb5_pcm16_names.fsb",
       "fsb",
       19204 - 14800,
       {{132, 8820, "pcm16", "tone440", 22050, 1}, {8964, 5732, "pcm16", "tone660", 22050, 1}}},
      {"awb_wave_members.awb", "awb", 31148 - 20000, {{64, 8864, "wav", "", 22050, 1}}},
  };
  for (const BankMembersRow& row : rows) {
    SCOPED_TRACE(std::string(row.fixture) + " cut by " + std::to_string(row.cut));
    const Bytes f = Fixture(row.fixture);
    Bytes input = RandomBytes(99, 5, true);
    Append(input, Slice(f, 0, static_cast<int64_t>(f.size() - row.cut)));
    std::vector<StreamReport> reports;
    ASSERT_EQ(Ranges(row.command, input, &reports).size(), 1u);
    const StreamReport& r = reports[0];
    ASSERT_EQ(r.members.size(), row.members.size());
    for (size_t i = 0; i < row.members.size(); ++i) {
      SCOPED_TRACE(i);
      const Member& m = r.members[i];
      const MemberRow& want = row.members[i];
      EXPECT_EQ(m.index, static_cast<int64_t>(i));
      EXPECT_EQ(std::make_pair(m.offset, m.length), std::make_pair(want.offset, want.length));
      EXPECT_LE(m.offset + m.length, r.length);
      EXPECT_EQ(m.codec, want.codec);
      EXPECT_EQ(m.name, want.name);
      EXPECT_EQ(m.rate, want.rate);
      EXPECT_EQ(m.channels, want.channels);
      if (want.samples != -2) {
        EXPECT_EQ(m.samples, want.samples);
      }
      EXPECT_EQ(m.codecSetup.size(), want.setup);
      EXPECT_FALSE(m.encrypted);
      if (m.codec == std::string("pcm16")) {
        EXPECT_EQ(m.length, m.samples * m.channels * 2);
      }
      if (m.codec == std::string("wav") || m.codec == std::string("wem")) {
        EXPECT_TRUE(WholeRiffFile(input, r, m));
      }
    }
  }
}

}  // namespace
