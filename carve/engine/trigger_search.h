// The search for a carver's two-byte trigger (Carver::trigger(),
// carve/engine/carver.h) in a buffer: a first byte, and a second byte that matches a
// value under a mask. Many positions are tested at once (SSE2 on x86-64, a
// portable loop elsewhere). A TriggerSet finds the triggers of several
// carvers in one pass: the walk (carve/engine/scan_walk.cpp) searches each load of
// its buffer once for all its lanes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TwoByteTrigger {
  uint8_t first, mask, value;
};

// The lowest k < count with p[k] == first and (p[k + 1] & mask) == value, or
// `count` when there is none. Reads p[0] .. p[count]: the byte after the last
// candidate must be readable.
size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t);

// The ways of searching this machine may have; FindTrigger and TriggerSet
// take the fastest it has. For tests and benchmarks. A single trigger is
// searched for with SSE2 where SSSE3 is asked for, with AVX2 where AVX-512
// is (Avx512: AVX-512 BW and VBMI).
enum class TriggerSearchPath { Portable, Sse2, Ssse3, Avx2, Avx512 };
bool HasTriggerSearchPath(TriggerSearchPath path);
size_t FindTriggerOn(TriggerSearchPath path, const uint8_t* p, size_t count, TwoByteTrigger t);

// A position where one or more triggers of a set begin: its offset from the
// start of the search, and the bits of the triggers there.
struct TriggerHit {
  uint32_t at;
  uint8_t triggers;
};

// Up to eight triggers, found together in one pass over a buffer, so that
// searching for several costs about as much as searching for one.
class TriggerSet {
 public:
  static constexpr int kMaxTriggers = 8;

  // The trigger's bit in the hits: that of an equal trigger the set already
  // holds, else a new one; 0 when the set is full.
  uint8_t add(TwoByteTrigger t);
  // The bit of an equal trigger the set holds, 0 when it holds none.
  uint8_t bitOf(TwoByteTrigger t) const;
  int size() const { return count_; }
  const TwoByteTrigger& trigger(int j) const { return triggers_[j]; }

  // How many entries past its hits findAllInto() may write.
  static constexpr size_t kHitSlack = 64;

  // Writes to `out`, in increasing order, every k < count where p[k] and
  // p[k + 1] form a trigger of the set, with the bits of all its triggers
  // there, and returns how many. `out` has room for count + kHitSlack
  // entries: stretches of hits are written whole, without a test for each.
  // Reads p[0] .. p[count], as FindTrigger does; count < 2^32.
  size_t findAllInto(const uint8_t* p, size_t count, TriggerHit* out) const;
  size_t findAllInto(TriggerSearchPath path, const uint8_t* p, size_t count, TriggerHit* out) const;
  // Searches up to kMaxFused sets in one pass over the buffer, each byte
  // read and split once for all of them: `outs[k]` gets the hits of
  // `sets[k]` as findAllInto() writes them, and `found[k]` their count.
  // (With AVX-512; elsewhere one set after the other.)
  static constexpr int kMaxFused = 4;
  static void findAllOfSets(const TriggerSet* const* sets, int n, const uint8_t* p, size_t count,
                            TriggerHit* const* outs, size_t* found);
  // The same, appended to `hits`.
  void findAll(const uint8_t* p, size_t count, std::vector<TriggerHit>& hits) const;
  void findAllOn(TriggerSearchPath path, const uint8_t* p, size_t count,
                 std::vector<TriggerHit>& hits) const;

 private:
  TwoByteTrigger triggers_[kMaxTriggers] = {};
  int count_ = 0;
  // For each byte value, the triggers it can be the first byte of, and those
  // it can be the second byte of; and the same split by nibble, and split
  // into the low six bits and the top two: a byte is a first (second) byte
  // of a trigger exactly when both its parts are, as the first byte, the
  // mask and the value each split so. The top two bits of both bytes are
  // looked up together (the first's in bits 0-1 of the index, the second's
  // in bits 2-3); that table repeats every 16 entries, so that the bits
  // above those in an index do not matter.
  uint8_t first_[256] = {}, second_[256] = {};
  alignas(16) uint8_t firstLow_[16] = {}, firstHigh_[16] = {};
  alignas(16) uint8_t secondLow_[16] = {}, secondHigh_[16] = {};
  uint8_t firstSix_[64] = {}, secondSix_[64] = {}, bothTop_[64] = {};
};
