#include "export/containers.h"

#include <algorithm>

#include "export/byte_writer.h"
namespace {

uint32_t Clamped(int64_t size) {
  return static_cast<uint32_t>(std::clamp<int64_t>(size, 0, UINT32_MAX));
}

// The 80-bit extended float of AIFF's sample rate.
void PutExtended(std::vector<uint8_t>& out, int64_t rate) {
  if (rate <= 0) {
    for (int i = 0; i < 10; ++i) out.push_back(0);
    return;
  }
  int exponent = 63;
  uint64_t mantissa = static_cast<uint64_t>(rate);
  while (!(mantissa & (1ULL << 63))) {
    mantissa <<= 1;
    --exponent;
  }
  PutBe(out, static_cast<uint64_t>(16383 + exponent), 2);
  PutBe(out, mantissa, 8);
}

}  // namespace

std::vector<uint8_t> WaveHeaderOf(const PcmLayout& layout, int64_t dataBytes) {
  const bool extensible = layout.channels > 2;
  const int64_t blockAlign = layout.channels * (layout.bits / 8);
  const uint32_t formatTag = layout.floats ? 3 : 1;
  std::vector<uint8_t> h;
  Tag(h, "RIFF");
  PutLe(h, Clamped((extensible ? 60 : 36) + dataBytes), 4);
  Tag(h, "WAVE");
  Tag(h, "fmt ");
  PutLe(h, extensible ? 40 : 16, 4);
  PutLe(h, extensible ? 0xFFFE : formatTag, 2);
  PutLe(h, static_cast<uint64_t>(layout.channels), 2);
  PutLe(h, static_cast<uint64_t>(layout.rate), 4);
  PutLe(h, static_cast<uint64_t>(layout.rate * blockAlign), 4);
  PutLe(h, static_cast<uint64_t>(blockAlign), 2);
  PutLe(h, static_cast<uint64_t>(layout.bits), 2);
  if (extensible) {
    PutLe(h, 22, 2);
    PutLe(h, static_cast<uint64_t>(layout.bits), 2);  // valid bits
    PutLe(h, layout.channelMask & 0x3FFFF, 4);
    // The sub-format's GUID: the format tag, then 00000000-0010-8000-00AA00389B71.
    PutLe(h, formatTag, 4);
    constexpr uint8_t kGuidTail[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                     0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    for (const uint8_t byte : kGuidTail) h.push_back(byte);
  }
  Tag(h, "data");
  PutLe(h, Clamped(dataBytes), 4);
  return h;
}

std::vector<uint8_t> AiffHeader(const PcmLayout& layout, int64_t frames) {
  const int64_t dataBytes = frames * layout.channels * (layout.bits / 8);
  std::vector<uint8_t> h;
  Tag(h, "FORM");
  PutBe(h, Clamped(46 + dataBytes), 4);
  Tag(h, "AIFF");
  Tag(h, "COMM");
  PutBe(h, 18, 4);
  PutBe(h, static_cast<uint64_t>(layout.channels), 2);
  PutBe(h, Clamped(frames), 4);
  PutBe(h, static_cast<uint64_t>(layout.bits), 2);
  PutExtended(h, layout.rate);
  Tag(h, "SSND");
  PutBe(h, Clamped(8 + dataBytes), 4);
  PutBe(h, 0, 8);  // offset and block size
  return h;
}
