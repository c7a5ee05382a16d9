#include "carve/formats/ogg/ogg_crc.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>

#include "carve/engine/input_view.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZANDREL_HAVE_SSSE3_PATH 1
#endif

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

uint32_t SlicedCrcOf(uint32_t crc, const uint8_t* p, size_t n) {
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

#if defined(ZANDREL_HAVE_SSSE3_PATH)
// The Ogg CRC is that of gzip taken with the bits the other way round: the
// same polynomial, each byte's highest bit first. So with every byte's bits
// reversed, libdeflate's CRC-32 (PCLMUL), started from and giving the
// reversed register, gives it several times faster than the tables.

uint32_t Reverse32(uint32_t v) {
  v = (v >> 1 & 0x55555555u) | (v & 0x55555555u) << 1;
  v = (v >> 2 & 0x33333333u) | (v & 0x33333333u) << 2;
  v = (v >> 4 & 0x0F0F0F0Fu) | (v & 0x0F0F0F0Fu) << 4;
  return __builtin_bswap32(v);
}

// The `n` bytes (a multiple of 16) at `p` with the bits of each reversed.
__attribute__((target("ssse3"))) void ReverseBits(const uint8_t* p, uint8_t* out, size_t n) {
  // The reversed nibble, in the high half of a byte and in the low half.
  const __m128i high = _mm_setr_epi8(0x00, -0x80, 0x40, -0x40, 0x20, -0x60, 0x60, -0x20, 0x10,
                                     -0x70, 0x50, -0x30, 0x30, -0x50, 0x70, -0x10);
  const __m128i low =
      _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  for (size_t i = 0; i < n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i r =
        _mm_or_si128(_mm_shuffle_epi8(high, _mm_and_si128(v, nibble)),
                     _mm_shuffle_epi8(low, _mm_and_si128(_mm_srli_epi16(v, 4), nibble)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), r);
  }
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

// Fewer bytes than this go through the tables.
constexpr size_t kFoldFrom = 64;

uint32_t CrcOf(uint32_t crc, const uint8_t* p, size_t n) {
#if defined(ZANDREL_HAVE_SSSE3_PATH)
  if (n >= kFoldFrom && HasSsse3()) {
    alignas(64) uint8_t reversed[4096];
    uint32_t r = Reverse32(crc);  // the register as libdeflate holds it
    for (; n >= 16;) {
      const size_t m = std::min(n & ~size_t{15}, sizeof reversed);
      ReverseBits(p, reversed, m);
      // libdeflate inverts the register before and after.
      r = ~libdeflate_crc32(~r, reversed, m);
      p += m;
      n -= m;
    }
    crc = Reverse32(r);
  }
#endif
  return SlicedCrcOf(crc, p, n);
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
  // A page that overlaps none checked since the cache's origin (the next
  // page of a stream) starts it again from itself, and is run through the
  // CRC straight; a later page inside it has the marks made then.
  if (pos < origin_ || pos >= reach_ || pos - origin_ > kKeptBehind) {
    const std::span<const uint8_t> page = input.bytes(pos, length);
    if (static_cast<int64_t>(page.size()) < length) return false;
    origin_ = pos;
    reach_ = pos + length;
    marks_.assign(1, 0);
    crc = OggPageCrc(page.first(static_cast<size_t>(length)));
    return true;
  }
  reach_ = std::max(reach_, pos + length);
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
    c = SlicedCrcOf(c, p, kMarkStep);
    marks_.push_back(c);
  }
  crc = SlicedCrcOf(c, p, static_cast<size_t>(at - origin_ - mark * kMarkStep));
  return true;
}
