#include "carve/trigger_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline bool PairAt(const uint8_t* p, size_t k, TwoByteTrigger t) {
  return p[k] == t.first && (p[k + 1] & t.mask) == t.value;
}

size_t FindScalar(const uint8_t* p, size_t from, size_t count, TwoByteTrigger t) {
  for (size_t k = from; k < count; ++k) {
    if (PairAt(p, k, t)) return k;
  }
  return count;
}

}  // namespace

#if defined(__SSE2__)

size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t) {
  const __m128i first = _mm_set1_epi8(static_cast<char>(t.first));
  const __m128i mask = _mm_set1_epi8(static_cast<char>(t.mask));
  const __m128i value = _mm_set1_epi8(static_cast<char>(t.value));
  size_t i = 0;
  // Most data has few first bytes: 64 positions are filtered on the first
  // byte alone, and only a block holding one is tested pair by pair.
  while (i + 64 <= count) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 32));
    const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 48));
    const __m128i any =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a0, first), _mm_cmpeq_epi8(a1, first)),
                     _mm_or_si128(_mm_cmpeq_epi8(a2, first), _mm_cmpeq_epi8(a3, first)));
    if (_mm_movemask_epi8(any) != 0) {
      for (size_t j = i; j < i + 64; j += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 1));
        const __m128i hit =
            _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(_mm_and_si128(b, mask), value));
        if (int bits = _mm_movemask_epi8(hit); bits != 0)
          return j + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
      }
    }
    i += 64;
  }
  while (i + 16 <= count) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    const __m128i hit =
        _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(_mm_and_si128(b, mask), value));
    if (int bits = _mm_movemask_epi8(hit); bits != 0)
      return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    i += 16;
  }
  return FindScalar(p, i, count, t);
}

#else

size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t) {
  return FindScalar(p, 0, count, t);
}

#endif
