#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/common/big_endian.h"
#include "carve/formats/cri/hca_id.h"

namespace {

// The CRC-16 of HCA headers and frames: polynomial 0x8005, first bit the
// highest, starting from 0, no final xor. A header or frame whose last two
// bytes hold its CRC has the CRC 0 over all its bytes.
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
    table[i] = static_cast<uint16_t>(c);
  }
  return table;
}
constexpr std::array<uint16_t, 256> kCrc16 = MakeCrc16Table();

// The CRC is linear: that of bytes A then B is that of A times x^(8|B|)
// plus that of B, all modulo the polynomial. So the CRC of any range follows
// from the CRCs of the input's bytes up to its start and up to its end.
uint16_t TimesX(uint16_t a) { return static_cast<uint16_t>(a << 1 ^ (a & 0x8000 ? 0x8005 : 0)); }

uint16_t MulMod(uint16_t a, uint16_t b) {
  uint16_t r = 0;
  for (int bit = 15; bit >= 0; --bit)
    r = static_cast<uint16_t>(TimesX(r) ^ ((b >> bit) & 1 ? a : 0));
  return r;
}

// x^(8 * 2^k) modulo the polynomial, for k from 0.
constexpr int kPowers = 40;
std::array<uint16_t, kPowers> MakePowers() {
  std::array<uint16_t, kPowers> p{};
  p[0] = 0x0100;  // x^8
  for (int k = 1; k < kPowers; ++k) p[k] = MulMod(p[k - 1], p[k - 1]);
  return p;
}
const std::array<uint16_t, kPowers> kPowersOfX = MakePowers();

// `crc` as the CRC of bytes followed by `count` more bytes of zeros.
uint16_t Shift(uint16_t crc, int64_t count) {
  for (int k = 0; count > 0; ++k, count >>= 1) {
    if (count & 1) crc = MulMod(crc, kPowersOfX[k]);
  }
  return crc;
}

// The CRCs of ranges of one input whose starts go forward, each byte taken
// once: the CRC of the bytes from where it began up to each offset from
// base_ on, over at most kMostHeld offsets.
class RangeCrc {
 public:
  // The CRC of the bytes [from, to); -1 when the input ends before `to`.
  int32_t of(InputView& input, int64_t from, int64_t to) {
    if (prefix_.empty() || from < base_ || from > base_ + std::ssize(prefix_) - 1) {
      base_ = from;
      prefix_.assign(1, 0);
    }
    for (int64_t at = base_ + std::ssize(prefix_) - 1; at < to;) {
      const auto b = input.bytes(at, std::min<int64_t>(to - at, kPiece));
      const int64_t n = std::min<int64_t>(std::ssize(b), to - at);
      if (n <= 0) return -1;
      unsigned crc = prefix_.back();
      for (int64_t i = 0; i < n; ++i) {
        crc = (crc << 8 & 0xFF00) ^ kCrc16[(crc >> 8) ^ b[i]];
        prefix_.push_back(static_cast<uint16_t>(crc));
      }
      at += n;
    }
    const uint16_t crc = prefix_[to - base_] ^ Shift(prefix_[from - base_], to - from);
    if (std::ssize(prefix_) > kMostHeld) forgetBefore(from);
    return crc;
  }
  // No range asked from now on starts before `pos`.
  void forgetBefore(int64_t pos) {
    const int64_t drop = std::min(pos - base_, std::ssize(prefix_) - 1);
    if (drop <= 0 || drop < std::ssize(prefix_) / 2) return;
    prefix_.erase(prefix_.begin(), prefix_.begin() + drop);
    base_ += drop;
  }

 private:
  static constexpr int64_t kPiece = 64 * 1024, kMostHeld = 4 * 1024 * 1024;
  int64_t base_ = 0;
  std::vector<uint16_t> prefix_;
};

// Where the header's fixed part is: signature, version, header size, then
// the "fmt" chunk (channels, sampling rate, frame count, two 16-bit counts
// of samples the encoder added) and the "comp" or "dec" chunk.
constexpr int64_t kSignatureToVersion = 3;  // the trigger is the signature's last byte
constexpr int64_t kLeastHeader = 8 + 16 + 12 + 2;
constexpr int64_t kMostHeader = 0x1000;
constexpr int64_t kSamplesPerFrame = 1024;

// The version as stored (major, minor): 1.1, 1.2, 1.3, 2.0 or 3.0, those
// CRI's encoders have written.
bool KnownVersion(uint32_t v) { return (v >= 0x0101 && v <= 0x0103) || v == 0x0200 || v == 0x0300; }

// What the header says of the stream.
struct HcaHeader {
  int64_t channels = 0, rate = 0, frames = 0, frameSize = 0;
};

// The bytes after its id of the "ath", "ciph" or "loop" chunk at `c`
// (`room` bytes up to the CRC): a known ATH table and cipher, a loop within
// the frames. -1 when it is none of them or its fields do not hold.
int64_t FieldChunkBody(const uint8_t* c, int64_t room, int64_t frames) {
  if (room < 6) return -1;
  const uint32_t type = Be16(c + 4);
  if (IsHcaId(c, "ath\0")) return type <= 1 ? 2 : -1;
  if (IsHcaId(c, "ciph")) return type == 0 || type == 1 || type == 56 ? 2 : -1;
  if (!IsHcaId(c, "loop") || room < 12) return -1;
  return Be32(c + 4) <= Be32(c + 8) && Be32(c + 8) < frames ? 12 : -1;
}

// The bytes after its id of the optional chunk at `c`, -1 when it is
// unknown or malformed; 0 for "pad": padding up to the CRC.
int64_t ChunkBody(const uint8_t* c, int64_t room, int64_t frames) {
  if (IsHcaId(c, "pad\0")) return 0;
  if (IsHcaId(c, "vbr\0") || IsHcaId(c, "rva\0")) return 4;
  if (IsHcaId(c, "comm")) return room >= 5 ? 1 + c[4] : -1;
  return FieldChunkBody(c, room, frames);
}

// The optional chunks from `at` on up to the CRC at `end`: false when one
// is unknown, malformed, or runs past the CRC.
bool WalkOptionalChunks(const uint8_t* h, int64_t at, int64_t end, int64_t frames) {
  while (at + 4 <= end) {
    const int64_t body = ChunkBody(h + at, end - at, frames);
    if (body == 0) return true;
    if (body < 0 || at + 4 + body > end) return false;
    at += 4 + body;
  }
  return at == end;
}

// The "comp" chunk's fields: resolutions, track count, channel layout,
// total, base and stereo bands, bands of a high-frequency group.
bool CompPossible(const uint8_t* c) {
  return c[6] <= c[7] && c[7] <= 15 && c[10] <= 128 && c[11] <= c[10] && c[11] + c[12] <= c[10];
}

// The header of `size` bytes at `h` (its CRC checked apart), or false.
bool ReadHeader(const uint8_t* h, int64_t size, HcaHeader& out) {
  if (!IsHcaId(h + 8, "fmt\0")) return false;
  out.channels = h[12];
  out.rate = Be24(h + 13);
  out.frames = Be32(h + 16);
  const uint8_t* c = h + 24;
  if (out.channels < 1 || out.channels > 16 || out.rate < 1000 || out.rate > 192000) return false;
  out.frameSize = Be16(c + 4);
  const bool comp = IsHcaId(c, "comp");
  if (!(comp && CompPossible(c)) && !IsHcaId(c, "dec\0")) return false;
  // A frame: its sync word, at least one bit a channel, its CRC.
  if (out.frameSize < 8 || out.frames < 1) return false;
  return WalkOptionalChunks(h, comp ? 24 + 16 : 24 + 12, size - 2, out.frames);
}

class HcaCarver : public Carver {
 public:
  explicit HcaCarver(Host& host) : host_(host) {}

  // The signature's last byte, 0 whether masked or not, then the version's
  // major number: 2 or 3; or 1. Each is a trigger of its own, as one of
  // majors 0 to 3 would make every pair of zero bytes a candidate.
  Trigger trigger() const override { return {0x00, 0xFE, 0x02}; }
  std::vector<Trigger> triggers() const override { return {trigger(), {0x00, 0xFF, 0x01}}; }

  bool ruledOut(const uint8_t* b, int64_t avail) override {
    if (avail < 9) return false;
    const uint32_t headerSize = Be16(b + 3);
    return !KnownVersion(Be16(b + 1)) || headerSize < kLeastHeader || headerSize > kMostHeader ||
           !IsHcaId(b + 5, "fmt\0");
  }

  // No stream starts before the end of the last one: the candidate lies that
  // far after its start.
  int64_t acceptedReach() const override { return kSignatureToVersion; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t start = where.offset - kSignatureToVersion;
    if (start < lastEnd_) return ProbeResult::Reject;
    auto head = input.bytes(start, 8);
    if (std::ssize(head) < 8) return ProbeResult::EndPass;
    if (!IsHcaId(head.data(), "HCA\0") || !KnownVersion(Be16(head.data() + 4))) {
      return ProbeResult::Reject;
    }
    const int64_t headerSize = Be16(head.data() + 6);
    if (headerSize < kLeastHeader || headerSize > kMostHeader) return ProbeResult::Reject;
    head = input.bytes(start, headerSize);
    HcaHeader h;
    if (std::ssize(head) < headerSize || !ReadHeader(head.data(), headerSize, h)) {
      return ProbeResult::Reject;
    }
    crc_.forgetBefore(start);
    // The frames a stream needs whole, each with its sync word, before any
    // CRC; then every frame whole, with its sync word and its CRC: a frame
    // that fails or the end of the input ends the stream there.
    const int64_t least = std::min<int64_t>(h.frames, host_.MinFrames());
    if (!SyncWords(input, start + headerSize, h.frameSize, least) ||
        crc_.of(input, start, start + headerSize) != 0) {
      return ProbeResult::Reject;
    }
    const int64_t held = WholeFrames(input, start + headerSize, h);
    if (held < least) return ProbeResult::Reject;
    const CopySpan span{start, headerSize + held * h.frameSize};
    lastEnd_ = span.start + span.length;
    StreamFacts f;
    f.frames = held;
    f.sampleRateHz = h.rate;
    f.channels = h.channels;
    f.seconds = static_cast<double>(held * kSamplesPerFrame) / static_cast<double>(h.rate);
    f.bitrateKbps = std::llround(static_cast<double>(h.frameSize * 8 * h.rate) /
                                 static_cast<double>(kSamplesPerFrame) / 1000.0);
    Found found{span, StreamLine(where.number, span, "HCA", "Frames", f), f};
    found.truncated = held < h.frames;
    return found;
  }

 private:
  // The sync word 0xFFFF is stored as it is also in encrypted files: their
  // byte tables keep 0xFF.
  static bool SyncAt(InputView& input, int64_t at) {
    const auto sync = input.bytes(at, 2);
    return std::ssize(sync) >= 2 && Be16(sync.data()) == 0xFFFF;
  }

  // The `count` frames of `size` bytes from `at` on lie in the input, each
  // opening with its sync word.
  static bool SyncWords(InputView& input, int64_t at, int64_t size, int64_t count) {
    if (count > (input.knownSize() - at) / size) return false;
    for (int64_t n = 0; n < count; ++n) {
      if (!SyncAt(input, at + n * size)) return false;
    }
    return true;
  }

  // How many frames from `at` on are whole and sound, up to the header's
  // count.
  int64_t WholeFrames(InputView& input, int64_t at, const HcaHeader& h) {
    int64_t n = 0;
    for (; n < h.frames; ++n, at += h.frameSize) {
      if (!SyncAt(input, at) || crc_.of(input, at, at + h.frameSize) != 0) break;
    }
    return n;
  }

  Host& host_;
  RangeCrc crc_;
  int64_t lastEnd_ = 0;  // where the last stream ended: no stream starts before it
};

}  // namespace

std::unique_ptr<Carver> MakeHcaCarver(Host& host) { return std::make_unique<HcaCarver>(host); }
