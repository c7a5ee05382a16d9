#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "carve/formats/common/big_endian.h"
#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/common/next_header.h"
#include "carve/engine/stream_line.h"

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

// The AIFF-C compression types of 64-bit floating point samples.
bool IsDoubleFloat(const uint8_t* type) {
  return std::memcmp(type, "fl64", 4) == 0 || std::memcmp(type, "FL64", 4) == 0;
}

// The AIFF-C compression type at `type`, then its name: a count byte and that
// many bytes, within a common chunk body of `size` bytes.
bool CompressionPossible(const uint8_t* type, int64_t size) {
  if (!IsChunkId(type)) return false;
  return size <= 22 || 23 + int64_t{type[4]} <= size;
}

// How far a chunk walk has come: the chunks met and the bytes of chunks
// other than "SSND" walked.
struct ChunkWalk {
  bool common = false, sound = false, last = false;
  int64_t walked = 0;
};

class AiffCarver : public Carver {
 public:
  explicit AiffCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'F', 0xFF, 'O'}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    input_ = &input;
    // Every later candidate lies closer to the end, so a header that does
    // not fit ends the pass.
    const auto header = input.bytes(candidate, 12);
    if (std::ssize(header) < 12) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (std::memcmp(h, "FORM", 4) != 0) return ProbeResult::Reject;
    const int64_t formSize = Be32(h + 4);
    aifc_ = std::memcmp(h + 8, "AIFC", 4) == 0;
    if (!aifc_ && std::memcmp(h + 8, "AIFF", 4) != 0) return ProbeResult::Reject;
    // The size as the view knows it: a candidate past it ends the pass, and
    // the stream is cut where the input ends.
    size_ = input.knownSize();
    if (candidate + 12 > size_) return ProbeResult::EndPass;
    // The FORM chunk, padded to even length, or up to the end of a last
    // chunk that runs past it.
    int64_t end = candidate + 8 + formSize + (formSize & 1);
    if (!WalkChunks(candidate, candidate + 8 + formSize, end)) return ProbeResult::Reject;
    // One that runs past the end of the input (more than its pad byte) is
    // cut there, or where a later file begins inside it: the walk goes on
    // there.
    const bool truncated = candidate + 8 + formSize > size_;
    end = truncated ? NextHeader(input, candidate + 12, size_, 'F', IsFormAt(input))
                    : std::min(end, size_);
    const CopySpan span{candidate, end - candidate};
    Found found{span, StreamLine(where.number, span, aifc_ ? "AIFC" : "AIFF", "Frames", Facts()),
                Facts()};
    found.truncated = truncated;
    return found;
  }

 private:
  StreamFacts Facts() const {
    return SampledFacts(frames_, rate_, channels_, frames_, soundBytes_);
  }

  // Whether an AIFF or AIFF-C file's header stands at an offset.
  static std::function<bool(int64_t)> IsFormAt(InputView& input) {
    return [&input](int64_t at) {
      const auto h = input.bytes(at, 12);
      return std::ssize(h) >= 12 && std::memcmp(h.data(), "FORM", 4) == 0 &&
             (std::memcmp(h.data() + 8, "AIFF", 4) == 0 ||
              std::memcmp(h.data() + 8, "AIFC", 4) == 0);
    };
  }

  // Walks the chunks of the FORM chunk (its end at `formEnd`) from the first
  // one after its type until it has met one "COMM" and one "SSND" chunk,
  // each whole within it, and checks them. A chunk that runs a little past
  // `formEnd`, whole in the input, is the last one: the stream then ends
  // with it (`end`).
  bool WalkChunks(int64_t candidate, int64_t formEnd, int64_t& end) {
    ChunkWalk walk;
    int64_t at = candidate + 12;
    for (int i = 0; i < kMaxChunks && !(walk.common && walk.sound) && !walk.last; ++i) {
      int64_t size = 0;
      if (!ChunkHeaderAt(at, formEnd, size)) return false;
      if (at + 8 + size > formEnd) {
        if (at + 8 + size > std::min(formEnd + kMaxFormOverrun, size_)) return false;
        walk.last = true;
        end = at + 8 + size;
      }
      if (!TakeChunk(at, size, walk)) return false;
      at += 8 + size + (size & 1);
    }
    return walk.common && walk.sound && SoundFillsFrames();
  }

  // The header of the chunk at `at`, held and within the FORM chunk (its end
  // at `formEnd`), with an id of printable characters; `size` is then the
  // size of its body.
  bool ChunkHeaderAt(int64_t at, int64_t formEnd, int64_t& size) {
    if (at + 8 > formEnd) return false;
    const auto head = input_->bytes(at, 8);
    if (std::ssize(head) < 8 || !IsChunkId(head.data())) return false;
    const uint8_t* c = head.data();
    size = Be32(c + 4);
    return true;
  }

  // The chunk at `at`, whose header is held, with a body of `size` bytes:
  // the one "SSND" and the one "COMM" chunk are checked and taken, the
  // others only counted. False when a second one of those comes, one of
  // them does not hold, or the other chunks walk too far.
  bool TakeChunk(int64_t at, int64_t size, ChunkWalk& walk) {
    const uint8_t* c = input_->bytes(at, 8).data();
    if (std::memcmp(c, "SSND", 4) == 0) {
      if (walk.sound || !TakeSound(at, size)) return false;
      walk.sound = true;
      return true;
    }
    walk.walked += 8 + size;
    if (walk.walked > kMaxChunkWalk) return false;
    if (std::memcmp(c, "COMM", 4) != 0) return true;
    if (walk.common || !TakeCommon(at, size)) return false;
    walk.common = true;
    return true;
  }

  // Stored samples fill as many bytes as the frames need.
  bool SoundFillsFrames() const {
    return !uncompressed_ || soundBytes_ >= frames_ * channels_ * ((sampleSize_ + 7) / 8);
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
    if (!CommonPossible(b + 18)) return false;
    return !aifc_ || CompressionPossible(b + 18, size);
  }

  // The channels, sampling rate and sample size taken are ones a stream has;
  // samples are no wider than 32 bits but for AIFF-C's 64-bit floating point
  // ones (their compression type at `type`).
  bool CommonPossible(const uint8_t* type) const {
    if (channels_ < 1 || channels_ > 256 || rate_ < 1000 || rate_ > 1e6) return false;
    const int64_t widest = aifc_ && IsDoubleFloat(type) ? 64 : 32;
    return sampleSize_ >= 1 && sampleSize_ <= widest;
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
