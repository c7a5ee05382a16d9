#include "carve/formats/ogg/ogg_crc.h"

#include <algorithm>
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
// The cache keeps the CRC of the bytes from its origin to every multiple of
// this many bytes; the CRC to any other offset runs on from the last one.
constexpr int64_t kMarkStep = 64;
// Bytes the CRC takes at once: one table a byte (slicing), so that the
// lookups of a block do not wait on one another.
constexpr size_t kSlice = 16;

using CrcTables = std::array<std::array<uint32_t, 256>, kSlice>;

// [k][b]: the CRC of the byte b followed by k zero bytes.
constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int bit = 0; bit < 8; ++bit) c = c & 0x80000000u ? c << 1 ^ kPoly : c << 1;
    tables[0][i] = c;
  }
  for (size_t k = 1; k < kSlice; ++k) {
    for (size_t i = 0; i < 256; ++i) {
      const uint32_t c = tables[k - 1][i];
      tables[k][i] = c << 8 ^ tables[0][c >> 24];
    }
  }
  return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

uint32_t CrcOf(uint32_t crc, const uint8_t* p, size_t n) {
  const auto& t = kCrcTables;
  for (; n >= kSlice; n -= kSlice, p += kSlice) {
    // The CRC so far goes into the block's first four bytes; each byte then
    // counts for what it is followed by within the block.
    const uint32_t head =
        crc ^ (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]});
    crc = t[15][head >> 24] ^ t[14][(head >> 16) & 0xFF] ^ t[13][(head >> 8) & 0xFF] ^
          t[12][head & 0xFF];
    for (size_t i = 4; i < kSlice; ++i) crc ^= t[kSlice - 1 - i][p[i]];
  }
  for (size_t i = 0; i < n; ++i) crc = crc << 8 ^ t[0][(crc >> 24) ^ p[i]];
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
  // A page that begins where no mark of the cache reaches (the next page of
  // a stream) starts it again from itself.
  const int64_t marked = origin_ + (static_cast<int64_t>(marks_.size()) - 1) * kMarkStep;
  if (pos < origin_ || pos >= marked || pos - origin_ > kKeptBehind) {
    origin_ = pos;
    marks_.assign(1, 0);
  }
  uint32_t toEnd = 0, toPos = 0;
  if (!crcTo(input, pos + length, toEnd) || !crcTo(input, pos, toPos)) return false;
  // The CRC of the page's bytes: that of everything to its end less that of
  // everything before it, moved on by the page's length; then less what its
  // checksum field adds.
  const uint32_t whole = toPos == 0 ? toEnd : toEnd ^ MulMod(toPos, ShiftBytes(length));
  crc = whole ^ MulMod(CrcOf(0, field, 4), ShiftBytes(length - kChecksumAt - 4));
  return true;
}

bool OggCrcCache::crcTo(InputView& input, int64_t at, uint32_t& crc) {
  const int64_t last = static_cast<int64_t>(marks_.size()) - 1;
  const int64_t mark = (at - origin_) / kMarkStep;  // the last mark at or before `at`
  const int64_t from = origin_ + std::min(mark, last) * kMarkStep;
  const std::span<const uint8_t> bytes = input.bytes(from, at - from);
  if (static_cast<int64_t>(bytes.size()) < at - from) return false;
  const uint8_t* p = bytes.data();
  uint32_t c = marks_[static_cast<size_t>(std::min(mark, last))];
  for (int64_t k = last; k < mark; ++k, p += kMarkStep) {
    c = CrcOf(c, p, kMarkStep);
    marks_.push_back(c);
  }
  crc = CrcOf(c, p, static_cast<size_t>(at - origin_ - mark * kMarkStep));
  return true;
}
