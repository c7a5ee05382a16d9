// What a carver measured of a stream, as its line and its report show it.
#pragma once

#include <cstdint>

// Negative: not measured.
struct StreamFacts {
  int64_t frames = -1;
  int64_t bitrateKbps = -1, sampleRateHz = -1;
  double seconds = -1;
  int64_t channels = -1;
};
