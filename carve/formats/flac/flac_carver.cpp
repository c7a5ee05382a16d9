#include <algorithm>
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
#include "carve/formats/flac/flac_crc.h"
#include "carve/formats/flac/flac_frame.h"
#include "carve/formats/mpeg/mpeg_measure.h"

namespace {

// How many metadata blocks, and how many bytes of them, a stream may have
// before its first frame.
constexpr int kMaxMetadataBlocks = 256;
constexpr int64_t kMaxMetadataBytes = 64 << 20;
// How far before a stream an ID3v2 tag is looked for.
constexpr int64_t kId3v2Reach = 16 << 20;

// The most bytes a frame of `header` may take: twice its samples stored
// verbatim (side channels with their extra bit), with the headers.
int64_t FrameBound(const FlacFrameHeader& header, int32_t bits) {
  const int64_t verbatim = (int64_t{header.blockSize} * (bits + 1) + 7) / 8 + 16;
  return kFlacMaxHeaderLength + 2 + 2 * header.channels * verbatim;
}

class FlacCarver : public Carver {
 public:
  explicit FlacCarver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {'f', 0xFF, 'L'}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    const int64_t minFrames = host_.MinFrames();
    input_ = &input;
    // "fLaC", then STREAMINFO: always the first metadata block.
    constexpr int64_t kHead = 8 + kFlacStreamInfoLength;
    // Every later candidate lies closer to the end, so a head that does not
    // fit ends the pass.
    const auto held = input.bytes(candidate, kHead);
    if (std::ssize(held) < kHead) return ProbeResult::EndPass;
    const uint8_t* head = held.data();
    if (std::memcmp(head, "fLaC", 4) != 0 || (head[4] & 0x7F) != 0 ||
        Be24(head + 5) != kFlacStreamInfoLength || !DecodeFlacStreamInfo(head + 8, info_)) {
      return ProbeResult::Reject;
    }
    int64_t pos = candidate + kHead;
    if (!SkipMetadata(candidate, (head[4] & 0x80) != 0, pos)) return ProbeResult::Reject;

    frames_ = 0;
    samples_ = 0;
    const bool complete = WalkFrames(pos);
    if (frames_ == 0 || (!complete && frames_ < minFrames)) return ProbeResult::Reject;

    FindTagBefore(input, candidate);
    previousEnd_ = pos;
    span_ = {candidate, pos - candidate};
    Found found{span_, StreamLine(where.number, span_, "FLAC", "Frames", Facts()), Facts()};
    if (host_.CopyID3v2() && tag_.HasID3v2) found.tagBefore = tag_.ID3v2Size;
    // Fewer samples than STREAMINFO counts: the stream was cut short.
    found.truncated = info_.totalSamples > 0 && !complete;
    return found;
  }

 private:
  // The ID3v2 tag in front of the stream at `candidate` into tag_, when the
  // tags are copied: looked for between this pass's previous stream and this
  // one (a pass reads each byte at most once more).
  void FindTagBefore(InputView& input, int64_t candidate) {
    tag_ = {};
    if (!host_.CopyID3v2()) return;
    FindFullId3v2(input, std::max(previousEnd_, candidate - kId3v2Reach), candidate, tag_);
    if (tag_.HasID3v2 && InChunk(input, candidate - tag_.ID3v2Size, tag_.ID3v2Size)) tag_ = {};
  }

  StreamFacts Facts() const {
    return SampledFacts(frames_, info_.sampleRate, info_.channels, samples_, span_.length);
  }

  // Walks the metadata blocks after STREAMINFO up to the last one; `pos` is
  // then the first frame's offset. False when a block is no metadata block
  // or the walk goes further than any stream's.
  bool SkipMetadata(int64_t candidate, bool last, int64_t& pos) {
    for (int blocks = 1; !last; ++blocks) {
      if (blocks >= kMaxMetadataBlocks || pos - candidate > kMaxMetadataBytes) return false;
      const auto held = input_->bytes(pos, 4);
      if (std::ssize(held) < 4) return false;
      const uint8_t* b = held.data();
      const int type = b[0] & 0x7F;
      const int64_t length = Be24(b + 1);
      // A second STREAMINFO and type 127 are invalid; a seek table is made
      // of 18-byte points.
      if (type == 0 || type == 127 || (type == 3 && length % 18 != 0)) return false;
      last = (b[0] & 0x80) != 0;
      pos += 4 + length;
    }
    return true;
  }

  // Walks the frames from `pos` while each is one the stream goes on with:
  // a valid header that agrees with STREAMINFO and numbers on from the
  // frame before, subframes that end where its CRC-16 matches. Counts them
  // in frames_ and samples_ and leaves `pos` after the last one. True when
  // the walk reached the total STREAMINFO gives.
  bool WalkFrames(int64_t& pos) {
    bool variable = false;
    for (;;) {
      if (ReachedTotal()) return true;
      FlacFrameHeader h;
      const auto held = input_->bytes(pos, kFlacMaxHeaderLength);
      if (!DecodeFlacFrameHeader(held.data(), std::ssize(held), h)) return false;
      if (frames_ == 0) variable = h.variableBlockSize;
      if (!GoesOn(h, variable)) return false;
      const int64_t bound = FrameBound(h, info_.bitsPerSample);
      int64_t length = 0;
      if (!MeasureFrame(pos, h, bound, length)) return false;
      if (FlacCrc16(input_->bytes(pos, length).data(), static_cast<size_t>(length)) != 0) {
        return false;
      }
      ++frames_;
      samples_ += h.blockSize;
      pos += length;
      // Only the last frame may be shorter than the shortest block.
      if (h.blockSize < info_.minBlockSize) return ReachedTotal();
    }
  }

  // The frames walked hold the samples of the total STREAMINFO gives.
  bool ReachedTotal() const { return info_.totalSamples > 0 && samples_ >= info_.totalSamples; }

  // The frame header `h` agrees with STREAMINFO and with the stream's
  // blocking strategy (`variable`), and numbers on from the frame before: by
  // samples when the block size varies, else by frames.
  bool GoesOn(const FlacFrameHeader& h, bool variable) const {
    if (h.variableBlockSize != variable || h.channels != info_.channels) return false;
    if (h.sampleRate != 0 && h.sampleRate != info_.sampleRate) return false;
    if (h.bitsPerSample != 0 && h.bitsPerSample != info_.bitsPerSample) return false;
    return h.blockSize <= info_.maxBlockSize && h.number == (variable ? samples_ : frames_);
  }

  // True when the tag of `length` bytes at `at` is the body of an "ID3 " or
  // "id3 " chunk (AIFF's, which may end right where a stream begins): the
  // 8 bytes before it are that chunk's id and a size that covers it.
  static bool InChunk(InputView& input, int64_t at, int64_t length) {
    uint8_t c[8];
    if (at < 8) return false;
    if (input.read(at - 8, c, 8) < 8) return false;
    return (std::memcmp(c, "ID3 ", 4) == 0 || std::memcmp(c, "id3 ", 4) == 0) &&
           Be32(c + 4) >= length;
  }

  // The length of the frame at `pos`, read in growing pieces up to `bound`.
  bool MeasureFrame(int64_t pos, const FlacFrameHeader& h, int64_t bound, int64_t& length) {
    for (int64_t want = std::min<int64_t>(bound, 8192);; want = std::min(bound, want * 4)) {
      const auto bytes = input_->bytes(pos, want);
      const int64_t held = std::ssize(bytes);
      const FlacFrameWalk walk =
          WalkFlacFrame(bytes.data(), std::min(held, bound), h, info_.bitsPerSample, length);
      if (walk == FlacFrameWalk::Done) return true;
      if (walk == FlacFrameWalk::Invalid || held < want || want >= bound) return false;
    }
  }

  Host& host_;
  InputView* input_ = nullptr;  // the probe's
  FlacStreamInfo info_;
  int64_t frames_ = 0, samples_ = 0;
  CopySpan span_;
  TStreamInfo tag_{};
  int64_t previousEnd_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeFlacCarver(Host& host) { return std::make_unique<FlacCarver>(host); }
