// A chunk id of an HCA header, stored plain or, in encrypted files, with the
// top bit of each byte set.
#pragma once

#include <cstdint>

inline bool IsHcaId(const uint8_t* p, const char* id) {
  for (int i = 0; i < 4; ++i) {
    if ((p[i] & 0x7F) != static_cast<uint8_t>(id[i])) return false;
  }
  return true;
}
