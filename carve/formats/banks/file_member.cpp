#include "carve/formats/banks/file_member.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "carve/engine/input_view.h"
#include "carve/formats/common/byte_order.h"
#include "carve/formats/cri/hca_id.h"

namespace {

// So many bytes of a member's header are read at the most.
constexpr int64_t kHeadRead = 0x200;

// HCA: "HCA\0" (its bits masked or not), version, header size; "fmt\0":
// channels, rate (24 bits), frames, encoder delay and padding; a "ciph"
// chunk of a type other than 0 encrypts it, as do masked ids.
void Hca(std::span<const uint8_t> h, Member& m) {
  m.codec = "hca";
  if (h.size() < 0x14 || !IsHcaId(h.data() + 8, "fmt\0")) return;
  m.channels = h[12];
  m.rate = Be24(h.data() + 13);
  const int64_t samples = int64_t{Be32(h.data() + 16)} * 1024 - Be16(h.data() + 20);
  m.samples = samples - Be16(h.data() + 22);
  m.encrypted = (h[0] & 0x80) != 0;
  const int64_t size = std::min<int64_t>(Be16(h.data() + 6), std::ssize(h));
  for (int64_t at = 0x18; at + 6 <= size; ++at) {
    if (IsHcaId(h.data() + at, "ciph")) m.encrypted = m.encrypted || Be16(h.data() + at + 4) != 0;
  }
}

// 0x80 0x00 and the copyright "(c)CRI" right before the data.
bool AdxMagic(std::span<const uint8_t> h) {
  if (h.size() < 4 || h[0] != 0x80 || h[1] != 0) return false;
  const size_t copyright = Be16(h.data() + 2) - 2;
  return Be16(h.data() + 2) >= 2 && copyright + 6 <= h.size() &&
         std::memcmp(h.data() + copyright, "(c)CRI", 6) == 0;
}

// ADX: 0x80 0x00, the offset of its data, encoding, block size, bits,
// channels, rate and samples (big-endian); the flag at 0x13 is 8 or 9 for
// an encrypted stream.
void Adx(std::span<const uint8_t> h, Member& m) {
  m.codec = "adx";
  if (h.size() < 0x14) return;
  m.channels = h[7];
  m.rate = Be32(h.data() + 8);
  m.samples = Be32(h.data() + 12);
  m.encrypted = h[0x13] == 8 || h[0x13] == 9;
}

// The samples of a WAVE file whose chunks after the format one begin at `at`
// of `h`: its data's bytes over the block alignment `block` for PCM (tags 1,
// 3 and 0xFFFE), the fact chunk's count for other codecs; -1 when the header
// read holds neither.
int64_t WaveSamples(std::span<const uint8_t> h, size_t at, uint32_t tag, int64_t block) {
  const bool pcm = tag == 1 || tag == 3 || tag == 0xFFFE;
  for (; at + 8 <= h.size(); at += 8 + ((Le32(h.data() + at + 4) + 1) & ~uint64_t{1})) {
    const uint32_t size = Le32(h.data() + at + 4);
    if (pcm && block > 0 && std::memcmp(h.data() + at, "data", 4) == 0) return size / block;
    if (!pcm && size >= 4 && at + 12 <= h.size() && std::memcmp(h.data() + at, "fact", 4) == 0)
      return Le32(h.data() + at + 8);
  }
  return -1;
}

// RIFF or RIFX: the format chunk's channels and rate when it comes first;
// a WAVE file's samples.
void Riff(std::span<const uint8_t> h, Member& m) {
  ByteOrder order;
  order.big = h[3] == 'X';
  if (h.size() < 28 || std::memcmp(h.data() + 12, "fmt ", 4) != 0) return;
  m.channels = order.u16(h.data() + 22);
  m.rate = order.u32(h.data() + 24);
  if (m.codec != "wav" || order.big || h.size() < 36) return;
  const uint64_t fmtSize = Le32(h.data() + 16);
  m.samples =
      WaveSamples(h, 20 + fmtSize + (fmtSize & 1), Le16(h.data() + 20), Le16(h.data() + 32));
}

}  // namespace

Member FileMember(InputView& input, int64_t bankStart, int64_t index, int64_t offset,
                  int64_t length, bool wem) {
  Member m;
  m.index = index;
  m.offset = offset;
  m.length = length;
  m.codec = "unknown";
  const auto h = input.bytes(bankStart + offset, std::min(length, kHeadRead));
  const bool riff = h.size() >= 12 && (std::memcmp(h.data(), "RIFF", 4) == 0 ||
                                       std::memcmp(h.data(), "RIFX", 4) == 0);
  if (riff) {
    m.codec = wem ? "wem" : std::memcmp(h.data() + 8, "WAVE", 4) == 0 ? "wav" : "unknown";
    Riff(h, m);
  } else if (h.size() >= 8 && IsHcaId(h.data(), "HCA\0")) {
    Hca(h, m);
  } else if (AdxMagic(h)) {
    Adx(h, m);
  }
  return m;
}
