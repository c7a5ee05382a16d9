#include "carve/formats/mpeg/mpeg_side_info.h"

#include <algorithm>

namespace {

// Reads bits from the most significant one of the first byte on.
class BitReader {
 public:
  BitReader(const uint8_t* bytes, int64_t bits) : bytes_(bytes), bits_(bits) {}
  bool has(int64_t count) const { return at_ + count <= bits_; }
  uint32_t read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at_) {
      value = value << 1 | ((bytes_[at_ >> 3] >> (7 - (at_ & 7))) & 1);
    }
    return value;
  }
  void skip(int64_t count) { at_ += count; }

 private:
  const uint8_t* bytes_;
  int64_t bits_, at_ = 0;
};

constexpr int64_t kMaxBigValues = 288;

// The bytes of a frame's side information: 17 or 32 in MPEG-1 (one channel
// or two), 9 or 17 in MPEG-2 and 2.5.
int64_t SideInfoBytes(bool mpeg1, int channels) {
  if (mpeg1) return channels == 1 ? 17 : 32;
  return channels == 1 ? 9 : 17;
}

}  // namespace

bool ReadSideInfo(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame, SideInfo& info) {
  const bool mpeg1 = frame.MpegVersion == 10;
  const int channels = frame.ChannelMode == 3 ? 1 : 2;
  const int64_t sideBytes = SideInfoBytes(mpeg1, channels);
  const int64_t at = 4 + (frame.CrcProtected != 0 ? 2 : 0);
  if (frame.Layer != 3 || avail < at + sideBytes) return false;
  BitReader bits(bytes + at, sideBytes * 8);
  info = {};
  info.mainDataBegin = bits.read(mpeg1 ? 9 : 8);
  // The private bits (MPEG-1: 5 or 3; else 1 or 2), and MPEG-1's scale
  // factor selection of each channel.
  bits.skip(mpeg1 ? 7 - 2 * channels + 4 * channels : channels);
  const int granules = mpeg1 ? 2 : 1;
  // What follows the big values in a granule of one channel.
  const int rest = mpeg1 ? 59 - 21 : 63 - 21;
  for (int g = 0; g < granules * channels && bits.has(21 + rest); ++g) {
    info.mainDataBits += bits.read(12);
    info.bigValuesFit = info.bigValuesFit && bits.read(9) <= kMaxBigValues;
    bits.skip(rest);
  }
  info.ownBytes = std::max<int64_t>(frame.FrameLength - at - sideBytes, 0);
  return true;
}

bool ReservoirCheck::take(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame) {
  SideInfo side;
  if (!ReadSideInfo(bytes, avail, frame, side)) return true;  // nothing to tell
  const bool fits = side.bigValuesFit && (first_ || side.mainDataBegin <= held_) &&
                    side.mainDataBits <= (side.mainDataBegin + side.ownBytes) * 8;
  if (!fits) return false;
  held_ += side.ownBytes;
  first_ = false;
  return true;
}
