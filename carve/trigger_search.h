// The search for a carver's two-byte trigger in a buffer: a first byte, and a
// second byte that matches a value under a mask. Many positions are tested at
// once (SSE2 on x86-64, a portable loop elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>

struct TwoByteTrigger {
  uint8_t first, mask, value;
};

// The lowest k < count with p[k] == first and (p[k + 1] & mask) == value, or
// `count` when there is none. Reads p[0] .. p[count]: the byte after the last
// candidate must be readable.
size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t);

// The ways of searching this machine may have; FindTrigger takes the fastest
// it has. For tests and benchmarks.
enum class TriggerSearchPath { Portable, Sse2, Avx2 };
bool HasTriggerSearchPath(TriggerSearchPath path);
size_t FindTriggerOn(TriggerSearchPath path, const uint8_t* p, size_t count, TwoByteTrigger t);
