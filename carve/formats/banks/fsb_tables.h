// What the FSB carver reads its banks' tables with: a table read piece by
// piece, the texts in it, and the sizes its samples' data may have.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "carve/engine/input_view.h"
#include "carve/engine/member.h"

namespace fsb {

// A table of the bank, read piece by piece as a walk goes through it: a
// walk that fails early reads little of a table that claims to be large.
struct Table {
  InputView& input;
  int64_t start, size;
  // The `n` bytes at `at` in the table, or null when they are not all in
  // it or in the input.
  const uint8_t* at(int64_t pos, int64_t n) const {
    if (pos < 0 || pos + n > size) return nullptr;
    const auto b = input.bytes(start + pos, n);
    return std::ssize(b) < n ? nullptr : b.data();
  }
};

// The text at `p` up to its first zero byte, at most `most` bytes of it.
inline std::string TextAt(const uint8_t* p, int64_t most) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, most));
  return std::string(reinterpret_cast<const char*>(p), end ? end - p : most);
}

// The bytes of a sample of `length` sample frames: exact for PCM (`pcm`
// bytes a frame); for a codec at least a byte for every 32 frames and at
// most 4 bytes a sample and channel, with room for a codec's headers.
inline bool SizeFits(int64_t length, int64_t bytes, int64_t pcm, int64_t channels) {
  if (pcm > 0) return bytes == length * pcm;
  return bytes * 32 >= length && bytes <= length * channels * 4 + 4096;
}

// DSP ADPCM: each channel's coefficients and start state, 0x2E bytes, in
// the `room` bytes at `at` of the table (after an FSB4 sample's fixed
// header, in an FSB5 sample's chunk of type 7).
inline void TakeDspSetup(const Table& t, int64_t at, int64_t room, Member& m) {
  const int64_t setup = 0x2E * m.channels;
  const uint8_t* p = m.codec == "dsp" && room >= setup ? t.at(at, setup) : nullptr;
  if (p) m.codecSetup.assign(p, p + setup);
}

}  // namespace fsb
