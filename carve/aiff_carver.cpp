#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "carve/big_endian.h"
#include "carve/carver.h"
#include "carve/host.h"
#include "carve/input_view.h"
#include "carve/stream_line.h"

namespace {

// How far the chunk walk goes looking for the "COMM" and "SSND" chunks: so
// many chunks, and so many bytes of chunks other than "SSND".
constexpr int kMaxChunks = 64;
constexpr int64_t kMaxChunkWalk = 1 << 20;
// How far the last chunk may run past the end of the FORM chunk: writers
// that miscount the FORM size leave it short by a pad byte or a field of a
// chunk header (2 bytes is common); a chunk header's 8 bytes cover those, and
// are far too few to take in the chunks of anything that follows.
constexpr int64_t kMaxFormOverrun = 8;

// A sampling rate as an 80-bit IEEE extended number: sign, 15-bit exponent,
// 64-bit mantissa with its integer bit. -1 when negative or not normalized.
double Extended80(const uint8_t* p) {
  const uint64_t mantissa = Be64(p + 2);
  if ((p[0] & 0x80) != 0 || (mantissa >> 63) == 0) return -1;
  const int exponent = static_cast<int>(Be16(p) & 0x7FFF);
  return std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
}

bool IsChunkId(const uint8_t* id) {
  return std::all_of(id, id + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

// The AIFF-C compression types whose samples are stored whole, each in as
// many bytes as its sample size needs.
bool IsUncompressed(const uint8_t* type) {
  for (const char* t :
       {"NONE", "sowt", "twos", "raw ", "in24", "in32", "fl32", "FL32", "fl64", "FL64"}) {
    if (std::memcmp(type, t, 4) == 0) return true;
  }
  return false;
}

class AiffCarver : public Carver {
 public:
  explicit AiffCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'F', 0xFF, 'O'}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    input_ = &input;
    // The size as it is now: the input may have shrunk under the walk.
    size_ = input.size();
    // Every later candidate lies closer to the end, so a header that does
    // not fit ends the pass.
    if (candidate + 12 > size_) return ProbeResult::EndPass;
    const auto header = input.bytes(candidate, 12);
    if (std::ssize(header) < 12) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (std::memcmp(h, "FORM", 4) != 0) return ProbeResult::Reject;
    const int64_t formSize = Be32(h + 4);
    aifc_ = std::memcmp(h + 8, "AIFC", 4) == 0;
    if (!aifc_ && std::memcmp(h + 8, "AIFF", 4) != 0) return ProbeResult::Reject;
    // The FORM chunk, padded to even length, or up to the end of a last
    // chunk that runs past it; cut where the input ends.
    int64_t end = candidate + 8 + formSize + (formSize & 1);
    if (!WalkChunks(candidate, candidate + 8 + formSize, end)) return ProbeResult::Reject;
    const CopySpan span{candidate, std::min(end, size_) - candidate};
    return Found{span, StreamLine(where.number, span, aifc_ ? "AIFC" : "AIFF", "Frames", Facts()),
                 Facts()};
  }

 private:
  StreamFacts Facts() const {
    StreamFacts f;
    f.frames = frames_;
    f.sampleRateHz = std::llround(rate_);
    f.channels = channels_;
    f.seconds = static_cast<double>(frames_) / rate_;
    f.bitrateKbps =
        frames_ > 0 ? std::llround(static_cast<double>(soundBytes_) * 8 / f.seconds / 1000) : 0;
    return f;
  }

  // Walks the chunks of the FORM chunk (its end at `formEnd`) from the first
  // one after its type until it has met one "COMM" and one "SSND" chunk,
  // each whole within it, and checks them. A chunk that runs a little past
  // `formEnd`, whole in the input, is the last one: the stream then ends
  // with it (`end`).
  bool WalkChunks(int64_t candidate, int64_t formEnd, int64_t& end) {
    bool common = false, sound = false, last = false;
    int64_t walked = 0;
    int64_t at = candidate + 12;
    for (int i = 0; i < kMaxChunks && !(common && sound) && !last; ++i) {
      if (at + 8 > formEnd) return false;
      const auto head = input_->bytes(at, 8);
      if (std::ssize(head) < 8 || !IsChunkId(head.data())) return false;
      const uint8_t* c = head.data();
      const int64_t size = Be32(c + 4);
      if (at + 8 + size > formEnd) {
        if (at + 8 + size > std::min(formEnd + kMaxFormOverrun, size_)) return false;
        last = true;
        end = at + 8 + size;
      }
      if (std::memcmp(c, "SSND", 4) == 0) {
        if (sound || !TakeSound(at, size)) return false;
        sound = true;
      } else {
        walked += 8 + size;
        if (walked > kMaxChunkWalk) return false;
        if (std::memcmp(c, "COMM", 4) == 0) {
          if (common || !TakeCommon(at, size)) return false;
          common = true;
        }
      }
      at += 8 + size + (size & 1);
    }
    if (!common || !sound) return false;
    // Stored samples fill as many bytes as the frames need.
    if (uncompressed_ && soundBytes_ < frames_ * channels_ * ((sampleSize_ + 7) / 8)) return false;
    return true;
  }

  // The common chunk at `at` with a body of `size` bytes: channels, sample
  // frames, sample size, sampling rate, and for AIFF-C the compression type
  // and its name.
  bool TakeCommon(int64_t at, int64_t size) {
    const int64_t need = aifc_ ? 22 : 18;
    if (size < need) return false;
    const auto chunk = input_->bytes(at, 8 + need + 1);
    if (std::ssize(chunk) < 8 + need) return false;
    const uint8_t* b = chunk.data() + 8;
    channels_ = static_cast<int16_t>(Be16(b));
    frames_ = Be32(b + 2);
    sampleSize_ = static_cast<int16_t>(Be16(b + 6));
    rate_ = Extended80(b + 8);
    uncompressed_ = !aifc_ || IsUncompressed(b + 18);
    if (channels_ < 1 || channels_ > 256 || rate_ < 1000 || rate_ > 1e6) return false;
    const bool wide =
        aifc_ && (std::memcmp(b + 18, "fl64", 4) == 0 || std::memcmp(b + 18, "FL64", 4) == 0);
    if (sampleSize_ < 1 || sampleSize_ > (wide ? 64 : 32)) return false;
    if (aifc_) {
      if (!IsChunkId(b + 18)) return false;
      // The name: a count byte and that many bytes, within the chunk.
      if (size > 22 && 23 + int64_t{b[22]} > size) return false;
    }
    return true;
  }

  // The sound data chunk at `at`: an offset and a block size, then the
  // samples from that offset on.
  bool TakeSound(int64_t at, int64_t size) {
    if (size < 8) return false;
    const auto chunk = input_->bytes(at, 16);
    if (std::ssize(chunk) < 16) return false;
    const int64_t offset = Be32(chunk.data() + 8);
    if (offset > size - 8) return false;
    soundBytes_ = size - 8 - offset;
    return true;
  }

  InputView* input_ = nullptr;  // the probe's
  int64_t size_ = 0;
  bool aifc_ = false;
  int64_t channels_ = 0, frames_ = 0, sampleSize_ = 0;
  double rate_ = 0;
  bool uncompressed_ = true;
  int64_t soundBytes_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeAiffCarver(Host& host) { return std::make_unique<AiffCarver>(host); }
