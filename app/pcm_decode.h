// Decoding of an audio file into PCM with FFmpeg's libraries, for the
// formats the media player of the system cannot open (CRI ADX among them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedPcm {
  int sampleRate = 0;
  int channels = 0;              // one or two: more are mixed down to two
  std::vector<int16_t> samples;  // interleaved, signed 16-bit
  std::string error;             // why nothing was decoded; empty on success
};

// Decodes the first audio stream of the file `path` (a byte string), at most
// `maxSeconds` of it; 0 or less: all of it.
DecodedPcm DecodePcm(const std::string& path, double maxSeconds);
