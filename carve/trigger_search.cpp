#include "carve/trigger_search.h"

#if defined(__SSE2__)
#include <immintrin.h>
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

namespace {

// Whole pairs are tested, 64 positions at a time: a filter on the first
// byte alone would branch unpredictably, as a first byte is in a quarter of
// all 64-byte stretches of random data, while whole triggers are rare.
size_t FindSse2(const uint8_t* p, size_t count, TwoByteTrigger t) {
  const __m128i first = _mm_set1_epi8(static_cast<char>(t.first));
  const __m128i mask = _mm_set1_epi8(static_cast<char>(t.mask));
  const __m128i value = _mm_set1_epi8(static_cast<char>(t.value));
  auto hits = [&](size_t at) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
    return _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(_mm_and_si128(b, mask), value));
  };
  size_t i = 0;
  while (i + 64 <= count) {
    const __m128i h0 = hits(i), h1 = hits(i + 16), h2 = hits(i + 32), h3 = hits(i + 48);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3))) != 0) break;
    i += 64;
  }
  while (i + 16 <= count) {
    if (int bits = _mm_movemask_epi8(hits(i)); bits != 0)
      return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    i += 16;
  }
  return FindScalar(p, i, count, t);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ZANDREL_HAVE_AVX2_PATH 1

// The same with 32 positions to a register, for processors that have AVX2.
__attribute__((target("avx2"))) size_t FindAvx2(const uint8_t* p, size_t count, TwoByteTrigger t) {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(t.first));
  const __m256i mask = _mm256_set1_epi8(static_cast<char>(t.mask));
  const __m256i value = _mm256_set1_epi8(static_cast<char>(t.value));
  auto hits = [&](size_t at) __attribute__((target("avx2"))) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at + 1));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, first),
                            _mm256_cmpeq_epi8(_mm256_and_si256(b, mask), value));
  };
  size_t i = 0;
  while (i + 64 <= count) {
    const __m256i h0 = hits(i), h1 = hits(i + 32);
    if (_mm256_movemask_epi8(_mm256_or_si256(h0, h1)) != 0) {
      if (unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(h0)); bits != 0)
        return i + static_cast<size_t>(__builtin_ctz(bits));
      return i + 32 +
             static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(_mm256_movemask_epi8(h1))));
    }
    i += 64;
  }
  return i + FindSse2(p + i, count - i, t);
}
#endif

using FindFn = size_t (*)(const uint8_t*, size_t, TwoByteTrigger);

FindFn ChooseFind() {
#if defined(ZANDREL_HAVE_AVX2_PATH)
  if (__builtin_cpu_supports("avx2")) return FindAvx2;
#endif
  return FindSse2;
}

}  // namespace

size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t) {
  static const FindFn find = ChooseFind();
  return find(p, count, t);
}

bool HasTriggerSearchPath(TriggerSearchPath path) {
  switch (path) {
    case TriggerSearchPath::Portable:
    case TriggerSearchPath::Sse2:
      return true;
    case TriggerSearchPath::Avx2:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return __builtin_cpu_supports("avx2");
#endif
      break;
  }
  return false;
}

size_t FindTriggerOn(TriggerSearchPath path, const uint8_t* p, size_t count, TwoByteTrigger t) {
  switch (path) {
    case TriggerSearchPath::Sse2:
      return FindSse2(p, count, t);
    case TriggerSearchPath::Avx2:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return FindAvx2(p, count, t);
#endif
    case TriggerSearchPath::Portable:
      break;
  }
  return FindScalar(p, 0, count, t);
}

#else

size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t) {
  return FindScalar(p, 0, count, t);
}

bool HasTriggerSearchPath(TriggerSearchPath path) { return path == TriggerSearchPath::Portable; }

size_t FindTriggerOn(TriggerSearchPath /*path*/, const uint8_t* p, size_t count, TwoByteTrigger t) {
  return FindScalar(p, 0, count, t);
}

#endif
