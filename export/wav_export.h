// Decoding an output (a stream or a member) into a WAVE file of 16-bit PCM
// beside it, for players and editors that know no game codec.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class Env;

struct WavExport {
  std::string output;  // the WAVE written; empty when none was
  // Why none was, in the source language of context "PcmDecode" (as
  // DecodedPcm::error); empty on success.
  std::string error;
  int64_t frames = 0;  // sample frames written
  int rate = 0, channels = 0;
  double seconds() const { return rate > 0 ? static_cast<double>(frames) / rate : 0.0; }
};

// Decodes the file `path` of the kind `kind` (a row of the table of formats,
// or a member's extension) into `wavPath` through `env`: the WAVE appears
// whole or not at all and never replaces a file. Stops, writing nothing,
// once `stop` is set.
WavExport DecodeToWav(const std::string& path, const std::string& kind,
                      const std::string& wavPath, Env& env,
                      const std::atomic<bool>* stop = nullptr);
