#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "carve/carver.h"
#include "carve/host.h"
#include "carve/input_view.h"

namespace {

// How far the chunk walk of a WAVE file may go looking for its "fmt " chunk.
constexpr int kMaxChunks = 64;
constexpr int64_t kMaxChunkWalk = 1 << 20;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Walks the chunks of the RIFF WAVE file at `candidate` (its RIFF chunk holds
// `riffLength` bytes, header included) from the first one after "WAVE": each
// is an id, a 32-bit size and the body padded to even length. Returns the
// offset (from the candidate) of a "fmt " chunk whose header lies within the
// RIFF chunk, the first kMaxChunks chunks and the first kMaxChunkWalk bytes,
// or -1.
int64_t FindFmtChunk(InputView& input, int64_t candidate, int64_t riffLength) {
  const int64_t limit = std::min(riffLength, kMaxChunkWalk);
  int64_t at = 12;
  for (int i = 0; i < kMaxChunks && at + 8 <= limit; ++i) {
    uint8_t chunk[8];
    if (input.read(candidate + at, chunk, sizeof chunk) < static_cast<int64_t>(sizeof chunk)) {
      return -1;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0) return at;
    const int64_t size = Le32(chunk + 4);
    at += 8 + size + (size & 1);
  }
  return -1;
}

class WavCarver : public Carver {
 public:
  explicit WavCarver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {0x52, 0xFF, 0x49}; }  // "R", "I"
  bool progressPerProbe() const override { return false; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    // The RIFF header and, when the input holds it, the start of the format
    // chunk when it comes first: its size, format tag, channels, sample rate
    // and byte rate.
    uint8_t header[32];
    const int64_t got = input.read(candidate, header, sizeof header);
    // Every later candidate lies even closer to the end, so a header that
    // does not fit ends the pass.
    if (got < 16) return ProbeResult::EndPass;
    if (std::memcmp(header + 2, "FF", 2) != 0) return ProbeResult::Reject;
    // The RIFF chunk with its 8-byte header. Computed wide, so that no size
    // field wraps the length to nothing: the walk always moves past the
    // candidate.
    const int64_t length = static_cast<int64_t>(Le32(header + 4)) + 8;
    facts_ = {};
    if (std::memcmp(header + 8, "WAVEfmt", 7) == 0) {
      if (got == static_cast<int64_t>(sizeof header)) TakeRates(header + 20);
    } else {
      // With the any-chunk rule, other chunks may come before "fmt ".
      if (std::memcmp(header + 8, "WAVE", 4) != 0 || !host_.WavAnyChunk()) {
        return ProbeResult::Reject;
      }
      const int64_t fmt = FindFmtChunk(input, candidate, length);
      if (fmt < 0) return ProbeResult::Reject;
      uint8_t body[12];
      if (input.read(candidate + fmt + 8, body, sizeof body) == static_cast<int64_t>(sizeof body)) {
        TakeRates(body);
      }
    }
    Found found;
    found.span = {candidate, length};
    char line[128];
    std::snprintf(line, sizeof line, "[%3.3lld($%8.8llX-$%8.8llX)] RIFF Wav",
                  static_cast<long long>(where.number), static_cast<long long>(candidate),
                  static_cast<long long>(candidate + length - 1));
    found.line = line;
    found.facts = facts_;
    return found;
  }

 private:
  // The sample rate and byte rate from the body of a format chunk.
  void TakeRates(const uint8_t* body) {
    facts_.sampleRateHz = Le32(body + 4);
    facts_.bitrateKbps = int64_t{Le32(body + 8)} * 8 / 1000;
  }

  Host& host_;
  StreamFacts facts_;
};

}  // namespace

std::unique_ptr<Carver> MakeWavCarver(Host& host) { return std::make_unique<WavCarver>(host); }
