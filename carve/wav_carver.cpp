#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "carve/carvers.h"
#include "carve/extract.h"
#include "carve/scan_pass.h"
#include "output/naming.h"
#include "platform/file.h"

namespace {

class WavCarver : public Carver {
 public:
  Trigger trigger() const override { return {0x52, 0xFF, 0x49}; }  // "R", "I"
  const char* openingText() const override { return "からWavファイルを探しますっ！"; }
  const char* kindName() const override { return "wav"; }
  bool progressPerProbe() const override { return false; }

  ProbeResult probe(File& input, int64_t candidate, CopySpan& span) override {
    // The RIFF header and, when the input holds it, the start of the format
    // chunk, which comes first: its size, format tag, channels, sample rate
    // and byte rate.
    uint8_t header[32];
    const int64_t got = input.read(header, sizeof header);
    // Every later candidate lies even closer to the end, so a header that
    // does not fit ends the pass.
    if (got < 16) return ProbeResult::EndPass;
    if (std::memcmp(header + 2, "FF", 2) != 0 || std::memcmp(header + 8, "WAVEfmt", 7) != 0) {
      return ProbeResult::Reject;
    }
    const uint32_t size = LittleEndian32(header + 4);
    // The RIFF chunk with its 8-byte header. Computed wide, so that no size
    // field wraps the length to nothing: the walk always moves past the
    // candidate.
    length_ = static_cast<int64_t>(size) + 8;
    span = {candidate, length_};
    facts_ = {};
    if (got == static_cast<int64_t>(sizeof header)) {
      facts_.sampleRateHz = LittleEndian32(header + 24);
      facts_.bitrateKbps = int64_t{LittleEndian32(header + 28)} * 8 / 1000;
    }
    return ProbeResult::Accept;
  }

  std::string streamLine(int64_t number, int64_t candidate) override {
    char line[128];
    std::snprintf(line, sizeof line, "[%3.3lld($%8.8llX-$%8.8llX)] RIFF Wav",
                  static_cast<long long>(number), static_cast<long long>(candidate),
                  static_cast<long long>(candidate + length_ - 1));
    return line;
  }

  std::string outputName(const std::string& pattern, const std::string& input,
                         int64_t number) override {
    return ExpandOutputName(ReplaceLastThree(pattern, "wav"), ExtractBaseName(input), number,
                            "mp3");
  }

  StreamFacts facts() const override { return facts_; }

 private:
  static uint32_t LittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  }

  int64_t length_ = 0;
  StreamFacts facts_;
};

}  // namespace

std::unique_ptr<Carver> MakeWavCarver(Host& /*host*/) { return std::make_unique<WavCarver>(); }

int64_t ExtractWav(Host& host, const std::string& input, const std::string& pattern) {
  return RunScanPass(host, *MakeWavCarver(host), input, pattern);
}
