// The two checksums of FLAC frames: CRC-8 (polynomial x^8 + x^2 + x + 1)
// over a frame header, CRC-16 (x^16 + x^15 + x^2 + 1) over a whole frame.
// Both start at 0 and are not reflected, so that the CRC of a frame with its
// own checksum at its end is 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace flac_crc_detail {

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t c = static_cast<uint8_t>(i);
    for (int b = 0; b < 8; ++b) c = static_cast<uint8_t>(c & 0x80 ? (c << 1) ^ 0x07 : c << 1);
    t[i] = c;
  }
  return t;
}

// Table k gives the CRC-16 of byte i followed by k zero bytes, so that eight
// bytes are taken at a time.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrc16Tables() {
  std::array<std::array<uint16_t, 256>, 8> t{};
  for (int i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i << 8);
    for (int b = 0; b < 8; ++b) {
      c = static_cast<uint16_t>(c & 0x8000 ? (c << 1) ^ 0x8005 : c << 1);
    }
    t[0][i] = c;
  }
  for (int k = 1; k < 8; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint16_t prev = t[k - 1][i];
      t[k][i] = static_cast<uint16_t>(prev << 8 ^ t[0][prev >> 8]);
    }
  }
  return t;
}

inline constexpr std::array<uint8_t, 256> kCrc8 = MakeCrc8Table();
inline constexpr std::array<std::array<uint16_t, 256>, 8> kCrc16 = MakeCrc16Tables();

}  // namespace flac_crc_detail

inline uint8_t FlacCrc8(const uint8_t* p, size_t n) {
  uint8_t c = 0;
  for (size_t i = 0; i < n; ++i) c = flac_crc_detail::kCrc8[c ^ p[i]];
  return c;
}

inline uint16_t FlacCrc16(const uint8_t* p, size_t n, uint16_t c = 0) {
  const auto& t = flac_crc_detail::kCrc16;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    c = static_cast<uint16_t>(t[7][p[i] ^ (c >> 8)] ^ t[6][p[i + 1] ^ (c & 0xFF)] ^ t[5][p[i + 2]] ^
                              t[4][p[i + 3]] ^ t[3][p[i + 4]] ^ t[2][p[i + 5]] ^ t[1][p[i + 6]] ^
                              t[0][p[i + 7]]);
  }
  for (; i < n; ++i) c = static_cast<uint16_t>(c << 8 ^ t[0][(c >> 8) ^ p[i]]);
  return c;
}
