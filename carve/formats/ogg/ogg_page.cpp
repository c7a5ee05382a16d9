#include "carve/formats/ogg/ogg_page.h"

#include <cstring>

#include "carve/engine/input_view.h"

namespace {

// The bytes read for every page; enough for the header, a segment table of
// up to 73 lacing values and the identification fields of a first page.
constexpr int64_t kPageRead = 100;
constexpr int kHeaderSize = 27;
constexpr uint8_t kFirstPage = 0x02;
constexpr uint8_t kLastPage = 0x04;

}  // namespace

bool DecodeOggPageHeader(const uint8_t* bytes, TFrameInfo& info) {
  if (std::memcmp(bytes, "OggS", 4) != 0 || bytes[4] != 0) return false;
  info = {};
  const int segments = bytes[26];
  int32_t length = kHeaderSize + segments;
  for (int i = 0; i < segments; ++i) length += bytes[kHeaderSize + i];
  info.FrameLength = length;
  const uint8_t type = bytes[5];
  if (type & kFirstPage) {
    // The Vorbis identification fields, at the page offsets they have when
    // the first page holds the identification packet as its only segment.
    info.ChannelMode = bytes[39] == 1 ? 3 : 0;
    info.SampleRate = static_cast<int32_t>(
        static_cast<uint32_t>(bytes[40]) | static_cast<uint32_t>(bytes[41]) << 8 |
        static_cast<uint32_t>(bytes[42]) << 16 | static_cast<uint32_t>(bytes[43]) << 24);
    const uint32_t nominal = static_cast<uint32_t>(bytes[48]) |
                             static_cast<uint32_t>(bytes[49]) << 8 |
                             static_cast<uint32_t>(bytes[50]) << 16;
    info.Bitrate = static_cast<int32_t>(nominal / 1000);
  }
  if (type & kLastPage) info.Padding = 1;
  return true;
}

int64_t MeasureOggStream(InputView& input, int64_t start, TStreamInfo& info, OggRunEnds* ends) {
  info = {};
  OggRunEnds seen;
  int64_t count = 0;
  int64_t end = start;
  uint8_t page[kHeaderSize + 255];
  for (;;) {
    const int64_t pagePos = end;
    if (input.read(pagePos, page, kPageRead) < kPageRead) break;
    // A segment table longer than the bytes read: fetch the rest of it, so
    // that the page length counts every lacing value.
    const int64_t tableEnd = kHeaderSize + page[26];
    if (tableEnd > kPageRead && input.read(pagePos + kPageRead, page + kPageRead,
                                           tableEnd - kPageRead) < tableEnd - kPageRead) {
      break;
    }
    TFrameInfo frame{};
    if (!DecodeOggPageHeader(page, frame)) break;
    if (count == 0) {
      TakeFirstFrameFormat(frame, info);
      info.Bitrate = frame.Bitrate;
      seen.firstPageBegins = (page[5] & kFirstPage) != 0;
    }
    seen.lastPageEnds = frame.Padding != 0;
    uint64_t granule = 0;
    for (int i = 13; i >= 6; --i) granule = granule << 8 | page[i];
    seen.lastGranule = static_cast<int64_t>(granule);
    ++count;
    end = pagePos + frame.FrameLength;
    if (frame.Padding) break;
  }
  if (count > 1) info.StreamLength = end - start;
  if (ends != nullptr) *ends = seen;
  return count;
}
