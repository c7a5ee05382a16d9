// XACT wave banks (.xwb): "WBND" (little-endian: Windows, Xbox) or "DNBW"
// (big-endian: Xbox 360), the tool's version, in versions from 42 on the
// header's version, then five segments (offset, length each): the bank's
// data, the entries, the names and the seek tables (in that order up to
// version 38, the other way round from 39 on), the wave data. The bank's
// data: flags, the count of entries, its name (64 bytes), the size of an
// entry and of a name, the alignment of the waves and, for compact banks,
// the format of every wave. An entry: flags and length in samples, format,
// the wave's offset and length in the wave data, its loop. A compact entry:
// the offset in units of the alignment (21 bits) and the bytes short of the
// next one's (11 bits). A format packs the codec (2 bits: PCM, XMA, MS
// ADPCM, WMA), channels (3), rate (18), block alignment (8) and sample size
// (1: 16 bits, else 8). Versions before 35 pack it otherwise: rejected. The
// bank ends with its wave data and is carved whole; its waves are its
// members.
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/common/byte_order.h"

namespace {

constexpr uint32_t kFirstVersion = 35, kLastVersion = 46, kHeaderVersionFrom = 42;
constexpr uint32_t kSeekTablesFirstFrom = 39;
constexpr int64_t kBankData = 0x60, kEntry = 24, kCompactEntry = 4, kName = 64;
constexpr int64_t kMostEntries = 1 << 18;
constexpr uint32_t kKnownFlags = 0x000F0001, kCompact = 0x00020000;
constexpr int64_t kMostAlignment = 1 << 16;
// MS ADPCM: the block alignment a format packs is this much short, a channel.
constexpr int64_t kAdpcmAlignOffset = 22;
// The first bytes of an ASF file: a WMA wave of a bank is one.
constexpr uint8_t kAsf[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};

enum Segment { kData, kEntries, kNames, kSeekTables, kWaves };

struct Span {
  int64_t offset = 0, length = 0;
  int64_t end() const { return offset + length; }
};

// What the header and the bank's data say.
struct Bank {
  ByteOrder order;
  uint32_t version = 0;
  Span segments[5];
  uint32_t flags = 0, compactFormat = 0;
  int64_t count = 0, entrySize = 0, alignment = 0;
};

// The wave of one entry, its range from the wave data's start.
struct Wave {
  Span range;
  uint32_t format = 0;
  int64_t duration = 0, loopStart = 0, loopLength = 0;
};

bool Magic(const uint8_t* h, ByteOrder& order) {
  order.big = std::memcmp(h, "DNBW", 4) == 0;
  return order.big || std::memcmp(h, "WBND", 4) == 0;
}

// The segments at `s` in the order `order`, from `end` on: the bank's data
// there, each after the one before (those of no bytes left out), the wave
// data last.
bool ReadSegments(const uint8_t* s, const Segment* order, int64_t end, Bank& b) {
  if (b.order.u32(s) != end) return false;
  for (int i = 0; i < 5; ++i) {
    Span& seg = b.segments[order[i]];
    seg = {b.order.u32(s + 8 * i), b.order.u32(s + 8 * i + 4)};
    if (seg.length == 0 && order[i] != kWaves && order[i] != kData) continue;
    if (seg.offset < end) return false;
    end = seg.end();
  }
  return b.segments[kData].length >= kBankData;
}

// The header: magic, a known version (and a header version no newer than
// it), the segments in the order of the version, from the header's end on.
bool ReadHeader(const uint8_t* h, Bank& b) {
  if (!Magic(h, b.order)) return false;
  b.version = b.order.u32(h + 4);
  if (b.version < kFirstVersion || b.version > kLastVersion) return false;
  const bool third = b.version >= kHeaderVersionFrom;
  const uint32_t headerVersion = b.order.u32(h + 8);
  if (third && (headerVersion == 0 || headerVersion > b.version)) return false;
  static constexpr Segment kOrder3[] = {kData, kEntries, kSeekTables, kNames, kWaves};
  static constexpr Segment kOrder2[] = {kData, kEntries, kNames, kSeekTables, kWaves};
  return ReadSegments(h + (third ? 12 : 8), b.version >= kSeekTablesFirstFrom ? kOrder3 : kOrder2,
                      third ? 12 + 40 : 8 + 40, b);
}

// A bank's name: text up to its first zero byte.
bool NameIsText(const uint8_t* name) {
  for (int i = 0; i < kName && name[i] != 0; ++i) {
    if (name[i] < 0x20 || name[i] == 0x7F) return false;
  }
  return true;
}

// Entries of their size filling their segment, names likewise, a
// power-of-two alignment.
bool SizesFit(const Bank& b, int64_t nameSize) {
  const bool compact = (b.flags & kCompact) != 0;
  const int64_t names = b.segments[kNames].length;
  return b.entrySize == (compact ? kCompactEntry : kEntry) &&
         b.segments[kEntries].length == b.count * b.entrySize &&
         (names == 0 || (nameSize == kName && names == b.count * kName)) && b.alignment >= 1 &&
         b.alignment <= kMostAlignment && (b.alignment & (b.alignment - 1)) == 0;
}

// The bank's data at `d`: known flags, a count, a name of text, entries and
// names that fit (SizesFit()).
bool ReadBankData(const uint8_t* d, Bank& b) {
  const ByteOrder o = b.order;
  b.flags = o.u32(d);
  b.count = o.u32(d + 4);
  b.entrySize = o.u32(d + 0x48);
  b.alignment = o.u32(d + 0x50);
  b.compactFormat = o.u32(d + 0x54);
  return (b.flags & ~kKnownFlags) == 0 && b.count >= 1 && b.count <= kMostEntries &&
         NameIsText(d + 8) && SizesFit(b, o.u32(d + 0x4C));
}

// The entries, full or compact.
std::vector<Wave> ReadWaves(std::span<const uint8_t> entries, const Bank& b) {
  std::vector<Wave> waves(b.count);
  const ByteOrder o = b.order;
  for (int64_t i = 0; i < b.count; ++i) {
    const uint8_t* e = entries.data() + i * b.entrySize;
    Wave& w = waves[i];
    if (b.entrySize == kCompactEntry) {
      w.format = b.compactFormat;
      w.range.offset = int64_t{o.u32(e) & 0x1FFFFF} * b.alignment;
      w.range.length = -int64_t{o.u32(e) >> 21};  // the bytes short of the next
      continue;
    }
    w.duration = o.u32(e) >> 4;
    w.format = o.u32(e + 4);
    w.range = {o.u32(e + 8), o.u32(e + 12)};
    w.loopStart = o.u32(e + 16);
    w.loopLength = o.u32(e + 20);
  }
  // A compact wave ends where the next begins (the last where the data
  // ends), less the bytes short of it.
  for (int64_t i = 0; b.entrySize == kCompactEntry && i < b.count; ++i) {
    const int64_t next = i + 1 < b.count ? waves[i + 1].range.offset : b.segments[kWaves].length;
    waves[i].range.length += next - waves[i].range.offset;
  }
  return waves;
}

// A format's fields.
struct Format {
  uint32_t codec, channels, rate, blockAlign, bits16;
};
Format Unpack(uint32_t f) {
  return {f & 3, (f >> 2) & 7, (f >> 5) & 0x3FFFF, (f >> 23) & 0xFF, f >> 31};
}

// MS ADPCM: the bytes of a block of the format.
int64_t AdpcmBlock(const Format& f) { return (f.blockAlign + kAdpcmAlignOffset) * f.channels; }

// A wave: a possible format, of a codec the version knows, its bytes a
// whole count of PCM frames, aligned, after the wave before it and inside
// the wave data.
bool WaveFits(const Wave& w, const Bank& b, int64_t previousEnd) {
  const Format f = Unpack(w.format);
  const bool pcm = f.codec == 0;
  const int64_t frame = f.channels * (f.bits16 ? 2 : 1);
  return f.channels >= 1 && f.rate >= 1000 && f.rate <= 192000 &&
         (f.codec != 3 || b.version >= kHeaderVersionFrom) && w.range.length > 0 &&
         w.range.offset >= previousEnd && w.range.offset % b.alignment == 0 &&
         w.range.end() <= b.segments[kWaves].length && (!pcm || w.range.length % frame == 0);
}

// The samples of a wave a channel, where its bytes or its entry tell.
int64_t SamplesOf(const Wave& w, const Format& f) {
  if (f.codec == 0) return w.range.length / (f.channels * (f.bits16 ? 2 : 1));
  if (f.codec == 2) {
    const int64_t block = AdpcmBlock(f), head = 7 * f.channels;
    const int64_t perBlock = (block - head) * 2 / f.channels + 2;
    const int64_t rest = w.range.length % block;
    return w.range.length / block * perBlock +
           (rest >= head ? (rest - head) * 2 / f.channels + 2 : 0);
  }
  return w.duration > 0 ? w.duration : -1;
}

// The codec's word: PCM of the bank's order, MS ADPCM, XMA, and WMA: an
// ASF file by itself, or xWMA data without its container.
std::string CodecOf(const Format& f, const Bank& b, std::span<const uint8_t> first) {
  switch (f.codec) {
    case 0:
      return !f.bits16 ? "pcm8u" : b.order.big ? "pcm16be" : "pcm16";
    case 1:
      return "xma";
    case 2:
      return "msadpcm";
    default:
      return first.size() >= sizeof kAsf && std::memcmp(first.data(), kAsf, sizeof kAsf) == 0
                 ? "wma"
                 : "xwma";
  }
}

// The text at `p` up to its first zero byte, at most `most` bytes of it.
std::string TextAt(const uint8_t* p, int64_t most) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, most));
  return std::string(reinterpret_cast<const char*>(p), end ? end - p : most);
}

class XwbCarver : public Carver {
 public:
  explicit XwbCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'W', 0xFF, 'B'}; }
  std::vector<Trigger> triggers() const override { return {trigger(), {'D', 0xFF, 'N'}}; }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    Bank b;
    return avail >= kHeader && !ReadHeader(bytes, b);
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t start = where.offset;
    const auto header = input.bytes(start, kHeader);
    if (std::ssize(header) < kHeader) return ProbeResult::EndPass;
    Bank b;
    if (!ReadHeader(header.data(), b)) return ProbeResult::Reject;
    const auto data = input.bytes(start + b.segments[kData].offset, kBankData);
    if (std::ssize(data) < kBankData || !ReadBankData(data.data(), b)) return ProbeResult::Reject;
    const auto entries = input.bytes(start + b.segments[kEntries].offset, b.count * b.entrySize);
    if (std::ssize(entries) < b.count * b.entrySize) return ProbeResult::Reject;
    const std::vector<Wave> waves = ReadWaves(entries, b);
    int64_t previousEnd = 0;
    for (const Wave& w : waves) {
      if (!WaveFits(w, b, previousEnd)) return ProbeResult::Reject;
      previousEnd = w.range.end();
    }
    // The waves the input holds whole; a bank cut short ends after them.
    const int64_t room = input.knownSize() - start, wavesAt = b.segments[kWaves].offset;
    std::vector<Member> members;
    for (size_t i = 0; i < waves.size() && wavesAt + waves[i].range.end() <= room; ++i) {
      members.push_back(MemberOf(input, start, b, waves[i], static_cast<int64_t>(i)));
    }
    if (members.empty()) return ProbeResult::Reject;
    const bool whole = members.size() == waves.size();
    const CopySpan span{
        start, whole ? b.segments[kWaves].end() : members.back().offset + members.back().length};
    StreamFacts facts;
    facts.frames = std::ssize(members);
    facts.sampleRateHz = members.front().rate;
    facts.channels = members.front().channels;
    Found found{span, StreamLine(where.number, span, "XWB", "Waves", facts), facts};
    found.truncated = !whole;
    found.members = std::move(members);
    return found;
  }

 private:
  static constexpr int64_t kHeader = 12 + 40;

  // Wave `index`: its range from the bank's start, codec, format, name.
  static Member MemberOf(InputView& input, int64_t start, const Bank& b, const Wave& w,
                         int64_t index) {
    const Format f = Unpack(w.format);
    Member m;
    m.index = index;
    m.offset = b.segments[kWaves].offset + w.range.offset;
    m.length = w.range.length;
    m.codec = CodecOf(f, b, input.bytes(start + m.offset, sizeof kAsf));
    m.rate = f.rate;
    m.channels = f.channels;
    m.samples = SamplesOf(w, f);
    if (f.codec == 2) m.blockAlign = AdpcmBlock(f);
    if (b.version >= kSeekTablesFirstFrom && b.entrySize == kEntry && w.loopLength > 0) {
      m.loopStart = w.loopStart;
      m.loopEnd = w.loopStart + w.loopLength;
    }
    const Span names = b.segments[kNames];
    if (names.length > 0) {
      const auto name = input.bytes(start + names.offset + index * kName, kName);
      if (std::ssize(name) >= kName) m.name = TextAt(name.data(), kName);
    }
    return m;
  }
};

}  // namespace

std::unique_ptr<Carver> MakeXwbCarver(Host& host) { return std::make_unique<XwbCarver>(host); }
