#include "carve/ogg_streams.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "carve/input_view.h"
#include "carve/little_endian.h"

namespace {

constexpr int64_t kHeaderSize = 27;
constexpr uint8_t kFirstPage = 0x02;
constexpr uint8_t kLastPage = 0x04;
constexpr int64_t kChecksumAt = 22;
// More logical streams in one group than any real file has ends the run.
constexpr size_t kMaxStreams = 64;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int bit = 0; bit < 8; ++bit) c = c & 0x80000000u ? c << 1 ^ 0x04C11DB7u : c << 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t CrcOf(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = crc << 8 ^ kCrcTable[(crc >> 24) ^ p[i]];
  return crc;
}

// The page at `pos` whose CRC matches: all its bytes; empty when the bytes
// there are no such page or the input ends inside it.
std::span<const uint8_t> CheckedPage(InputView& input, int64_t pos) {
  std::span<const uint8_t> bytes = input.bytes(pos, kHeaderSize);
  if (static_cast<int64_t>(bytes.size()) < kHeaderSize || std::memcmp(bytes.data(), "OggS", 4) != 0 ||
      bytes[4] != 0) {
    return {};
  }
  const int64_t tableEnd = kHeaderSize + bytes[26];
  bytes = input.bytes(pos, tableEnd);
  if (static_cast<int64_t>(bytes.size()) < tableEnd) return {};
  int64_t length = tableEnd;
  for (int64_t i = kHeaderSize; i < tableEnd; ++i) length += bytes[i];
  bytes = input.bytes(pos, length);
  if (static_cast<int64_t>(bytes.size()) < length) return {};
  bytes = bytes.first(static_cast<size_t>(length));
  if (OggPageCrc(bytes) != Le32(bytes.data() + kChecksumAt)) return {};
  return bytes;
}

// The part of the page's first packet that lies on the page.
std::span<const uint8_t> FirstPacket(std::span<const uint8_t> page) {
  const size_t segments = page[26];
  size_t length = 0;
  for (size_t i = 0; i < segments; ++i) {
    length += page[kHeaderSize + i];
    if (page[kHeaderSize + i] < 255) break;
  }
  return page.subspan(kHeaderSize + segments, length);
}

OggLogicalStream* Find(std::vector<OggLogicalStream>& streams, uint32_t serial) {
  for (OggLogicalStream& stream : streams) {
    if (stream.serial == serial) return &stream;
  }
  return nullptr;
}

// Whether a page of the given type and stream (null: a serial not seen yet)
// belongs to the run so far.
bool Belongs(const OggGroup& group, const OggLogicalStream* stream, uint8_t type,
             bool dataBegun) {
  if (stream != nullptr) return !stream->ended && (type & kFirstPage) == 0;
  if (group.streams.size() >= kMaxStreams) return false;
  // A new stream: by its first page while only first pages have come, or,
  // in a run that began without one, by any page that is no first page.
  return (type & kFirstPage) != 0 ? !dataBegun : !group.begins;
}

}  // namespace

uint32_t OggPageCrc(std::span<const uint8_t> page) {
  static constexpr uint8_t kZeros[4] = {};
  if (page.size() < static_cast<size_t>(kHeaderSize)) return 0;
  uint32_t crc = CrcOf(0, page.data(), kChecksumAt);
  crc = CrcOf(crc, kZeros, sizeof kZeros);
  return CrcOf(crc, page.data() + kChecksumAt + 4, page.size() - kChecksumAt - 4);
}

bool OggGroup::complete() const {
  return begins && !streams.empty() &&
         std::all_of(streams.begin(), streams.end(),
                     [](const OggLogicalStream& s) { return s.ended; });
}

double OggGroup::seconds() const {
  double longest = 0.0;
  for (const OggLogicalStream& s : streams) {
    longest = std::max(longest, OggSeconds(s.codec, s.lastGranule));
  }
  return longest;
}

OggGroup FollowOggGroup(InputView& input, int64_t start) {
  OggGroup group;
  int64_t pos = start;
  bool dataBegun = false;  // a page that is no first page has come
  for (;;) {
    const std::span<const uint8_t> page = CheckedPage(input, pos);
    if (page.empty()) break;
    const uint8_t type = page[5];
    const uint32_t serial = Le32(page.data() + 14);
    OggLogicalStream* stream = Find(group.streams, serial);
    if (!Belongs(group, stream, type, dataBegun)) break;
    if (stream == nullptr) {
      if (group.pages == 0) group.begins = (type & kFirstPage) != 0;
      OggLogicalStream added;
      added.serial = serial;
      if (type & kFirstPage) added.codec = ReadOggCodec(FirstPacket(page));
      group.streams.push_back(added);
      stream = &group.streams.back();
    }
    dataBegun = dataBegun || (type & kFirstPage) == 0;
    const auto granule = static_cast<int64_t>(Le64(page.data() + 6));
    if (granule >= 0) stream->lastGranule = granule;
    stream->ended = (type & kLastPage) != 0;
    ++group.pages;
    pos += static_cast<int64_t>(page.size());
    if (std::all_of(group.streams.begin(), group.streams.end(),
                    [](const OggLogicalStream& s) { return s.ended; })) {
      break;
    }
  }
  group.length = pos - start;
  return group;
}
