// The formats carved as whole files: Wwise soundbanks, BRSTM/BCSTM/BFSTM and
// MIDI (standard and RIFF). Each committed fixture changed in one place, in
// random bytes (or at their end): a file whose fields no longer agree gives nothing, never a
// piece of it; one whose last chunks are not of the format ends before them.
// (tests/carve/formats_test.cpp carves every fixture at odd offsets, in a tar
// and back to back, and finds nothing in random bytes, in the other formats'
// fixtures, PCM among them, or in compressed data.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "carve/engine/formats.h"
#include "carve/engine/run_state.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

// The offset of the first `tag` in `f` at or after `from`.
size_t Find(const Bytes& f, std::string_view tag, size_t from = 0) {
  const auto it =
      std::search(f.begin() + static_cast<int64_t>(from), f.end(), tag.begin(), tag.end(),
                  [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
  EXPECT_NE(it, f.end()) << tag;
  return static_cast<size_t>(it - f.begin());
}

void Put32(Bytes& f, size_t at, uint32_t v, bool big) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (big ? 24 - 8 * i : 8 * i));
}
uint32_t Get32(const Bytes& f, size_t at, bool big) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t{f[at + i]} << (big ? 24 - 8 * i : 8 * i);
  return v;
}
// Adds `delta` to the 32-bit field at `at`.
void Add32(Bytes& f, size_t at, int64_t delta, bool big) {
  Put32(f, at, static_cast<uint32_t>(Get32(f, at, big) + delta), big);
}

struct Row {
  const char* name;
  const char* command;
  const char* fixture;
  std::function<void(Bytes&)> change;
  // The length of the one stream found, from the fixture's start; 0: the
  // whole changed fixture; -1: none.
  int64_t found;
  bool atEnd = false;  // the changed fixture ends the input
};

// The changed fixture at an odd offset in random bytes of every value:
// the lengths of the streams the row's pass finds.
std::vector<int64_t> Carve(const Row& row, Bytes& file) {
  file = Fixture(row.fixture);
  row.change(file);
  Bytes input = RandomBytes(1001, 11, true);
  const int64_t at = Append(input, file);
  if (!row.atEnd) Append(input, RandomBytes(999, 12, true));
  TempDir dir;
  WriteBytes(dir / "in.bin", input);
  ScriptHost host;
  RunState dryRun = RunState::PassAlone({.dryRun = true});
  ExtractFormats(host, {FindFormat(row.command)}, dir / "in.bin", dir / "out/%3.3d.x", dryRun);
  std::vector<int64_t> lengths;
  for (const StreamReport& s : host.streams) {
    EXPECT_EQ(s.offset, at);
    lengths.push_back(s.length);
  }
  return lengths;
}

const auto kNothing = [](Bytes&) {};

TEST(WholeFileFormats, AChangedFieldGivesTheWholeFileOrNothing) {
  const char* bank = "wwise_bank_two_pcm.bnk";
  const char* bigBank = "wwise_bank_big_endian.bnk";
  const char* rstm = "brstm_pcm16_mono_22k.brstm";
  const char* dsp = "brstm_dsp_stereo_32k.brstm";
  const char* cstm = "bcstm_pcm16_stereo_32k.bcstm";
  const char* fstm = "bfstm_pcm16_stereo_48k_be.bfstm";
  const char* smf = "midi_abc2midi_duet_format1.mid";
  const char* rmi = "midi_riff_duet.rmi";
  const char* reel = "midi_abc2midi_reel_format0.mid";
  // The reel's second Note Off ("80 42 00") under the running status of the
  // Note On before it: a Note On of velocity 0, its track one byte shorter.
  auto RunningNoteOff = [](Bytes& f) {
    f.erase(f.begin() + static_cast<int64_t>(Find(f, std::string_view("\x80\x42\x00", 3))));
    Add32(f, Find(f, "MTrk") + 4, -1, true);
  };
  auto cut = [](Bytes& f) { f.pop_back(); };
  auto didx = [](const Bytes& f) { return Find(f, "DIDX") + 8; };
  const Row rows[] = {
      {"a whole bank", "wwise", bank, kNothing, 0},
      {"a whole big-endian bank", "wwise", bigBank, kNothing, 0},
      {"a bank cut short", "wwise", bank, cut, -1, true},
      {"a member past the end of DATA", "wwise", bank,
       [&](Bytes& f) { Add32(f, didx(f) + 12 + 8, 1, false); }, -1},
      {"a member before the end of the one before", "wwise", bank,
       [&](Bytes& f) { Add32(f, didx(f) + 12 + 4, -16, false); }, -1},
      {"media ids out of order", "wwise", bank,
       [&](Bytes& f) { Put32(f, didx(f), 0xFFFFFFFF, false); }, -1},
      {"DATA longer than its last member and its alignment", "wwise", bank,
       [&](Bytes& f) { Add32(f, didx(f) + 12 + 8, -16, false); }, -1},
      {"a first member that is no WEM file", "wwise", bank,
       [](Bytes& f) { f[Find(f, "DATA") + 8] = 'X'; }, -1},
      {"a big-endian bank whose members are RIFF", "wwise", bigBank,
       [](Bytes& f) { f[Find(f, "RIFX") + 3] = 'F'; }, -1},
      {"no DIDX", "wwise", bank, [](Bytes& f) { f[Find(f, "DIDX")] = 'X'; }, -1},
      {"bank version 0x1000", "wwise", bank, [](Bytes& f) { Put32(f, 8, 0x1000, false); }, -1},
      {"a header of 0x2000 bytes", "wwise", bank, [](Bytes& f) { Put32(f, 4, 0x2000, false); }, -1},
      {"an unknown last chunk: the bank ends before it", "wwise", bank,
       [](Bytes& f) { f[Find(f, "STID")] = 'X'; },
       static_cast<int64_t>(Find(Fixture(bank), "STID"))},
      {"a whole BRSTM", "brstm", rstm, kNothing, 0},
      {"a BRSTM cut short", "brstm", rstm, cut, -1, true},
      {"a file size past its last section", "brstm", rstm,
       [](Bytes& f) { Add32(f, 8, 0x20, true); }, -1},
      {"a DATA size unlike the header's", "brstm", rstm,
       [](Bytes& f) { Add32(f, Find(f, "DATA") + 4, -0x20, true); }, -1},
      {"a little-endian mark", "brstm", rstm, [](Bytes& f) { std::swap(f[4], f[5]); }, -1},
      {"a section off its 32-byte grid", "brstm", rstm, [](Bytes& f) { Add32(f, 0x20, 4, true); },
       -1},
      {"four sections counted", "brstm", rstm, [](Bytes& f) { f[0x0F] = 4; }, -1},
      {"three sections counted, two there: writers count so", "brstm", rstm,
       [](Bytes& f) { f[0x0F] = 3; }, 0},
      {"no DATA section", "brstm", rstm, [](Bytes& f) { Put32(f, 0x20, 0, true); }, -1},
      {"0 channels", "brstm", rstm, [](Bytes& f) { f[Find(f, "HEAD") + 8 + 0x18 + 2] = 0; }, -1},
      {"a whole DSP-ADPCM BRSTM, HEAD, ADPC and DATA", "brstm", dsp, kNothing, 0},
      {"an ADPC size unlike the header's", "brstm", dsp,
       [](Bytes& f) { Add32(f, 0x1C, 0x20, true); }, -1},
      {"an ADPC section that overlaps DATA", "brstm", dsp,
       [](Bytes& f) {
         Add32(f, 0x1C, 0x20, true);
         Add32(f, Find(f, "ADPC") + 4, 0x20, true);
       },
       -1},
      {"a whole BCSTM", "bcstm", cstm, kNothing, 0},
      {"a BCSTM cut short", "bcstm", cstm, cut, -1, true},
      {"a big-endian BCSTM mark", "bcstm", cstm, [](Bytes& f) { std::swap(f[4], f[5]); }, -1},
      {"an unknown section type", "bcstm", cstm, [](Bytes& f) { f[0x14 + 12] = 0x09; }, -1},
      {"a SEEK section where DATA is", "bcstm", cstm, [](Bytes& f) { f[0x14 + 24] = 0x01; }, -1},
      {"a sampling rate of 500 Hz", "bcstm", cstm,
       [](Bytes& f) { Put32(f, Find(f, "INFO") + 8 + 0x18 + 4, 500, false); }, -1},
      {"a whole big-endian BFSTM", "bfstm", fstm, kNothing, 0},
      {"a BFSTM file size one short", "bfstm", fstm, [](Bytes& f) { Add32(f, 0x0C, -1, true); },
       -1},
      {"an INFO size unlike the header's", "bfstm", fstm,
       [](Bytes& f) { Add32(f, Find(f, "INFO") + 4, 0x20, true); }, -1},
      {"a whole standard MIDI file", "mid", smf, kNothing, 0},
      {"a standard MIDI file cut short", "mid", smf, cut, -1, true},
      {"five tracks counted, four there", "mid", smf, [](Bytes& f) { f[11] = 5; }, -1},
      {"three tracks counted, four there", "mid", smf, [](Bytes& f) { f[11] = 3; }, -1},
      {"format 0 of four tracks", "mid", smf, [](Bytes& f) { f[9] = 0; }, -1},
      {"format 3", "mid", smf, [](Bytes& f) { f[9] = 3; }, -1},
      {"a header of length 7", "mid", smf, [](Bytes& f) { f[7] = 7; }, -1},
      {"a division of 0", "mid", smf, [](Bytes& f) { f[12] = f[13] = 0; }, -1},
      {"a division of 23 SMPTE frames", "mid", smf, [](Bytes& f) { f[12] = 0xE9; }, -1},
      {"no End of Track in the last track", "mid", smf, [](Bytes& f) { f[f.size() - 2] = 0x01; },
       -1},
      {"End of Track before the end of its chunk", "mid", smf,
       [](Bytes& f) {
         Add32(f, Find(f, "MTrk", 14) + 4, 1, true);
         f.insert(f.begin() + static_cast<int64_t>(Find(f, "MTrk", 15)), 0);
       },
       -1},
      {"a track one byte shorter than its events", "mid", smf,
       [](Bytes& f) { Add32(f, Find(f, "MTrk", 14) + 4, -1, true); }, -1},
      // Data bytes above 127, read by count as players read them.
      {"a velocity of 0xFF", "mid", smf, [](Bytes& f) { f[Find(f, "\x90") + 2] = 0xFF; }, 0},
      {"a note number with its top bit set", "mid", smf,
       [](Bytes& f) { f[Find(f, "\x90") + 1] |= 0x80; }, 0},
      {"a velocity of 0xFF in a file of one track", "mid", reel,
       [](Bytes& f) { f[Find(f, "\x90") + 2] = 0xFF; }, 0},
      {"a velocity of 0xFF under running status", "mid", reel,
       [&](Bytes& f) {
         RunningNoteOff(f);
         f[Find(f, std::string_view("\x42\x00", 2)) + 1] = 0xFF;
       },
       0},
      {"a velocity of 0xFF in a track one byte shorter than its events", "mid", smf,
       [](Bytes& f) {
         f[Find(f, "\x90") + 2] = 0xFF;
         Add32(f, Find(f, "MTrk", 14) + 4, -1, true);
       },
       -1},
      {"a velocity of 0xFF, the End of Track's length one more", "mid", smf,
       [](Bytes& f) {
         f[Find(f, "\x90") + 2] = 0xFF;
         f.back() = 1;
       },
       -1},
      {"0xF4 where a note under running status is: a status, not data", "mid", reel,
       [&](Bytes& f) {
         RunningNoteOff(f);
         f[Find(f, std::string_view("\x42\x00", 2))] = 0xF4;
       },
       -1},
      {"a RIFF MIDI file with a velocity of 0xFF", "rmi", rmi,
       [](Bytes& f) { f[Find(f, "\x90") + 2] = 0xFF; }, 0},
      {"the data chunk of a RIFF MIDI file", "mid", rmi, kNothing, -1},
      {"a whole RIFF MIDI file", "rmi", rmi, kNothing, 0},
      {"a RIFF MIDI file cut short", "rmi", rmi, cut, -1, true},
      {"a data chunk longer than its file", "rmi", rmi,
       [](Bytes& f) { Add32(f, Find(f, "data") + 4, 2, false); }, -1},
      {"a RIFF size short of its chunks", "rmi", rmi, [](Bytes& f) { Add32(f, 4, -2, false); }, -1},
      {"a RIFF MIDI file of no data chunk", "rmi", rmi, [](Bytes& f) { f[Find(f, "data")] = 'D'; },
       -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.command) + " " + row.fixture + ": " + row.name);
    Bytes file;
    const std::vector<int64_t> lengths = Carve(row, file);
    if (row.found < 0) {
      EXPECT_TRUE(lengths.empty());
    } else {
      const int64_t want = row.found == 0 ? static_cast<int64_t>(file.size()) : row.found;
      EXPECT_EQ(lengths, std::vector<int64_t>{want});
    }
  }
}

}  // namespace

namespace {

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A standard MIDI file of `tracks`, each the bytes of its events before End
// of Track.
Bytes Smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
  Bytes f = {'M',
             'T',
             'h',
             'd',
             0,
             0,
             0,
             6,
             0,
             static_cast<uint8_t>(format),
             0,
             static_cast<uint8_t>(tracks.size()),
             static_cast<uint8_t>(division >> 8),
             static_cast<uint8_t>(division)};
  for (Bytes t : tracks) {
    t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
    const Bytes head = {'M',
                        'T',
                        'r',
                        'k',
                        0,
                        0,
                        static_cast<uint8_t>(t.size() >> 8),
                        static_cast<uint8_t>(t.size())};
    f.insert(f.end(), head.begin(), head.end());
    f.insert(f.end(), t.begin(), t.end());
  }
  return f;
}

}  // namespace

// The seconds of a MIDI file are the time of its last event through the
// tempo map (or the SMPTE frame rate); format 2's tracks play one after
// another.
TEST(WholeFileFormats, MidiSecondsFollowTheTempoMap) {
  const Bytes tempo120 = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};  // 500000 us
  const Bytes tempo60 = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};   // 1000000 us
  const Bytes tempo240At192 = {0x81, 0x40, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};
  const Bytes noteAt96 = {0x60, 0x90, 0x3C, 0x40};
  const struct {
    const char* name;
    Bytes file;
    double seconds;
  } rows[] = {
      {"a tempo change halfway",
       Smf(0, 96, {Concat({tempo120, tempo240At192, {0x81, 0x40, 0x90, 0x3C, 0x40}})}), 1.5},
      {"120 beats a minute without a tempo", Smf(0, 480, {{0x87, 0x40, 0x90, 0x3C, 0x40}}), 1.0},
      {"the tempo of the first track for the others", Smf(1, 96, {tempo60, noteAt96}), 1.0},
      {"25 frames of 40 ticks", Smf(0, 0xE728, {{0x8F, 0x50, 0x90, 0x3C, 0x40}}), 2.0},
      {"patterns one after another",
       Smf(2, 96, {Concat({tempo120, noteAt96}), Concat({tempo60, noteAt96})}), 1.5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const char* command : {"mid", "rmi"}) {
      Bytes file = row.file;
      if (std::string_view(command) == "rmi") {
        Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
        riff.insert(riff.end(), {static_cast<uint8_t>(file.size()), 0, 0, 0});
        Append(riff, file);
        if (file.size() & 1) riff.push_back(0);
        riff[4] = static_cast<uint8_t>(riff.size() - 8);
        file = riff;
      }
      Bytes input = RandomBytes(101, 13);
      Append(input, file);
      TempDir dir;
      WriteBytes(dir / "in.bin", input);
      ScriptHost host;
      RunState dryRun = RunState::PassAlone({.dryRun = true});
      ExtractFormats(host, {FindFormat(command)}, dir / "in.bin", dir / "o/%3.3d.x", dryRun);
      ASSERT_EQ(host.streams.size(), 1u) << command;
      EXPECT_NEAR(host.streams[0].facts.seconds, row.seconds, 1e-9) << command;
    }
  }
}
