#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/banks/fsb_tables.h"
#include "carve/formats/common/little_endian.h"

namespace {

using fsb::SizeFits;
using fsb::Table;
using fsb::TakeDspSetup;
using fsb::TextAt;

// So many samples in a bank at the most, and so many bytes of sample
// headers and names: a walk goes no further.
constexpr int64_t kMostSamples = 1 << 16;
constexpr int64_t kMostTables = 16 << 20;
// Sample data is aligned to 32 bytes.
constexpr int64_t kDataAlign = 32;

int64_t Aligned(int64_t n) { return (n + kDataAlign - 1) / kDataAlign * kDataAlign; }

// What a bank holds, for its line.
struct Bank {
  int64_t samples = 0, rate = 0, channels = 0, length = 0;  // length: of the first sample
  // The first samples whose data the input holds whole, and where the data
  // after them begins, from the start of the data.
  int64_t held = 0, heldEnd = 0;
  // Every sample, its range from the start of the data until the bank is
  // measured, then from the bank's start and only those held.
  std::vector<Member> members;

  // The count of samples and the first one's rate, channels and length.
  void first(int64_t count, int64_t r, int64_t c, int64_t l) {
    samples = count;
    rate = r;
    channels = c;
    length = l;
  }
};

// The members held, their ranges moved from the data at `dataStart` of the bank.
void KeepHeld(Bank& bank, int64_t dataStart) {
  bank.members.resize(std::min<size_t>(bank.members.size(), bank.held));
  for (Member& m : bank.members) m.offset += dataStart;
}

// A sample whose data ends at `end` of the data, the next one's beginning at
// `next`: held when the input holds the first `room` bytes of the data.
// The data of the samples rises, so those held are the first ones.
void Hold(Bank& bank, int64_t end, int64_t next, int64_t room) {
  if (end > room) return;
  ++bank.held;
  bank.heldEnd = std::min(next, room);
}

// FSB4: a 48-byte header (count, size of the sample headers, size of the
// data, version 4.0, flags, hash), the sample headers, the data.
namespace fsb4 {

constexpr int64_t kHeader = 0x30;
constexpr int64_t kSampleHeader = 0x50;  // a whole one; basic ones: 8 bytes
constexpr uint32_t kBasicHeaders = 0x02, kEncrypted = 0x04, kBigEndianPcm = 0x08;
constexpr uint32_t kKnownFlags = 0x7F;
// Sample modes: sizes and layouts of PCM, and the codecs.
constexpr uint32_t k8Bits = 0x08, k16Bits = 0x10, kMono = 0x20, kStereo = 0x40;
constexpr uint32_t k32Bits = 0x200000;
constexpr uint32_t kCodecs[] = {0x400000, 0x800000, 0x1000000, 0x2000000, 0x8000000, 0x10000000};
constexpr const char* kCodecNames[] = {"imaadpcm", "psx", "xma", "dsp", "celt", "mpeg"};
constexpr uint32_t kLoopOff = 0x01;

// The codec of a sample's mode, with the bank's flags.
std::string CodecOf(uint32_t mode, uint32_t flags) {
  for (size_t i = 0; i < std::size(kCodecs); ++i) {
    if (mode & kCodecs[i]) return kCodecNames[i];
  }
  if (mode & k8Bits) return "pcm8";
  if (mode & k32Bits) return "pcmfloat";
  return (flags & kBigEndianPcm) ? "pcm16be" : "pcm16";
}

// The member of the whole sample header `h` (its name, loop, mode), or of
// a basic one `h` after the whole `first`.
Member MemberOf(const uint8_t* h, const Member& first, bool whole, uint32_t flags) {
  Member m = first;
  if (!whole) {
    m.samples = Le32(h);
    m.length = Le32(h + 4);
    m.name.clear();
    m.loopStart = m.loopEnd = -1;
    m.codecSetup.clear();
    return m;
  }
  const uint32_t mode = Le32(h + 0x30);
  m.name = TextAt(h + 2, 30);
  m.samples = Le32(h + 0x20);
  m.length = Le32(h + 0x24);
  if (!(mode & kLoopOff) && Le32(h + 0x2C) > Le32(h + 0x28)) {
    m.loopStart = Le32(h + 0x28);
    m.loopEnd = Le32(h + 0x2C);
  }
  m.codec = CodecOf(mode, flags);
  m.rate = Le32(h + 0x34);
  m.channels = Le16(h + 0x3E);
  m.encrypted = (flags & kEncrypted) != 0;
  return m;
}

// The mode of a sample with `channels` channels: at most one codec, one
// sample size, one layout that agrees with the channels. Its PCM bytes per
// sample frame, or 0 for a codec.
int64_t PcmBytes(uint32_t mode, int64_t channels, bool& ok) {
  int codecs = 0;
  for (uint32_t c : kCodecs) codecs += (mode & c) != 0;
  ok = codecs <= 1 && (mode & (k8Bits | k16Bits)) != (k8Bits | k16Bits) &&
       (mode & (kMono | kStereo)) != (kMono | kStereo) && (!(mode & kMono) || channels == 1) &&
       (!(mode & kStereo) || channels == 2);
  if (codecs > 0) return 0;
  const int64_t bytes = (mode & k8Bits) ? 1 : (mode & k32Bits) ? 4 : 2;
  return bytes * channels;
}

// The whole sample header at `h`, `room` bytes left in the table: its own
// size, at least 0x50 bytes and within the table, a possible mode, channels
// and rate, a loop inside, and data as long as its samples need. Its size,
// or -1; `pcm` its PCM bytes a frame (0: a codec).
int64_t FullHeader(const uint8_t* h, int64_t room, int64_t& pcm) {
  const int64_t headerSize = Le16(h);
  const int64_t channels = Le16(h + 0x3E), rate = Le32(h + 0x34);
  bool ok = false;
  pcm = PcmBytes(Le32(h + 0x30), channels, ok);
  if (headerSize < kSampleHeader || headerSize > room || !ok || channels < 1 || channels > 16 ||
      rate < 1000 || rate > 192000 || Le32(h + 0x28) > Le32(h + 0x2C) ||
      !SizeFits(Le32(h + 0x20), Le32(h + 0x24), pcm, channels)) {
    return -1;
  }
  return headerSize;
}

// The sample headers of `count` samples whose data is `dataSize` bytes:
// they fill their table exactly, and each sample's data, aligned, fills the
// data. Basic headers have the format of the first, whole one. The input
// holds the first `room` bytes of the data.
bool Samples(const Table& t, int64_t count, uint32_t flags, int64_t dataSize, int64_t room,
             Bank& bank) {
  const bool basic = flags & kBasicHeaders;
  int64_t at = 0, data = 0, aligned = 0, pcm = 0;
  for (int64_t i = 0; i < count; ++i) {
    const bool whole = !basic || i == 0;
    const uint8_t* h = t.at(at, whole ? kSampleHeader : 8);
    if (!h) return false;
    const int64_t own = whole ? FullHeader(h, t.size - at, pcm) : 8;
    if (own < 0) return false;
    if (i == 0) bank.first(count, Le32(h + 0x34), Le16(h + 0x3E), Le32(h + 0x20));
    const int64_t bytes = whole ? Le32(h + 0x24) : Le32(h + 4);
    if (!whole && !SizeFits(Le32(h), bytes, pcm, bank.channels)) return false;
    const Member none;
    bank.members.push_back(
        MemberOf(h, bank.members.empty() ? none : bank.members.front(), whole, flags));
    bank.members.back().index = i;
    bank.members.back().offset = aligned;
    TakeDspSetup(t, at + kSampleHeader, own - kSampleHeader, bank.members.back());
    Hold(bank, aligned + bytes, std::min(aligned + Aligned(bytes), dataSize), room);
    data += bytes;
    aligned += Aligned(bytes);
    at += own;
  }
  return at == t.size && data <= dataSize && dataSize <= aligned;
}

// The bank at `start`, its header `h` held; its length, or -1. A bank whose
// data runs past the end of the input ends after the samples it holds.
int64_t Measure(InputView& input, int64_t start, const uint8_t* h, Bank& bank) {
  const int64_t count = Le32(h + 4), headers = Le32(h + 8), dataSize = Le32(h + 12);
  const uint32_t flags = Le32(h + 0x14);
  if (Le32(h + 0x10) != 0x00040000 || (flags & ~kKnownFlags) != 0 || count < 1 ||
      count > kMostSamples || headers > kMostTables || headers < kSampleHeader) {
    return -1;
  }
  const int64_t room = input.knownSize() - start - kHeader - headers;
  if (!Samples({input, start + kHeader, headers}, count, flags, dataSize, room, bank)) return -1;
  KeepHeld(bank, kHeader + headers);
  return kHeader + headers + (bank.held < count ? bank.heldEnd : dataSize);
}

}  // namespace fsb4

// FSB5: a header (version, count, sizes of the sample headers, the name
// table and the data, codec, hash), the sample headers, the name table,
// the data.
namespace fsb5 {

constexpr int64_t kHeaderV0 = 0x40, kHeaderV1 = 0x3C;
constexpr uint32_t kLastCodec = 17;  // Opus
constexpr int64_t kRates[] = {4000,  8000,  11000, 11025, 16000, 22050,
                              24000, 32000, 44100, 48000, 96000};
constexpr int64_t kChannels[] = {1, 2, 6, 8};
// The codecs by their number, from 1.
constexpr const char* kCodecNames[] = {"pcm8",     "pcm16", "pcm24",  "pcm32",  "pcmfloat", "dsp",
                                       "imaadpcm", "psx",   "hevag",  "xma",    "mpeg",     "celt",
                                       "atrac9",   "xwma",  "vorbis", "fadpcm", "opus"};
static_assert(std::size(kCodecNames) == kLastCodec);

// The PCM bytes of a sample of one channel in the codec, 0 for the others.
int64_t PcmBytes(uint32_t codec) {
  switch (codec) {
    case 1:
      return 1;
    case 2:
      return 2;
    case 3:
      return 3;
    case 4:
    case 5:
      return 4;
    default:
      return 0;
  }
}

// One sample header: 64 bits (extra chunks follow, rate, channels, data
// offset in 32-byte units, sample count), then its extra chunks.
struct Sample {
  int64_t offset = 0, samples = 0, rate = 0, channels = 0, size = 0;
  int64_t loopStart = -1, loopEnd = -1;
  std::vector<uint8_t> setup;  // DSP ADPCM's coefficients (type 7)
};

// What an extra chunk of a sample header says: its channels (type 1), its
// rate (2), its loop (3), DSP ADPCM's coefficients (7).
void TakeChunk(uint32_t type, const uint8_t* body, int64_t size, Sample& out) {
  if (type == 7) out.setup.assign(body, body + size);
  if (type == 1 && size >= 1) out.channels = body[0];
  if (type == 2 && size >= 4) out.rate = Le32(body);
  if (type == 3 && size >= 8) {
    out.loopStart = Le32(body);
    out.loopEnd = Le32(body + 4);
  }
}

// The sample header at `at` of the table, or false.
bool SampleAt(const Table& t, int64_t at, Sample& out) {
  const uint8_t* p = t.at(at, 8);
  if (!p) return false;
  const uint64_t v = Le64(p);
  const uint32_t rateIndex = (v >> 1) & 0xF;
  if (rateIndex >= std::size(kRates)) return false;
  out = {static_cast<int64_t>((v >> 7) & 0x7FFFFFF) * kDataAlign,
         static_cast<int64_t>(v >> 34),
         kRates[rateIndex],
         kChannels[(v >> 5) & 3],
         8,
         -1,
         -1,
         {}};
  bool more = v & 1;
  while (more) {
    const uint8_t* c = t.at(at + out.size, 4);
    if (!c) return false;
    const uint32_t chunk = Le32(c);
    const int64_t chunkSize = (chunk >> 1) & 0xFFFFFF;
    const uint32_t type = chunk >> 25;
    const uint8_t* body =
        t.at(at + out.size + 4, type == 7 ? chunkSize : std::min<int64_t>(chunkSize, 8));
    if (type == 0 || !body || at + out.size + 4 + chunkSize > t.size) return false;
    TakeChunk(type, body, chunkSize, out);
    out.size += 4 + chunkSize;
    more = chunk & 1;
  }
  return out.channels >= 1 && out.rate >= 1000 && out.rate <= 192000;
}

// The data of a sample from `from` to `to` in the data: PCM samples fill
// it but for its alignment; other codecs' as SizeFits() has it.
bool DataFits(const Sample& sample, int64_t from, int64_t to, uint32_t codec) {
  const int64_t pcm = PcmBytes(codec) * sample.channels * sample.samples;
  if (to <= from) return false;
  if (PcmBytes(codec) == 0) return SizeFits(sample.samples, to - from, 0, sample.channels);
  return to - from >= pcm && to - from < pcm + kDataAlign;
}

// The member of sample `index`, its range from the data's start, its
// length until the next one's offset (PCM: its samples' bytes).
Member MemberOf(const Sample& s, int64_t index, uint32_t codec) {
  Member m;
  m.index = index;
  m.offset = s.offset;
  m.length = PcmBytes(codec) * s.channels * s.samples;
  m.codec = kCodecNames[codec - 1];
  m.rate = s.rate;
  m.channels = s.channels;
  m.samples = s.samples;
  m.loopStart = s.loopStart;
  m.loopEnd = s.loopEnd;
  if (m.codec == "dsp" && std::ssize(s.setup) >= 0x2E * s.channels)
    m.codecSetup.assign(s.setup.begin(), s.setup.begin() + 0x2E * s.channels);
  return m;
}

// The lengths of the members of codecs not PCM: to the next one's offset,
// the last one's to the end of the data; Xbox IMA ADPCM's: its blocks (36
// bytes a channel, 64 samples), not the alignment after them.
void EndMembers(std::vector<Member>& members, int64_t dataSize) {
  for (size_t i = 0; i < members.size(); ++i) {
    Member& m = members[i];
    if (m.length > 0) continue;
    m.length = (i + 1 < members.size() ? members[i + 1].offset : dataSize) - m.offset;
    if (m.codec == "imaadpcm")
      m.length = std::min(m.length, (m.samples + 63) / 64 * 36 * m.channels);
  }
}

// The sample headers: they fill their table exactly; the data offsets rise
// from 0 and lie inside the data, of which the input holds the first `room`
// bytes.
bool Samples(const Table& t, int64_t count, uint32_t codec, int64_t dataSize, int64_t room,
             Bank& bank) {
  int64_t at = 0;
  Sample previous;
  for (int64_t i = 0; i < count; ++i) {
    Sample cur;
    if (!SampleAt(t, at, cur)) return false;
    if (i == 0) {
      if (cur.offset != 0) return false;
      bank.first(count, cur.rate, cur.channels, cur.samples);
    } else if (!DataFits(previous, previous.offset, cur.offset, codec)) {
      return false;
    } else {
      Hold(bank, cur.offset, cur.offset, room);
    }
    at += cur.size;
    previous = cur;
    bank.members.push_back(MemberOf(cur, i, codec));
  }
  if (at != t.size || !DataFits(previous, previous.offset, dataSize, codec)) return false;
  Hold(bank, dataSize, dataSize, room);
  return true;
}

// The longest name taken from a name table.
constexpr int64_t kMostName = 255;

// The name table: an offset per sample, rising, each inside the table. The
// members get their names.
bool Names(const Table& t, int64_t count, std::vector<Member>& members) {
  if (t.size == 0) return true;
  if (count * 4 > t.size) return false;
  int64_t previous = count * 4 - 1;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* p = t.at(i * 4, 4);
    const int64_t at = p ? Le32(p) : -1;
    if (at <= previous || at >= t.size) return false;
    previous = at;
  }
  for (int64_t i = 0; i < count && i < std::ssize(members); ++i) {
    const int64_t at = Le32(t.at(i * 4, 4));
    const int64_t most = std::min(kMostName, t.size - at);
    if (const uint8_t* name = t.at(at, most)) members[i].name = TextAt(name, most);
  }
  return true;
}

int64_t Measure(InputView& input, int64_t start, const uint8_t* h, Bank& bank) {
  const uint32_t version = Le32(h + 4), codec = Le32(h + 0x18);
  const int64_t count = Le32(h + 8), headers = Le32(h + 12), names = Le32(h + 16);
  const int64_t dataSize = Le32(h + 20);
  if (version > 1 || codec < 1 || codec > kLastCodec || count < 1 || count > kMostSamples ||
      headers < 8 * count || headers + names > kMostTables || dataSize < 1) {
    return -1;
  }
  const int64_t base = version == 0 ? kHeaderV0 : kHeaderV1;
  const int64_t room = input.knownSize() - start - base - headers - names;
  if (!Samples({input, start + base, headers}, count, codec, dataSize, room, bank) ||
      !Names({input, start + base + headers, names}, count, bank.members)) {
    return -1;
  }
  EndMembers(bank.members, dataSize);
  KeepHeld(bank, base + headers + names);
  return base + headers + names + (bank.held < count ? bank.heldEnd : dataSize);
}

}  // namespace fsb5

class FsbCarver : public Carver {
 public:
  explicit FsbCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'F', 0xFF, 'S'}; }

  bool ruledOut(const uint8_t* b, int64_t avail) override {
    return avail >= 4 && (b[2] != 'B' || (b[3] != '4' && b[3] != '5'));
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t start = where.offset;
    const auto header = input.bytes(start, fsb5::kHeaderV0);
    if (std::ssize(header) < fsb4::kHeader) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (std::memcmp(h, "FSB", 3) != 0) return ProbeResult::Reject;
    Bank bank;
    int64_t length = -1;
    if (h[3] == '4') length = fsb4::Measure(input, start, h, bank);
    if (h[3] == '5' && std::ssize(header) >= fsb5::kHeaderV0) {
      length = fsb5::Measure(input, start, h, bank);
    }
    if (length < 0) return ProbeResult::Reject;
    // A bank whose data runs past the end of the input keeps the samples
    // whose data it holds whole, and the walk goes on after them: what lies
    // inside the rest of its claim is not hidden. None whole: no bank.
    const bool truncated = bank.held < bank.samples;
    if (bank.held == 0) return ProbeResult::Reject;
    const CopySpan span{start, length};
    StreamFacts f;
    f.frames = bank.held;
    f.sampleRateHz = bank.rate;
    f.channels = bank.channels;
    f.seconds = static_cast<double>(bank.length) / static_cast<double>(bank.rate);
    Found found{span, StreamLine(where.number, span, h[3] == '4' ? "FSB4" : "FSB5", "Files", f), f};
    found.truncated = truncated;
    found.members = std::move(bank.members);
    return found;
  }
};

}  // namespace

std::unique_ptr<Carver> MakeFsbCarver(Host& host) { return std::make_unique<FsbCarver>(host); }
