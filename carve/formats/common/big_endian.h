// Big-endian integers read from bytes.
#pragma once

#include <cstdint>

inline uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

inline uint32_t Be24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

inline uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

inline uint64_t Be64(const uint8_t* p) {
  return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4);
}
