// The building of a trigger set: its triggers and the byte tables each way
// of searching (carve/engine/trigger_search.cpp) looks them up in.
#include <cstddef>

#include "carve/engine/trigger_search.h"

namespace {

bool SameTrigger(TwoByteTrigger a, TwoByteTrigger b) {
  return a.first == b.first && a.mask == b.mask && a.value == b.value;
}

// Sets `bit` in each entry of `table` whose index matches `value` under
// `mask`.
template <size_t N>
void MarkMatches(uint8_t (&table)[N], int mask, int value, uint8_t bit) {
  for (size_t i = 0; i < N; ++i) {
    if ((static_cast<int>(i) & mask) == value) table[i] |= bit;
  }
}

}  // namespace

uint8_t TriggerSet::bitOf(TwoByteTrigger t) const {
  for (int j = 0; j < count_; ++j) {
    if (SameTrigger(triggers_[j], t)) return static_cast<uint8_t>(1u << j);
  }
  return 0;
}

uint8_t TriggerSet::add(TwoByteTrigger t) {
  if (const uint8_t held = bitOf(t); held != 0) return held;
  if (count_ == kMaxTriggers) return 0;
  const auto bit = static_cast<uint8_t>(1u << count_);
  triggers_[count_++] = t;
  MarkMatches(first_, 0xFF, t.first, bit);
  MarkMatches(second_, t.mask, t.value, bit);
  MarkMatches(firstLow_, 0x0F, t.first & 0x0F, bit);
  MarkMatches(firstHigh_, 0x0F, t.first >> 4, bit);
  MarkMatches(secondLow_, t.mask & 0x0F, t.value & 0x0F, bit);
  MarkMatches(secondHigh_, t.mask >> 4, t.value >> 4, bit);
  MarkMatches(firstSix_, 0x3F, t.first & 0x3F, bit);
  MarkMatches(secondSix_, t.mask & 0x3F, t.value & 0x3F, bit);
  // The first byte's top two bits in bits 0-1 of the index, the second's in
  // bits 2-3.
  MarkMatches(bothTop_, 3 | (t.mask >> 6) << 2, t.first >> 6 | (t.value >> 6) << 2, bit);
  return bit;
}
