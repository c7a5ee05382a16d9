#include "carve/formats/riff/riff_codec.h"

#include <algorithm>
#include <cstring>

#include "carve/formats/common/big_endian.h"
#include "carve/formats/common/little_endian.h"

namespace {

// WAVEFORMATEX: format tag, channels, rate, bytes a second, block align,
// bits a sample, then the size of the extra bytes (cbSize).
constexpr int64_t kTagAt = 0, kChannelsAt = 2, kRateAt = 4, kByteRateAt = 8, kExtraSizeAt = 16;
// WAVE_FORMAT_EXTENSIBLE's subformat GUID, after cbSize, valid bits and
// channel mask.
constexpr int64_t kSubFormatAt = 24;
constexpr int64_t kExtensibleSize = 40;

constexpr uint8_t kAtrac9[16] = {0xD2, 0x42, 0xE1, 0x47, 0xBA, 0x36, 0x8D, 0x4D,
                                 0x88, 0xFC, 0x61, 0x65, 0x4F, 0x8C, 0x83, 0x6C};
constexpr uint8_t kAtrac3Plus[16] = {0xBF, 0xAA, 0x23, 0xE9, 0x58, 0xCB, 0x71, 0x44,
                                     0xA1, 0x19, 0xFF, 0xFA, 0x01, 0xE4, 0xCE, 0x62};
// Every Wwise format chunk carries six extra bytes at least (a word and the
// channel layout); a standard WAVE_FORMAT_EXTENSIBLE carries 22.
constexpr uint32_t kWwiseExtra = 6;

// Format tags no one but Wwise writes: Vorbis, ATRAC9, HEVAG, DSP, AAC, the
// Opus variants and PTADPCM.
bool IsWwiseTag(uint32_t tag) {
  constexpr uint32_t kTags[] = {0xFFFF, 0xFFFC, 0xFFFB, 0xFFF0, 0xAAC0,
                                0x3039, 0x3040, 0x3041, 0x8311};
  return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

struct Fields {
  std::span<const uint8_t> body;
  int64_t chunkSize;
  bool bigEndian;

  bool has(int64_t end) const {
    return chunkSize >= end && static_cast<int64_t>(body.size()) >= end;
  }
  uint32_t u16(int64_t at) const {
    return bigEndian ? Be16(body.data() + at) : Le16(body.data() + at);
  }
  uint32_t u32(int64_t at) const {
    return bigEndian ? Be32(body.data() + at) : Le32(body.data() + at);
  }
  uint32_t extraSize() const { return has(kExtraSizeAt + 2) ? u16(kExtraSizeAt) : 0; }
};

// WAVE_FORMAT_EXTENSIBLE: by its subformat, or, with Wwise's six extra bytes
// and no subformat, Wwise's PCM.
const char* ExtensibleExtension(const Fields& f) {
  if (f.extraSize() == kWwiseExtra) return "wem";
  if (!f.has(kExtensibleSize)) return "wav";
  const uint8_t* guid = f.body.data() + kSubFormatAt;
  if (std::memcmp(guid, kAtrac9, sizeof kAtrac9) == 0) return "at9";
  if (std::memcmp(guid, kAtrac3Plus, sizeof kAtrac3Plus) == 0) return "at3";
  return "wav";
}

const char* Extension(const Fields& f) {
  const uint32_t tag = f.u16(kTagAt);
  if (tag == 0x0270) return "at3";
  if (tag == 0x0165 || tag == 0x0166) return "xma";
  if (IsWwiseTag(tag)) return "wem";
  if (tag == 0xFFFE) return ExtensibleExtension(f);
  if (tag == 0x0002) {
    // Wwise's ADPCM (IMA, or DSP with its coefficients) under Microsoft
    // ADPCM's tag, whose own extra bytes hold 32 bytes of coefficients.
    const uint32_t extra = f.extraSize();
    return extra == kWwiseExtra || extra == 12 + 46 * f.u16(kChannelsAt) ? "wem" : "wav";
  }
  return "wav";
}

}  // namespace

RiffFormat ReadRiffFormat(std::span<const uint8_t> body, int64_t chunkSize, bool bigEndian) {
  const Fields f{body, chunkSize, bigEndian};
  RiffFormat format;
  if (!f.has(kExtraSizeAt)) return format;
  format.extension = Extension(f);
  // XMAWAVEFORMAT has no WAVEFORMATEX fields: the rate and bytes a second
  // of its first stream lie at 16 and 12.
  const bool xma = f.u16(kTagAt) == 0x0165;
  if (xma && !f.has(32)) return format;
  format.sampleRateHz = f.u32(xma ? 16 : kRateAt);
  format.bytesPerSecond = f.u32(xma ? 12 : kByteRateAt);
  return format;
}

namespace {

constexpr int64_t kBlockAlignAt = 12, kBitsAt = 14;
constexpr int64_t kMaxRateHz = 768000, kMaxChannels = 64;

// PCM or IEEE float, by its tag or by the first word of its subformat.
bool IsPlainSamples(const Fields& f) {
  uint32_t tag = f.u16(kTagAt);
  if (tag == 0xFFFE && f.has(kExtensibleSize)) tag = f.u16(kSubFormatAt);
  return tag == 0x0001 || tag == 0x0003;
}

// PCM or float: a block holds every channel's sample, each in a container
// of at least its bits (24 bits in 32), and the byte rate is the rate's
// blocks.
bool PlainBlockFits(const Fields& f, int64_t channels, int64_t rate, int64_t byteRate) {
  const int64_t block = f.u16(kBlockAlignAt), bits = f.u16(kBitsAt);
  return bits >= 8 && bits <= 64 && block >= channels * ((bits + 7) / 8) && block <= channels * 8 &&
         byteRate == rate * block;
}

}  // namespace

bool RiffFormatIsSound(std::span<const uint8_t> body, int64_t chunkSize, bool bigEndian) {
  const Fields f{body, chunkSize, bigEndian};
  if (!f.has(kExtraSizeAt)) return false;
  const bool xma = f.u16(kTagAt) == 0x0165;
  if (xma && !f.has(32)) return false;
  const int64_t rate = f.u32(xma ? 16 : kRateAt);
  const int64_t channels = xma ? f.body[29] : f.u16(kChannelsAt);
  const int64_t byteRate = f.u32(xma ? 12 : kByteRateAt);
  if (rate < 1 || rate > kMaxRateHz || channels < 1 || channels > kMaxChannels) return false;
  if (xma || !IsPlainSamples(f)) return byteRate > 0 && byteRate <= rate * channels * 8;
  return PlainBlockFits(f, channels, rate, byteRate);
}
