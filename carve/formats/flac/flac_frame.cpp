#include "carve/formats/flac/flac_frame.h"

#include <bit>
#include <cstring>

#include "carve/formats/common/big_endian.h"
#include "carve/formats/flac/flac_crc.h"

bool DecodeFlacStreamInfo(const uint8_t* b, FlacStreamInfo& info) {
  FlacStreamInfo s;
  s.minBlockSize = static_cast<int32_t>(Be16(b));
  s.maxBlockSize = static_cast<int32_t>(Be16(b + 2));
  s.minFrameSize = static_cast<int32_t>(Be24(b + 4));
  s.maxFrameSize = static_cast<int32_t>(Be24(b + 7));
  s.sampleRate = static_cast<int32_t>(b[10] << 12 | b[11] << 4 | b[12] >> 4);
  s.channels = ((b[12] >> 1) & 7) + 1;
  s.bitsPerSample = ((b[12] & 1) << 4 | b[13] >> 4) + 1;
  s.totalSamples = static_cast<int64_t>(b[13] & 0x0F) << 32 | Be32(b + 14);
  if (s.minBlockSize < 16 || s.minBlockSize > s.maxBlockSize) return false;
  if (s.minFrameSize != 0 && s.maxFrameSize != 0 && s.minFrameSize > s.maxFrameSize) return false;
  if (s.sampleRate == 0 || s.bitsPerSample < 4) return false;
  info = s;
  return true;
}

namespace {

// A header code no stream uses: block size code 0, sampling rate code 15,
// channel codes above 10, sample size code 3, or the reserved bit set.
bool HasReservedCode(const uint8_t* b) {
  const int sizeCode = b[2] >> 4, rateCode = b[2] & 0x0F;
  const int channelCode = b[3] >> 4, bitsCode = (b[3] >> 1) & 7;
  return sizeCode == 0 || rateCode == 15 || channelCode > 10 || bitsCode == 3 || (b[3] & 1) != 0;
}

// The number at `b + at`, coded as UTF-8 codes its characters but up to 36
// bits; the 7-byte form only when the block size varies. `at` is then past
// it. False when the bytes are no such sequence or go past `avail`.
bool ReadCodedNumber(const uint8_t* b, int64_t avail, bool variable, int& at, int64_t& number) {
  const uint8_t lead = b[at++];
  int extra = 0;
  uint64_t n = lead;
  if (lead >= 0x80) {
    extra = std::countl_one(lead) - 1;  // 0b110xxxxx: one byte follows
    if (extra < 1 || extra > 6 || (extra == 6 && !variable)) return false;
    n = lead & (0x3F >> extra);
  }
  if (at + extra > avail) return false;
  for (int i = 0; i < extra; ++i, ++at) {
    if ((b[at] & 0xC0) != 0x80) return false;
    n = n << 6 | (b[at] & 0x3F);
  }
  number = static_cast<int64_t>(n);
  return true;
}

// The bytes after the coded number that hold the block size (codes 6 and 7)
// and the sampling rate (codes 12 to 14).
int BlockSizeBytes(int sizeCode) { return sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0; }
int SampleRateBytes(int rateCode) { return rateCode == 12 ? 1 : rateCode >= 13 ? 2 : 0; }

// The block size of code `sizeCode` (1..15); codes 6 and 7 read it, less
// one, from `b`.
int32_t BlockSize(int sizeCode, const uint8_t* b) {
  static constexpr int32_t kSizes[] = {0,   192, 576,  1152, 2304, 4608, 0,     0,
                                       256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
  if (sizeCode == 6) return b[0] + 1;
  if (sizeCode == 7) return static_cast<int32_t>(Be16(b)) + 1;
  return kSizes[sizeCode];
}

// The sampling rate of code `rateCode` (0..14); codes 12 to 14 read it from
// `b`. 0: the STREAMINFO one.
int32_t SampleRate(int rateCode, const uint8_t* b) {
  static constexpr int32_t kRates[] = {0,     88200, 176400, 192000, 8000,  16000,
                                       22050, 24000, 32000,  44100,  48000, 96000};
  switch (rateCode) {
    case 12:
      return b[0] * 1000;
    case 13:
      return static_cast<int32_t>(Be16(b));
    case 14:
      return static_cast<int32_t>(Be16(b)) * 10;
    default:
      return kRates[rateCode];
  }
}

}  // namespace

bool DecodeFlacFrameHeader(const uint8_t* b, int64_t avail, FlacFrameHeader& header) {
  if (avail < 6 || b[0] != 0xFF || (b[1] & 0xFE) != 0xF8 || HasReservedCode(b)) return false;
  FlacFrameHeader h;
  h.variableBlockSize = (b[1] & 1) != 0;
  const int sizeCode = b[2] >> 4, rateCode = b[2] & 0x0F;
  const int channelCode = b[3] >> 4, bitsCode = (b[3] >> 1) & 7;
  int at = 4;
  if (!ReadCodedNumber(b, avail, h.variableBlockSize, at, h.number)) return false;
  const int sizeBytes = BlockSizeBytes(sizeCode), rateBytes = SampleRateBytes(rateCode);
  if (at + sizeBytes + rateBytes + 1 > avail) return false;
  h.blockSize = BlockSize(sizeCode, b + at);
  at += sizeBytes;
  h.sampleRate = SampleRate(rateCode, b + at);
  at += rateBytes;
  if (rateBytes != 0 && h.sampleRate == 0) return false;
  static constexpr int32_t kBits[] = {0, 8, 12, 0, 16, 20, 24, 32};
  h.channelAssignment = channelCode;
  h.channels = channelCode < 8 ? channelCode + 1 : 2;
  h.bitsPerSample = kBits[bitsCode];
  if (FlacCrc8(b, static_cast<size_t>(at)) != b[at]) return false;
  h.length = at + 1;
  header = h;
  return true;
}

namespace {

// Reads bits from the most significant one of each byte on. Reads past the
// held bytes (up to 8 of them) see whatever lies there; `past()` tells.
class BitReader {
 public:
  BitReader(const uint8_t* bytes, int64_t count) : p_(bytes), end_(count * 8) {}

  int64_t position() const { return pos_; }
  bool past() const { return pos_ > end_; }
  // The next 57 bits or more, the first in the top bit; the bits under
  // them are 0.
  uint64_t window() const { return WindowAt(pos_); }
  // 1..57 bits.
  uint64_t read(int n) {
    if (pos_ >= end_) {
      pos_ += n;
      return 0;
    }
    const uint64_t v = window() >> (64 - n);
    pos_ += n;
    return v;
  }
  void skip(int64_t n) { pos_ += n; }
  // The zero bits before the next 1 bit, which is taken too; -1 when the
  // held bits end first.
  int64_t unary() {
    int64_t zeros = 0;
    for (;;) {
      if (pos_ >= end_) return -1;
      const uint64_t w = window();
      if (w != 0) {
        const int z = std::countl_zero(w);
        pos_ += z + 1;
        return zeros + z;
      }
      pos_ += 57;
      zeros += 57;
    }
  }
  // Rice-coded values: each a unary part and `k` more bits. False when the
  // held bits end first. Several values are taken from one window.
  bool skipRice(int64_t count, int k) {
    int64_t base = pos_;  // the bit the window begins with
    int used = 0;         // bits of the window taken
    bool loaded = false;
    uint64_t w = 0;
    for (int64_t i = 0; i < count;) {
      if (!loaded || used >= 57) {
        base += used;
        used = 0;
        if (base >= end_) {
          pos_ = base;
          return false;
        }
        w = WindowAt(base);
        loaded = true;
      }
      const uint64_t rest = w << used;
      if (rest == 0) {  // zeros to the window's end
        used = 57;
        continue;
      }
      used += std::countl_zero(rest) + 1 + k;
      ++i;
    }
    pos_ = base + used;
    return true;
  }

 private:
  uint64_t WindowAt(int64_t pos) const {
    uint64_t w;
    std::memcpy(&w, p_ + (pos >> 3), sizeof w);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w << (pos & 7);
  }

  const uint8_t* p_;
  int64_t end_;
  int64_t pos_ = 0;
};

// The residual of a subframe of `blockSize` samples after `order` warm-up
// samples.
FlacFrameWalk WalkResidual(BitReader& r, int32_t blockSize, int order) {
  const int method = static_cast<int>(r.read(2));
  if (method > 1) return FlacFrameWalk::Invalid;
  const int paramBits = method == 0 ? 4 : 5;
  const int escape = (1 << paramBits) - 1;
  const int partitionOrder = static_cast<int>(r.read(4));
  const int32_t perPartition = blockSize >> partitionOrder;
  if ((perPartition << partitionOrder) != blockSize || perPartition < order) {
    return FlacFrameWalk::Invalid;
  }
  for (int i = 0; i < (1 << partitionOrder); ++i) {
    const int64_t count = i == 0 ? perPartition - order : perPartition;
    const int param = static_cast<int>(r.read(paramBits));
    if (param == escape) {
      r.skip(count * static_cast<int64_t>(r.read(5)));
    } else if (!r.skipRice(count, param)) {
      return FlacFrameWalk::NeedMore;
    }
    if (r.past()) return FlacFrameWalk::NeedMore;
  }
  return FlacFrameWalk::Done;
}

FlacFrameWalk WalkSubframe(BitReader& r, int32_t blockSize, int bits) {
  if (r.read(1) != 0) return FlacFrameWalk::Invalid;  // the zero bit before the type
  const int type = static_cast<int>(r.read(6));
  if (r.read(1) != 0) {
    // Wasted bits: their count less one, in unary.
    const int64_t wasted = r.unary();
    if (wasted < 0) return FlacFrameWalk::NeedMore;
    if (wasted + 1 >= bits) return FlacFrameWalk::Invalid;
    bits -= static_cast<int>(wasted + 1);
  }
  if (type == 0) {  // constant
    r.skip(bits);
  } else if (type == 1) {  // verbatim
    r.skip(static_cast<int64_t>(blockSize) * bits);
  } else if (type >= 8 && type <= 12) {  // fixed predictor of order 0..4
    const int order = type - 8;
    if (order > blockSize) return FlacFrameWalk::Invalid;
    r.skip(static_cast<int64_t>(order) * bits);
    return WalkResidual(r, blockSize, order);
  } else if (type >= 32) {  // linear predictor of order 1..32
    const int order = type - 31;
    if (order > blockSize) return FlacFrameWalk::Invalid;
    r.skip(static_cast<int64_t>(order) * bits);
    const int precision = static_cast<int>(r.read(4));
    if (precision == 15) return FlacFrameWalk::Invalid;
    r.skip(5);  // the shift
    r.skip(static_cast<int64_t>(order) * (precision + 1));
    return WalkResidual(r, blockSize, order);
  } else {
    return FlacFrameWalk::Invalid;
  }
  return FlacFrameWalk::Done;
}

}  // namespace

FlacFrameWalk WalkFlacFrame(const uint8_t* frame, int64_t avail, const FlacFrameHeader& header,
                            int32_t bitsPerSample, int64_t& length) {
  if (avail < header.length) return FlacFrameWalk::NeedMore;
  BitReader r(frame + header.length, avail - header.length);
  for (int channel = 0; channel < header.channels; ++channel) {
    // The side channel of a stereo decorrelation has one bit more.
    const bool side = (header.channelAssignment == 8 && channel == 1) ||
                      (header.channelAssignment == 9 && channel == 0) ||
                      (header.channelAssignment == 10 && channel == 1);
    const FlacFrameWalk walk = WalkSubframe(r, header.blockSize, bitsPerSample + (side ? 1 : 0));
    if (walk != FlacFrameWalk::Done) return walk;
    if (r.past()) return FlacFrameWalk::NeedMore;
  }
  // Zero bits up to the byte's end, then the CRC-16.
  const int pad = static_cast<int>((8 - (r.position() & 7)) & 7);
  if (pad != 0 && r.read(pad) != 0) return FlacFrameWalk::Invalid;
  const int64_t end = header.length + r.position() / 8 + 2;
  if (end > avail) return FlacFrameWalk::NeedMore;
  length = end;
  return FlacFrameWalk::Done;
}
