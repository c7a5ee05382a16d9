// Several trigger sets searched in one pass (TriggerSet::findAllOfSets):
// a walk of many lanes has a set for each eight triggers, and a pass for
// each would read and split every byte once a set.
#include <bit>

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
};

// `N` sets, 64 pairs at a time: the pairs' bytes and their top bits read
// once and looked up first in the tables of all sets ORed together, which
// may find a pair that is no trigger but misses none; where that finds
// any, in each set's tables, a set's hits written where it has any.
// Returns the offset the pairs searched end at.
template <int N>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t FusedAvx512(const SixTables* t,
                                                                          const uint8_t* p,
                                                                          size_t count,
                                                                          TriggerHit** out) {
  __m512i first[N], second[N], top[N];
  __m512i anyFirst = _mm512_setzero_si512(), anySecond = anyFirst, anyTop = anyFirst;
  for (int k = 0; k < N; ++k) {
    first[k] = _mm512_loadu_si512(t[k].firstSix);
    second[k] = _mm512_loadu_si512(t[k].secondSix);
    top[k] = _mm512_loadu_si512(t[k].bothTop);
    anyFirst = _mm512_or_si512(anyFirst, first[k]);
    anySecond = _mm512_or_si512(anySecond, second[k]);
    anyTop = _mm512_or_si512(anyTop, top[k]);
  }
  const __m512i lowTwo = _mm512_set1_epi8(3);
  alignas(64) uint8_t bits[64];
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i a = _mm512_loadu_si512(p + i);
    const __m512i b = _mm512_loadu_si512(p + i + 1);
    const __m512i tops =
        _mm512_ternarylogic_epi64(lowTwo, _mm512_srli_epi16(a, 6), _mm512_srli_epi16(b, 4), 0xCA);
    const __m512i any = _mm512_ternarylogic_epi64(LookUp64(a, anyFirst), LookUp64(b, anySecond),
                                                  LookUp64(tops, anyTop), 0x80);
    if (_mm512_test_epi8_mask(any, any) == 0) continue;
    for (int k = 0; k < N; ++k) {
      const __m512i h = _mm512_ternarylogic_epi64(LookUp64(a, first[k]), LookUp64(b, second[k]),
                                                  LookUp64(tops, top[k]), 0x80);
      uint64_t nonzero = _mm512_test_epi8_mask(h, h);
      if (nonzero == 0) continue;
      _mm512_store_si512(bits, h);
      for (; nonzero != 0; nonzero &= nonzero - 1) {
        const int at = std::countr_zero(nonzero);
        *out[k]++ = {static_cast<uint32_t>(i + at), bits[at]};
      }
    }
  }
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
    for (int k = 0; k < n; ++k) t[k] = {sets[k]->firstSix_, sets[k]->secondSix_, sets[k]->bothTop_};
    done = n == 2   ? FusedAvx512<2>(t, p, count, out)
           : n == 3 ? FusedAvx512<3>(t, p, count, out)
                    : FusedAvx512<4>(t, p, count, out);
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
