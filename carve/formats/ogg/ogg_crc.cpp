#include "carve/formats/ogg/ogg_crc.h"

#include <array>

#include "carve/engine/input_view.h"

namespace {

constexpr uint32_t kPoly = 0x04C11DB7u;
constexpr int64_t kChecksumAt = 22;
// The bytes behind the last page checked that the cache keeps before it
// starts again from a later page, so that it stays small.
constexpr int64_t kKeptBehind = 1 << 20;
// Pages up to this long are run through the CRC directly: cheaper than the
// arithmetic that takes a page's CRC from those of the bytes around it.
constexpr int64_t kDirect = 256;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int bit = 0; bit < 8; ++bit) c = c & 0x80000000u ? c << 1 ^ kPoly : c << 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t CrcOf(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = crc << 8 ^ kCrcTable[(crc >> 24) ^ p[i]];
  return crc;
}

// a·b modulo the polynomial, both of degree below 32.
constexpr uint32_t MulMod(uint32_t a, uint32_t b) {
  uint32_t r = 0;
  for (int i = 31; i >= 0; --i) {
    r = r & 0x80000000u ? r << 1 ^ kPoly : r << 1;
    if ((b >> i) & 1) r ^= a;
  }
  return r;
}

// [k]: x to the power 8·2^k modulo the polynomial.
constexpr std::array<uint32_t, 40> MakePowers() {
  std::array<uint32_t, 40> powers{};
  powers[0] = 1u << 8;
  for (size_t k = 1; k < powers.size(); ++k) powers[k] = MulMod(powers[k - 1], powers[k - 1]);
  return powers;
}

constexpr std::array<uint32_t, 40> kPowers = MakePowers();

// x to the power 8·n modulo the polynomial: what the CRC of bytes becomes
// when n more bytes follow them.
uint32_t ShiftBytes(int64_t n) {
  uint32_t result = 1;
  for (size_t k = 0; n > 0 && k < kPowers.size(); ++k, n >>= 1) {
    if (n & 1) result = MulMod(result, kPowers[k]);
  }
  return result;
}

}  // namespace

uint32_t OggPageCrc(std::span<const uint8_t> page) {
  static constexpr uint8_t kZeros[4] = {};
  if (page.size() < static_cast<size_t>(kChecksumAt + 4)) return 0;
  uint32_t crc = CrcOf(0, page.data(), kChecksumAt);
  crc = CrcOf(crc, kZeros, sizeof kZeros);
  return CrcOf(crc, page.data() + kChecksumAt + 4, page.size() - kChecksumAt - 4);
}

bool OggCrcCache::pageCrc(InputView& input, int64_t pos, int64_t length, const uint8_t field[4],
                          uint32_t& crc) {
  if (length <= kDirect) {
    const std::span<const uint8_t> page = input.bytes(pos, length);
    if (static_cast<int64_t>(page.size()) < length) return false;
    crc = OggPageCrc(page.first(static_cast<size_t>(length)));
    return true;
  }
  const int64_t held = static_cast<int64_t>(prefix_.size()) - 1;
  if (pos < origin_ || pos > origin_ + held || pos - origin_ > kKeptBehind) {
    origin_ = pos;
    prefix_.assign(1, 0);
  }
  const int64_t end = pos + length;
  const int64_t have = origin_ + static_cast<int64_t>(prefix_.size()) - 1;
  if (end > have) {
    const std::span<const uint8_t> more = input.bytes(have, end - have);
    if (static_cast<int64_t>(more.size()) < end - have) return false;
    uint32_t c = prefix_.back();
    for (int64_t i = 0; i < end - have; ++i) {
      c = c << 8 ^ kCrcTable[(c >> 24) ^ more[i]];
      prefix_.push_back(c);
    }
  }
  // The CRC of the page's bytes: that of everything to its end less that of
  // everything before it, moved on by the page's length; then less what its
  // checksum field adds.
  const uint32_t whole =
      prefix_[end - origin_] ^ MulMod(prefix_[pos - origin_], ShiftBytes(length));
  crc = whole ^ MulMod(CrcOf(0, field, 4), ShiftBytes(length - kChecksumAt - 4));
  return true;
}
