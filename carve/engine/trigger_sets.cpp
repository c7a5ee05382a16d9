// Several trigger sets searched in one pass (TriggerSet::findAllOfSets):
// a walk of many lanes has a set for each eight triggers, and a pass for
// each would read and split every byte once a set.
#include <algorithm>
#include <bit>
#include <iterator>

#include "carve/engine/trigger_search.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace {

bool HasAvx512Vbmi() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi");
}

// The bytes of `table` that the low six bits of each byte of `index` pick
// (the zero-masking form, every byte kept, is the plain permutation).
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i LookUp64(__m512i index,
                                                                               __m512i table) {
  return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, table);
}

// The tables of one set, as the AVX-512 search of one set reads them.
struct SixTables {
  const uint8_t *firstSix, *secondSix, *bothTop;
  const uint8_t *first, *second;  // the same, a byte at a time
};

// The tables of the first test of the sets together, the triggers of all of
// them in eight bits: those of one first byte under one bit (where there are
// more than eight first bytes, ClassesOf shares the bits out). A pair that
// is a trigger of any set is found in them; with one first byte under a bit,
// little else is, as only second bytes that follow the same first byte are
// taken together. (ORing the sets' own tables would put unrelated triggers
// under one bit, whose parts together find many pairs that are none.)
// Up to this many pairs of 64 found by the first test are looked up a pair
// at a time; more, a set at a time. (With more than one, the files of
// programs, thick with pairs, were searched about 10% slower.)
constexpr int kFewPairs = 1;

struct AnyTables {
  alignas(64) uint8_t firstSix[64] = {}, secondSix[64] = {}, bothTop[64] = {};
};

void Mark(uint8_t (&table)[64], int mask, int value, uint8_t bit) {
  for (int i = 0; i < 64; ++i) {
    if ((i & mask) == value) table[i] |= bit;
  }
}

// What the tables of one bit hold, as sets of the low six bits of first
// bytes, of second bytes, and of both bytes' top bits; the pairs the bit
// finds are every combination of them.
struct BitShape {
  uint64_t firstSix = 0, secondSix = 0;
  uint16_t tops = 0;

  void add(const BitShape& o) {
    firstSix |= o.firstSix;
    secondSix |= o.secondSix;
    tops |= o.tops;
  }
  int pairs() const {
    return std::popcount(firstSix) * std::popcount(secondSix) * std::popcount(tops);
  }
};

BitShape ShapeOf(const TwoByteTrigger& t) {
  BitShape s;
  s.firstSix = uint64_t{1} << (t.first & 0x3F);
  for (int i = 0; i < 64; ++i) {
    if ((i & t.mask & 0x3F) == (t.value & 0x3F)) s.secondSix |= uint64_t{1} << i;
  }
  for (int i = 0; i < 16; ++i) {
    if ((i & (3 | (t.mask >> 6) << 2)) == (t.first >> 6 | (t.value >> 6) << 2)) {
      s.tops |= static_cast<uint16_t>(1u << i);
    }
  }
  return s;
}

// Which bit each first byte's triggers go under: first bytes in turn, those
// whose triggers find most pairs first, each under the bit where it adds the
// fewest pairs that are no trigger. (Sharing the bits out in turn put the
// 0xFF of MPEG syncs with a letter of a tag, and a 64-pair block of random
// bytes went to the sets' own tables three times as often as a trigger is
// there.)
void ClassesOf(const TriggerSet* const* sets, int n, int (&classOf)[256]) {
  BitShape byFirst[256];
  bool used[256] = {};
  for (int k = 0; k < n; ++k) {
    for (int j = 0; j < sets[k]->size(); ++j) {
      const TwoByteTrigger& t = sets[k]->trigger(j);
      byFirst[t.first].add(ShapeOf(t));
      used[t.first] = true;
    }
  }
  int order[256];
  int firsts = 0;
  for (int b = 0; b < 256; ++b) {
    if (used[b]) order[firsts++] = b;
  }
  std::stable_sort(order, order + firsts,
                   [&](int x, int y) { return byFirst[x].pairs() > byFirst[y].pairs(); });
  BitShape bits[8];
  for (int i = 0; i < firsts; ++i) {
    const int b = order[i];
    int best = 0, bestAdded = 0;
    for (int c = 0; c < 8; ++c) {
      BitShape with = bits[c];
      with.add(byFirst[b]);
      const int added = with.pairs() - bits[c].pairs();
      if (c == 0 || added < bestAdded) best = c, bestAdded = added;
    }
    bits[best].add(byFirst[b]);
    classOf[b] = best;
  }
}

void MakeAnyTables(const TriggerSet* const* sets, int n, AnyTables& any) {
  int classOf[256];
  ClassesOf(sets, n, classOf);
  for (int k = 0; k < n; ++k) {
    for (int j = 0; j < sets[k]->size(); ++j) {
      const TwoByteTrigger& t = sets[k]->trigger(j);
      const auto bit = static_cast<uint8_t>(1u << classOf[t.first]);
      // Split as each set splits its own (TriggerSet::add).
      Mark(any.firstSix, 0x3F, t.first & 0x3F, bit);
      Mark(any.secondSix, t.mask & 0x3F, t.value & 0x3F, bit);
      Mark(any.bothTop, 3 | (t.mask >> 6) << 2, t.first >> 6 | (t.value >> 6) << 2, bit);
    }
  }
}

// The tables of the last sets asked for on this thread, made again only
// when their triggers differ: a walk asks for the same sets load after load.
const AnyTables& AnyTablesOf(const TriggerSet* const* sets, int n) {
  struct Made {
    TwoByteTrigger triggers[TriggerSet::kMaxFused * TriggerSet::kMaxTriggers];
    int sizes[TriggerSet::kMaxFused] = {};
    int n = -1;
    AnyTables any;
  };
  thread_local Made made;
  bool same = made.n == n;
  for (int k = 0; k < n && same; ++k) {
    same = made.sizes[k] == sets[k]->size();
    for (int j = 0; j < sets[k]->size() && same; ++j) {
      const TwoByteTrigger& a = sets[k]->trigger(j);
      const TwoByteTrigger& b = made.triggers[k * TriggerSet::kMaxTriggers + j];
      same = a.first == b.first && a.mask == b.mask && a.value == b.value;
    }
  }
  if (!same) {
    made.any = AnyTables();
    MakeAnyTables(sets, n, made.any);
    made.n = n;
    for (int k = 0; k < n; ++k) {
      made.sizes[k] = sets[k]->size();
      for (int j = 0; j < sets[k]->size(); ++j) {
        made.triggers[k * TriggerSet::kMaxTriggers + j] = sets[k]->trigger(j);
      }
    }
  }
  return made.any;
}

// The hits of each set among the few pairs at the offsets `pairs` marks
// from `i`, a pair at a time in the sets' byte tables: each set gets an
// entry for every pair, kept only where the set has a trigger there (one
// past the end written), so that which sets have one asks no branch.
template <int N>
inline void PairByPair(const SixTables* t, const uint8_t* p, size_t i, uint64_t pairs,
                       TriggerHit** to) {
  do {
    const auto at = static_cast<uint32_t>(i) + static_cast<uint32_t>(std::countr_zero(pairs));
    const uint8_t x = p[at], y = p[at + 1];
    for (int k = 0; k < N; ++k) {
      const auto bits = static_cast<uint8_t>(t[k].first[x] & t[k].second[y]);
      *to[k] = {at, bits};
      to[k] += bits != 0;
    }
    pairs &= pairs - 1;
  } while (pairs != 0);
}

// `N` sets, 64 pairs at a time: the pairs' bytes and their top bits read
// once and looked up first in the tables of all sets together, which may
// find a pair that is no trigger but misses none; where that finds one (as
// it mostly does in random bytes), it is looked up in each set's byte tables
// (PairByPair); where it finds more (a run of 0xFF has a hit at every byte),
// all 64 in each set's tables of 64.
// Returns the offset the pairs searched end at.
template <int N>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t FusedAvx512(
    const SixTables* t, const AnyTables& anyOf, const uint8_t* p, size_t count, TriggerHit** out) {
  __m512i first[N], second[N], top[N];
  for (int k = 0; k < N; ++k) {
    first[k] = _mm512_loadu_si512(t[k].firstSix);
    second[k] = _mm512_loadu_si512(t[k].secondSix);
    top[k] = _mm512_loadu_si512(t[k].bothTop);
  }
  const __m512i anyFirst = _mm512_load_si512(anyOf.firstSix);
  const __m512i anySecond = _mm512_load_si512(anyOf.secondSix);
  const __m512i anyTop = _mm512_load_si512(anyOf.bothTop);
  const __m512i lowTwo = _mm512_set1_epi8(3);
  alignas(64) uint8_t bits[64];
  TriggerHit* to[N];
  for (int k = 0; k < N; ++k) to[k] = out[k];
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i a = _mm512_loadu_si512(p + i);
    const __m512i b = _mm512_loadu_si512(p + i + 1);
    const __m512i tops =
        _mm512_ternarylogic_epi64(lowTwo, _mm512_srli_epi16(a, 6), _mm512_srli_epi16(b, 4), 0xCA);
    const __m512i any = _mm512_ternarylogic_epi64(LookUp64(a, anyFirst), LookUp64(b, anySecond),
                                                  LookUp64(tops, anyTop), 0x80);
    const uint64_t pairs = _mm512_test_epi8_mask(any, any);
    if (pairs == 0) continue;
    if (std::popcount(pairs) <= kFewPairs) {
      PairByPair<N>(t, p, i, pairs, to);
      continue;
    }
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) {
      const __m512i h = _mm512_ternarylogic_epi64(LookUp64(a, first[k]), LookUp64(b, second[k]),
                                                  LookUp64(tops, top[k]), 0x80);
      uint64_t nonzero = _mm512_test_epi8_mask(h, h);
      if (nonzero == 0) continue;
      _mm512_store_si512(bits, h);
      // Four at a time without a test each: up to three past the end.
      TriggerHit* const end = to[k] + std::popcount(nonzero);
      do {
        for (int j = 0; j < 4; ++j) {
          const auto at = static_cast<unsigned>(std::countr_zero(nonzero)) & 63;
          to[k][j] = {static_cast<uint32_t>(i + at), bits[at]};
          nonzero &= nonzero - 1;
        }
        to[k] += 4;
      } while (to[k] < end);
      to[k] = end;
    }
  }
  for (int k = 0; k < N; ++k) out[k] = to[k];
  return i;
}

}  // namespace

void TriggerSet::findAllOfSets(const TriggerSet* const* sets, int n, const uint8_t* p, size_t count,
                               TriggerHit* const* outs, size_t* found) {
  static const bool fused = HasAvx512Vbmi();
  size_t done = 0;
  TriggerHit* out[kMaxFused] = {};
  for (int k = 0; k < n; ++k) out[k] = outs[k];
  if (fused && n >= 2 && n <= kMaxFused) {
    SixTables t[kMaxFused];
    for (int k = 0; k < n; ++k) {
      t[k] = {sets[k]->firstSix_, sets[k]->secondSix_, sets[k]->bothTop_, sets[k]->first_,
              sets[k]->second_};
    }
    const AnyTables& any = AnyTablesOf(sets, n);
    done = n == 2   ? FusedAvx512<2>(t, any, p, count, out)
           : n == 3 ? FusedAvx512<3>(t, any, p, count, out)
                    : FusedAvx512<4>(t, any, p, count, out);
  }
  // What is left, each set on its own; its offsets from where it begins.
  for (int k = 0; k < n; ++k) {
    const size_t more = sets[k]->findAllInto(p + done, count - done, out[k]);
    for (size_t j = 0; j < more; ++j) out[k][j].at += static_cast<uint32_t>(done);
    found[k] = static_cast<size_t>(out[k] - outs[k]) + more;
  }
}

#else

void TriggerSet::findAllOfSets(const TriggerSet* const* sets, int n, const uint8_t* p, size_t count,
                               TriggerHit* const* outs, size_t* found) {
  for (int k = 0; k < n; ++k) found[k] = sets[k]->findAllInto(p, count, outs[k]);
}

#endif
