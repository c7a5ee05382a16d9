#include "carve/engine/trigger_search.h"

#include <bit>

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

// The byte tables of a set, for the ways of searching below.
struct SetTables {
  const uint8_t* first;  // 256 entries each
  const uint8_t* second;
  const uint8_t *firstLow, *firstHigh, *secondLow, *secondHigh;  // 16 entries each
  const uint8_t *firstSix, *secondSix, *bothTop;                 // 64 entries each
};

TriggerHit* FindAllScalar(const SetTables& s, const uint8_t* p, size_t from, size_t count,
                          TriggerHit* out) {
  for (size_t k = from; k < count; ++k) {
    if (const uint8_t bits = s.first[p[k]] & s.second[p[k + 1]]; bits != 0)
      *out++ = {static_cast<uint32_t>(k), bits};
  }
  return out;
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

// Writes a hit for each byte of `bits` (64 of them) whose bit is set in
// `nonzero`, the first of them at `base`; returns the end of what it wrote.
// Four are written at a time without a test each, as most stretches with a
// hit hold one or two: up to three entries past the end are written too.
inline TriggerHit* EmitHits(const uint8_t* bits, uint64_t nonzero, size_t base, TriggerHit* out) {
  TriggerHit* const end = out + std::popcount(nonzero);
  do {
    for (int i = 0; i < 4; ++i) {
      const auto b = static_cast<unsigned>(std::countr_zero(nonzero)) & 63;
      out[i] = {static_cast<uint32_t>(base + b), bits[b]};
      nonzero &= nonzero - 1;
    }
    out += 4;
  } while (out < end);
  return end;
}

// Without a byte shuffle every trigger is compared on its own, 16 positions
// at a time, the bits of all of them gathered in one register.
TriggerHit* FindAllSse2(const TwoByteTrigger* triggers, int n, const SetTables& s, const uint8_t* p,
                        size_t count, TriggerHit* out) {
  __m128i first[TriggerSet::kMaxTriggers], mask[TriggerSet::kMaxTriggers],
      value[TriggerSet::kMaxTriggers], bit[TriggerSet::kMaxTriggers];
  for (int j = 0; j < n; ++j) {
    first[j] = _mm_set1_epi8(static_cast<char>(triggers[j].first));
    mask[j] = _mm_set1_epi8(static_cast<char>(triggers[j].mask));
    value[j] = _mm_set1_epi8(static_cast<char>(triggers[j].value));
    bit[j] = _mm_set1_epi8(static_cast<char>(1u << j));
  }
  const __m128i zero = _mm_setzero_si128();
  alignas(16) uint8_t bits[16];
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    __m128i h = zero;
    for (int j = 0; j < n; ++j) {
      const __m128i pair = _mm_and_si128(_mm_cmpeq_epi8(a, first[j]),
                                         _mm_cmpeq_epi8(_mm_and_si128(b, mask[j]), value[j]));
      h = _mm_or_si128(h, _mm_and_si128(pair, bit[j]));
    }
    const auto nonzero =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(h, zero))) ^ 0xFFFFu;
    if (nonzero != 0) {
      _mm_store_si128(reinterpret_cast<__m128i*>(bits), h);
      out = EmitHits(bits, nonzero, i, out);
    }
  }
  return FindAllScalar(s, p, i, count, out);
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

inline __m128i Table16(const uint8_t* t) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(t));
}

// With a byte shuffle, the triggers a byte can begin or end are looked up by
// its two nibbles, 16 bytes at a time, whatever the number of triggers.
__attribute__((target("ssse3"))) TriggerHit* FindAllSsse3(const SetTables& s, const uint8_t* p,
                                                          size_t count, TriggerHit* out) {
  const __m128i firstLow = Table16(s.firstLow), firstHigh = Table16(s.firstHigh);
  const __m128i secondLow = Table16(s.secondLow), secondHigh = Table16(s.secondHigh);
  const __m128i low = _mm_set1_epi8(0x0F), zero = _mm_setzero_si128();
  auto lookUp = [&](__m128i lowTable, __m128i highTable, __m128i x)
      __attribute__((target("ssse3"))) {
    return _mm_and_si128(_mm_shuffle_epi8(lowTable, _mm_and_si128(x, low)),
                         _mm_shuffle_epi8(highTable, _mm_and_si128(_mm_srli_epi16(x, 4), low)));
  };
  auto hitsAt = [&](size_t at) __attribute__((target("ssse3"))) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
    return _mm_and_si128(lookUp(firstLow, firstHigh, a), lookUp(secondLow, secondHigh, b));
  };
  alignas(16) uint8_t bits[16];
  auto emit = [&](__m128i h, size_t at) __attribute__((target("ssse3"))) {
    const auto nonzero =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(h, zero))) ^ 0xFFFFu;
    if (nonzero == 0) return;
    _mm_store_si128(reinterpret_cast<__m128i*>(bits), h);
    out = EmitHits(bits, nonzero, at, out);
  };
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m128i h0 = hitsAt(i), h1 = hitsAt(i + 16), h2 = hitsAt(i + 32), h3 = hitsAt(i + 48);
    const __m128i any = _mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF) continue;
    emit(h0, i);
    emit(h1, i + 16);
    emit(h2, i + 32);
    emit(h3, i + 48);
  }
  for (; i + 16 <= count; i += 16) emit(hitsAt(i), i);
  return FindAllScalar(s, p, i, count, out);
}

// The same with 32 bytes to a register.
__attribute__((target("avx2"))) TriggerHit* FindAllAvx2(const SetTables& s, const uint8_t* p,
                                                        size_t count, TriggerHit* out) {
  const __m256i firstLow = _mm256_broadcastsi128_si256(Table16(s.firstLow));
  const __m256i firstHigh = _mm256_broadcastsi128_si256(Table16(s.firstHigh));
  const __m256i secondLow = _mm256_broadcastsi128_si256(Table16(s.secondLow));
  const __m256i secondHigh = _mm256_broadcastsi128_si256(Table16(s.secondHigh));
  const __m256i low = _mm256_set1_epi8(0x0F);
  auto lookUp = [&](__m256i lowTable, __m256i highTable, __m256i x)
      __attribute__((target("avx2"))) {
    return _mm256_and_si256(
        _mm256_shuffle_epi8(lowTable, _mm256_and_si256(x, low)),
        _mm256_shuffle_epi8(highTable, _mm256_and_si256(_mm256_srli_epi16(x, 4), low)));
  };
  auto hitsAt = [&](size_t at) __attribute__((target("avx2"))) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at + 1));
    return _mm256_and_si256(lookUp(firstLow, firstHigh, a), lookUp(secondLow, secondHigh, b));
  };
  alignas(32) uint8_t bits[32];
  auto emit = [&](__m256i h, size_t at) __attribute__((target("avx2"))) {
    const auto nonzero =
        ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(h, _mm256_setzero_si256())));
    if (nonzero == 0) return;
    _mm256_store_si256(reinterpret_cast<__m256i*>(bits), h);
    out = EmitHits(bits, nonzero, at, out);
  };
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m256i h0 = hitsAt(i), h1 = hitsAt(i + 32);
    const __m256i any = _mm256_or_si256(h0, h1);
    if (_mm256_testz_si256(any, any)) continue;
    emit(h0, i);
    emit(h1, i + 32);
  }
  for (; i + 32 <= count; i += 32) emit(hitsAt(i), i);
  return FindAllScalar(s, p, i, count, out);
}

#define ZANDREL_HAVE_AVX512_PATH 1

// The bytes of `table` that the low six bits of each byte of `index` pick.
// (The zero-masking form with every byte kept is the plain permutation.)
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i LookUp64(__m512i index,
                                                                               __m512i table) {
  return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index, table);
}

// With a 64-entry byte permutation, which ignores the top two bits of its
// index, a byte is looked up by its low six bits as they are, and the top two
// bits of both bytes of a pair together, 64 pairs at a time.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) TriggerHit* FindAllAvx512(const SetTables& s,
                                                                                 const uint8_t* p,
                                                                                 size_t count,
                                                                                 TriggerHit* out) {
  const __m512i firstSix = _mm512_loadu_si512(s.firstSix);
  const __m512i secondSix = _mm512_loadu_si512(s.secondSix);
  const __m512i bothTop = _mm512_loadu_si512(s.bothTop);
  const __m512i lowTwo = _mm512_set1_epi8(3);
  auto hitsAt = [&](size_t at) __attribute__((target("avx512f,avx512bw,avx512vbmi"))) {
    const __m512i a = _mm512_loadu_si512(p + at);
    const __m512i b = _mm512_loadu_si512(p + at + 1);
    // Bits 0-1: the top two of the first byte; bits 2-3: those of the
    // second (the shifts bring in bits of the next byte above them, which
    // the table does not tell apart).
    const __m512i top =
        _mm512_ternarylogic_epi64(lowTwo, _mm512_srli_epi16(a, 6), _mm512_srli_epi16(b, 4), 0xCA);
    // The three ANDed at once.
    return _mm512_ternarylogic_epi64(LookUp64(a, firstSix), LookUp64(b, secondSix),
                                     LookUp64(top, bothTop), 0x80);
  };
  alignas(64) uint8_t bits[64];
  auto emit = [&](__m512i h, size_t at) __attribute__((target("avx512f,avx512bw,avx512vbmi"))) {
    const uint64_t nonzero = _mm512_test_epi8_mask(h, h);
    if (nonzero == 0) return;
    _mm512_store_si512(bits, h);
    out = EmitHits(bits, nonzero, at, out);
  };
  size_t i = 0;
  for (; i + 128 <= count; i += 128) {
    const __m512i h0 = hitsAt(i), h1 = hitsAt(i + 64);
    const __m512i any = _mm512_or_si512(h0, h1);
    if (_mm512_test_epi8_mask(any, any) == 0) continue;
    emit(h0, i);
    emit(h1, i + 64);
  }
  for (; i + 64 <= count; i += 64) emit(hitsAt(i), i);
  return FindAllScalar(s, p, i, count, out);
}
#endif

using FindFn = size_t (*)(const uint8_t*, size_t, TwoByteTrigger);

FindFn ChooseFind() {
#if defined(ZANDREL_HAVE_AVX2_PATH)
  if (__builtin_cpu_supports("avx2")) return FindAvx2;
#endif
  return FindSse2;
}

TriggerSearchPath ChooseSetPath() {
#if defined(ZANDREL_HAVE_AVX2_PATH)
  if (HasTriggerSearchPath(TriggerSearchPath::Avx512)) return TriggerSearchPath::Avx512;
  if (__builtin_cpu_supports("avx2")) return TriggerSearchPath::Avx2;
  if (__builtin_cpu_supports("ssse3")) return TriggerSearchPath::Ssse3;
#endif
  return TriggerSearchPath::Sse2;
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
    case TriggerSearchPath::Ssse3:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return __builtin_cpu_supports("ssse3");
#endif
      break;
    case TriggerSearchPath::Avx2:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return __builtin_cpu_supports("avx2");
#endif
      break;
    case TriggerSearchPath::Avx512:
#if defined(ZANDREL_HAVE_AVX512_PATH)
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi");
#endif
      break;
  }
  return false;
}

size_t FindTriggerOn(TriggerSearchPath path, const uint8_t* p, size_t count, TwoByteTrigger t) {
  switch (path) {
    case TriggerSearchPath::Sse2:
    case TriggerSearchPath::Ssse3:
      return FindSse2(p, count, t);
    case TriggerSearchPath::Avx2:
    case TriggerSearchPath::Avx512:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return FindAvx2(p, count, t);
#endif
    case TriggerSearchPath::Portable:
      break;
  }
  return FindScalar(p, 0, count, t);
}

size_t TriggerSet::findAllInto(const uint8_t* p, size_t count, TriggerHit* out) const {
  static const TriggerSearchPath path = ChooseSetPath();
  return findAllInto(path, p, count, out);
}

size_t TriggerSet::findAllInto(TriggerSearchPath path, const uint8_t* p, size_t count,
                               TriggerHit* out) const {
  const SetTables s{first_,      second_,   firstLow_,  firstHigh_, secondLow_,
                    secondHigh_, firstSix_, secondSix_, bothTop_};
  if (count_ == 0) return 0;
  switch (path) {
    case TriggerSearchPath::Sse2:
      return FindAllSse2(triggers_, count_, s, p, count, out) - out;
    case TriggerSearchPath::Ssse3:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return FindAllSsse3(s, p, count, out) - out;
#endif
      break;
    case TriggerSearchPath::Avx2:
#if defined(ZANDREL_HAVE_AVX2_PATH)
      return FindAllAvx2(s, p, count, out) - out;
#endif
      break;
    case TriggerSearchPath::Avx512:
#if defined(ZANDREL_HAVE_AVX512_PATH)
      return FindAllAvx512(s, p, count, out) - out;
#endif
      break;
    case TriggerSearchPath::Portable:
      break;
  }
  return FindAllScalar(s, p, 0, count, out) - out;
}

#else

size_t FindTrigger(const uint8_t* p, size_t count, TwoByteTrigger t) {
  return FindScalar(p, 0, count, t);
}

bool HasTriggerSearchPath(TriggerSearchPath path) { return path == TriggerSearchPath::Portable; }

size_t FindTriggerOn(TriggerSearchPath /*path*/, const uint8_t* p, size_t count, TwoByteTrigger t) {
  return FindScalar(p, 0, count, t);
}

size_t TriggerSet::findAllInto(const uint8_t* p, size_t count, TriggerHit* out) const {
  return findAllInto(TriggerSearchPath::Portable, p, count, out);
}

size_t TriggerSet::findAllInto(TriggerSearchPath /*path*/, const uint8_t* p, size_t count,
                               TriggerHit* out) const {
  if (count_ == 0) return 0;
  const SetTables s{first_,      second_,   firstLow_,  firstHigh_, secondLow_,
                    secondHigh_, firstSix_, secondSix_, bothTop_};
  return FindAllScalar(s, p, 0, count, out) - out;
}

#endif

void TriggerSet::findAllOn(TriggerSearchPath path, const uint8_t* p, size_t count,
                           std::vector<TriggerHit>& hits) const {
  const size_t old = hits.size();
  hits.resize(old + count + kHitSlack);
  hits.resize(old + findAllInto(path, p, count, hits.data() + old));
}

void TriggerSet::findAll(const uint8_t* p, size_t count, std::vector<TriggerHit>& hits) const {
  const size_t old = hits.size();
  hits.resize(old + count + kHitSlack);
  hits.resize(old + findAllInto(p, count, hits.data() + old));
}
