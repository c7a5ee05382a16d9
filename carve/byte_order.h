// Integers of either byte order read from bytes, for the formats whose files
// say which order they are written in.
#pragma once

#include <cstdint>

#include "carve/big_endian.h"

inline uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[1]) << 8 | p[0]; }

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}

// The byte order of one file.
struct ByteOrder {
  bool big = false;
  uint32_t u16(const uint8_t* p) const { return big ? Be16(p) : Le16(p); }
  uint32_t u32(const uint8_t* p) const { return big ? Be32(p) : Le32(p); }
};
