// Micro-benchmarks of the trigger search over one 256 KiB buffer of random
// bytes, which stays in the cache: each trigger searched for on its own,
// as a lone carver does (and as several did before they shared one pass),
// against one pass for all of them with every way of searching.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "carve/engine/trigger_search.h"

namespace {

// The triggers of the eight formats of `all`: MP3, Ogg, WAVE, MPEG Layer
// I/II, ADTS AAC, FLAC, AIFF, CRI ADX.
const TwoByteTrigger kTriggers[] = {{0xFF, 0xE6, 0xE2}, {'O', 0xFF, 'g'},   {'R', 0xFF, 'I'},
                                    {0xFF, 0xF4, 0xF4}, {0xFF, 0xF6, 0xF0}, {'f', 0xFF, 'L'},
                                    {'F', 0xFF, 'O'},   {0x80, 0xFF, 0x00}};

const std::vector<uint8_t>& Buffer() {
  static const std::vector<uint8_t> buffer = [] {
    std::vector<uint8_t> b(256 * 1024 + 1);
    std::mt19937 random(7);
    for (auto& byte : b) byte = static_cast<uint8_t>(random());
    return b;
  }();
  return buffer;
}

// Every trigger on its own, each search going on past the hit it found.
void BM_EachTriggerAlone(benchmark::State& state) {
  const std::vector<uint8_t>& b = Buffer();
  const size_t count = b.size() - 1;
  const auto triggers = static_cast<size_t>(state.range(0));
  size_t found = 0;
  for (auto _ : state) {
    for (size_t t = 0; t < triggers; ++t) {
      for (size_t k = 0; k < count; ++k) {
        k += FindTrigger(b.data() + k, count - k, kTriggers[t]);
        if (k < count) ++found;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_EachTriggerAlone)->Arg(1)->Arg(3)->Arg(8);

// All of them in one pass with a set.
void BM_OneSetPass(benchmark::State& state, TriggerSearchPath path) {
  if (!HasTriggerSearchPath(path)) {
    state.SkipWithError("not on this machine");
    return;
  }
  const std::vector<uint8_t>& b = Buffer();
  const size_t count = b.size() - 1;
  TriggerSet set;
  for (int t = 0; t < state.range(0); ++t) set.add(kTriggers[t]);
  std::vector<TriggerHit> hits(count + TriggerSet::kHitSlack);
  size_t found = 0;
  for (auto _ : state) {
    found = set.findAllInto(path, b.data(), count, hits.data());
    benchmark::DoNotOptimize(hits.data());
  }
  state.counters["hits"] = static_cast<double>(found);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK_CAPTURE(BM_OneSetPass, portable, TriggerSearchPath::Portable)->Arg(3)->Arg(8);
BENCHMARK_CAPTURE(BM_OneSetPass, sse2, TriggerSearchPath::Sse2)->Arg(3)->Arg(8);
BENCHMARK_CAPTURE(BM_OneSetPass, ssse3, TriggerSearchPath::Ssse3)->Arg(3)->Arg(8);
BENCHMARK_CAPTURE(BM_OneSetPass, avx2, TriggerSearchPath::Avx2)->Arg(3)->Arg(8);
BENCHMARK_CAPTURE(BM_OneSetPass, avx512, TriggerSearchPath::Avx512)->Arg(3)->Arg(8);

// The triggers of every row of `all` today, in the three sets its walk
// searches together, over a buffer of range(0) KiB: 256 stays in the cache
// the walk's reads leave it in, 16384 does not.
void BM_AllRowsFused(benchmark::State& state) {
  const std::vector<std::vector<TwoByteTrigger>> groups = {
      {{0xFF, 0xE6, 0xE2},
       {'O', 0xFF, 'g'},
       {'R', 0xFF, 'I'},
       {0xFF, 0xF4, 0xF4},
       {0xFF, 0xF6, 0xF0},
       {'f', 0xFF, 'L'},
       {'F', 0xFF, 'O'},
       {0x80, 0xFF, 0x00}},
      {{'B', 0xFF, 'K'},
       {'R', 0xFF, 'S'},
       {'C', 0xFF, 'S'},
       {'F', 0xFF, 'S'},
       {'M', 0xFF, 'T'},
       {'A', 0xFF, 'F'},
       {0x00, 0xFE, 0x02},
       {0x00, 0xFF, 0x01}},
      {{'A', 0xFF, 'K'}, {'W', 0xFF, 'B'}, {'D', 0xFF, 'N'}}};
  std::vector<TriggerSet> sets(groups.size());
  const TriggerSet* of[3];
  for (size_t g = 0; g < groups.size(); ++g) {
    for (const TwoByteTrigger& t : groups[g]) sets[g].add(t);
    of[g] = &sets[g];
  }
  std::vector<uint8_t> b(static_cast<size_t>(state.range(0)) * 1024 + 1);
  std::mt19937 random(7);
  for (auto& byte : b) byte = static_cast<uint8_t>(random());
  const size_t count = b.size() - 1;
  std::vector<std::vector<TriggerHit>> hits(3, std::vector<TriggerHit>(count + 64));
  TriggerHit* outs[3] = {hits[0].data(), hits[1].data(), hits[2].data()};
  size_t found[3] = {};
  for (auto _ : state) {
    TriggerSet::findAllOfSets(of, 3, b.data(), count, outs, found);
    benchmark::DoNotOptimize(found);
  }
  state.counters["hits"] = static_cast<double>(found[0] + found[1] + found[2]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_AllRowsFused)->Arg(256)->Arg(16384);

}  // namespace
