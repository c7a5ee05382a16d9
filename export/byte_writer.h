// Numbers and chunk tags appended to the bytes of a header that export/
// writes before a member's or a stream's data.
#pragma once

#include <cstdint>
#include <vector>

// `v` in `bytes` bytes, least significant first.
inline void PutLe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
// `v` in `bytes` bytes, most significant first.
inline void PutBe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
// A chunk's four-character tag.
inline void Tag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}
