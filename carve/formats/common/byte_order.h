// Integers of either byte order read from bytes, for the formats whose files
// say which order they are written in.
#pragma once

#include <cstdint>

#include "carve/formats/common/big_endian.h"
#include "carve/formats/common/little_endian.h"

// The byte order of one file.
struct ByteOrder {
  bool big = false;
  uint32_t u16(const uint8_t* p) const { return big ? Be16(p) : Le16(p); }
  uint32_t u32(const uint8_t* p) const { return big ? Be32(p) : Le32(p); }
  uint64_t u64(const uint8_t* p) const { return big ? Be64(p) : Le64(p); }
};
