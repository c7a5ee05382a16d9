#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/common/big_endian.h"
#include "carve/formats/common/little_endian.h"
#include "carve/formats/riff/riff_codec.h"

namespace {

// How far the chunk walk of a WAVE file may go looking for its "fmt " chunk.
constexpr int kMaxChunks = 64;
constexpr int64_t kMaxChunkWalk = 1 << 20;

// A chunk's size field: little-endian in RIFF, big-endian in RIFX.
uint32_t SizeField(const uint8_t* p, bool bigEndian) { return bigEndian ? Be32(p) : Le32(p); }

// Walks the chunks of the RIFF WAVE file at `candidate` (its RIFF chunk holds
// `riffLength` bytes, header included) from the first one after "WAVE": each
// is an id, a 32-bit size and the body padded to even length. Returns the
// offset (from the candidate) of a chunk `id` whose header lies within the
// RIFF chunk, the first kMaxChunks chunks and the first kMaxChunkWalk bytes,
// or -1; `size` gets its size field.
int64_t FindChunk(InputView& input, int64_t candidate, int64_t riffLength, bool bigEndian,
                  const char* id, int64_t* size = nullptr) {
  const int64_t limit = std::min(riffLength, kMaxChunkWalk);
  int64_t at = 12;
  for (int i = 0; i < kMaxChunks && at + 8 <= limit; ++i) {
    uint8_t chunk[8];
    if (input.read(candidate + at, chunk, sizeof chunk) < static_cast<int64_t>(sizeof chunk)) {
      return -1;
    }
    const int64_t bytes = SizeField(chunk + 4, bigEndian);
    if (std::memcmp(chunk, id, 4) == 0) {
      if (size != nullptr) *size = bytes;
      return at;
    }
    at += 8 + bytes + (bytes & 1);
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
    // With the codec rule, RIFX: the same chunks with big-endian numbers.
    const bool codecs = host_.RiffCodecs();
    const bool bigEndian = codecs && std::memcmp(header + 2, "FX", 2) == 0;
    if (!bigEndian && std::memcmp(header + 2, "FF", 2) != 0) return ProbeResult::Reject;
    // The RIFF chunk with its 8-byte header. Computed wide, so that no size
    // field wraps the length to nothing: the walk always moves past the
    // candidate.
    const int64_t length = static_cast<int64_t>(SizeField(header + 4, bigEndian)) + 8;
    facts_ = {};
    bytesPerSecond_ = -1;
    const int64_t fmt = FormatChunk(input, candidate, header, got, length, bigEndian);
    if (fmt < 0) return ProbeResult::Reject;
    if (host_.WavSound() && !HoldsSound(input, candidate, fmt, length, bigEndian)) {
      return ProbeResult::Reject;
    }
    Found found;
    found.span = {candidate, length};
    char line[128];
    std::snprintf(line, sizeof line, "[%3.3lld($%8.8llX-$%8.8llX)] %s Wav",
                  static_cast<long long>(where.number), static_cast<long long>(candidate),
                  static_cast<long long>(candidate + length - 1), bigEndian ? "RIFX" : "RIFF");
    found.line = line;
    if (codecs) found.extension = TakeFormat(input, candidate + fmt, bigEndian);
    found.facts = facts_;
    found.facts.seconds = Seconds(input, candidate, length, bigEndian);
    return found;
  }

 private:
  // The offset of the format chunk from the candidate, from the header when
  // "fmt " follows "WAVE" or, with the any-chunk rule, by a walk over the
  // chunks; -1 when there is none. Takes the rates of a RIFF file's chunk.
  int64_t FormatChunk(InputView& input, int64_t candidate, const uint8_t* header, int64_t got,
                      int64_t length, bool bigEndian) {
    if (std::memcmp(header + 8, "WAVEfmt", 7) == 0) {
      if (got == 32 && !bigEndian) TakeRates(header + 20);
      return 12;
    }
    if (std::memcmp(header + 8, "WAVE", 4) != 0 || !host_.WavAnyChunk()) return -1;
    const int64_t fmt = FindChunk(input, candidate, length, bigEndian, "fmt ");
    uint8_t body[12];
    if (fmt >= 0 && !bigEndian &&
        input.read(candidate + fmt + 8, body, sizeof body) == static_cast<int64_t>(sizeof body)) {
      TakeRates(body);
    }
    return fmt;
  }

  // With the sound rule: whether the format chunk at `fmt` describes sound
  // and a data chunk within the RIFF chunk holds bytes.
  static bool HoldsSound(InputView& input, int64_t candidate, int64_t fmt, int64_t length,
                         bool bigEndian) {
    uint8_t chunk[48];
    const int64_t got = input.read(candidate + fmt, chunk, sizeof chunk);
    if (got < 8 || !RiffFormatIsSound(std::span<const uint8_t>(chunk + 8, got - 8),
                                      SizeField(chunk + 4, bigEndian), bigEndian)) {
      return false;
    }
    int64_t size = 0;
    return FindChunk(input, candidate, length, bigEndian, "data", &size) >= 0 && size > 0;
  }

  // With the codec rule: the format chunk at `at` read again, for the codec
  // that names the output and, in its own places for XMA and big-endian in
  // RIFX, the rates.
  std::string TakeFormat(InputView& input, int64_t at, bool bigEndian) {
    uint8_t chunk[48];
    const int64_t got = input.read(at, chunk, sizeof chunk);
    if (got < 8) return "wav";
    const RiffFormat format = ReadRiffFormat(std::span<const uint8_t>(chunk + 8, got - 8),
                                             SizeField(chunk + 4, bigEndian), bigEndian);
    if (format.sampleRateHz >= 0) {
      facts_.sampleRateHz = format.sampleRateHz;
      bytesPerSecond_ = format.bytesPerSecond;
      facts_.bitrateKbps = format.bytesPerSecond * 8 / 1000;
    }
    return format.extension;
  }

  // The sample rate and byte rate from the body of a format chunk.
  void TakeRates(const uint8_t* body) {
    facts_.sampleRateHz = Le32(body + 4);
    bytesPerSecond_ = Le32(body + 8);
    facts_.bitrateKbps = bytesPerSecond_ * 8 / 1000;
  }

  // The length of the sound: the bytes of its "data" chunk that the RIFF
  // chunk holds over the format's average bytes a second; -1 without either.
  double Seconds(InputView& input, int64_t candidate, int64_t length, bool bigEndian) const {
    if (bytesPerSecond_ <= 0) return -1;
    int64_t size = 0;
    const int64_t data = FindChunk(input, candidate, length, bigEndian, "data", &size);
    if (data < 0) return -1;
    const int64_t held = std::clamp<int64_t>(length - data - 8, 0, size);
    return static_cast<double>(held) / static_cast<double>(bytesPerSecond_);
  }

  Host& host_;
  StreamFacts facts_;
  int64_t bytesPerSecond_ = -1;  // the format chunk's average bytes a second
};

}  // namespace

std::unique_ptr<Carver> MakeWavCarver(Host& host) { return std::make_unique<WavCarver>(host); }
