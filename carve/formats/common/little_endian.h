// Little-endian integers read from bytes.
#pragma once

#include <cstdint>

inline uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[1]) << 8 | p[0]; }

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}

inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p + 4)) << 32 | Le32(p);
}
