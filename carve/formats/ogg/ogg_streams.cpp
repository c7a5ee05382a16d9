#include "carve/formats/ogg/ogg_streams.h"

#include <algorithm>
#include <cstring>

#include "carve/engine/input_view.h"
#include "carve/formats/common/little_endian.h"

namespace {

constexpr int64_t kHeaderSize = 27;
constexpr uint8_t kFirstPage = 0x02;
constexpr uint8_t kLastPage = 0x04;
constexpr int64_t kChecksumAt = 22;
// The most a codec's identification header takes of its first packet.
constexpr int64_t kPacketHeader = 80;
// More logical streams in one group than any real file has ends the run.
constexpr size_t kMaxStreams = 64;

// The page at `pos` whose CRC matches: its header, segment table and as
// much of its body as a first packet's header needs (all of it when
// shorter), and its length; empty when the bytes there are no such page or
// the input ends inside it.
struct CheckedPage {
  std::span<const uint8_t> bytes;
  int64_t length = 0;
};

CheckedPage CheckPage(InputView& input, int64_t pos, OggCrcCache& crcs) {
  std::span<const uint8_t> bytes = input.bytes(pos, kHeaderSize);
  if (static_cast<int64_t>(bytes.size()) < kHeaderSize ||
      std::memcmp(bytes.data(), "OggS", 4) != 0 || bytes[4] != 0) {
    return {};
  }
  const int64_t tableEnd = kHeaderSize + bytes[26];
  bytes = input.bytes(pos, tableEnd);
  if (static_cast<int64_t>(bytes.size()) < tableEnd) return {};
  int64_t length = tableEnd;
  for (int64_t i = kHeaderSize; i < tableEnd; ++i) length += bytes[i];
  uint8_t field[4];
  std::memcpy(field, bytes.data() + kChecksumAt, sizeof field);
  uint32_t crc = 0;
  if (!crcs.pageCrc(input, pos, length, field, crc) || crc != Le32(field)) return {};
  const int64_t kept = std::min(length, tableEnd + kPacketHeader);
  return {input.bytes(pos, kept).first(static_cast<size_t>(kept)), length};
}

OggLogicalStream* Find(std::vector<OggLogicalStream>& streams, uint32_t serial) {
  for (OggLogicalStream& stream : streams) {
    if (stream.serial == serial) return &stream;
  }
  return nullptr;
}

// Whether a page of the given type and stream (null: a serial not seen yet)
// belongs to the run so far.
bool Belongs(const OggGroup& group, const OggLogicalStream* stream, uint8_t type, bool dataBegun) {
  if (stream != nullptr) return !stream->ended && (type & kFirstPage) == 0;
  if (group.streams.size() >= kMaxStreams) return false;
  // A new stream: by its first page while only first pages have come, or,
  // in a run that began without one, by any page that is no first page.
  return (type & kFirstPage) != 0 ? !dataBegun : !group.begins;
}

}  // namespace

std::span<const uint8_t> OggFirstPacket(std::span<const uint8_t> page) {
  const size_t segments = page[26];
  size_t length = 0;
  for (size_t i = 0; i < segments; ++i) {
    length += page[kHeaderSize + i];
    if (page[kHeaderSize + i] < 255) break;
  }
  const size_t at = kHeaderSize + segments;
  return page.subspan(at, std::min(length, page.size() - at));
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

OggGroup FollowOggGroup(InputView& input, int64_t start, OggCrcCache& crcs) {
  OggGroup group;
  int64_t pos = start;
  bool dataBegun = false;  // a page that is no first page has come
  for (;;) {
    const CheckedPage checked = CheckPage(input, pos, crcs);
    if (checked.length == 0) break;
    const std::span<const uint8_t> page = checked.bytes;
    const uint8_t type = page[5];
    const uint32_t serial = Le32(page.data() + 14);
    OggLogicalStream* stream = Find(group.streams, serial);
    if (!Belongs(group, stream, type, dataBegun)) break;
    if (stream == nullptr) {
      if (group.pages == 0) group.begins = (type & kFirstPage) != 0;
      OggLogicalStream added;
      added.serial = serial;
      if (type & kFirstPage) added.codec = ReadOggCodec(OggFirstPacket(page));
      group.streams.push_back(added);
      stream = &group.streams.back();
    }
    dataBegun = dataBegun || (type & kFirstPage) == 0;
    const auto granule = static_cast<int64_t>(Le64(page.data() + 6));
    if (granule >= 0) stream->lastGranule = granule;
    stream->ended = (type & kLastPage) != 0;
    ++group.pages;
    pos += checked.length;
    if (std::all_of(group.streams.begin(), group.streams.end(),
                    [](const OggLogicalStream& s) { return s.ended; })) {
      break;
    }
  }
  group.length = pos - start;
  return group;
}
