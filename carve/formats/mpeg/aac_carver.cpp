// AAC in ADTS: chains of frames that share their fixed header.
#include <algorithm>
#include <memory>
#include <string>

#include "carve/formats/mpeg/adts_header.h"
#include "carve/engine/carver.h"
#include "carve/formats/mpeg/frame_chain.h"
#include "carve/engine/host.h"
#include "carve/engine/stream_line.h"

namespace {

// The frames of one chain as the walk meets them. One is kept for all the
// probes of a pass and started anew for each (`taken` 0): most probes end at
// their first header, and clearing the records each time would cost more.
struct AdtsFrames {
  static constexpr int kCheckedBytes = kAdtsCheckedBytes;
  AdtsHeader first{};  // the first frame's header
  AdtsHeader frame{};  // the header examined last
  uint32_t key = 0;    // what every frame shares with the first
  int64_t taken = 0;
  double seconds = 0;

  int64_t lengthAt(const uint8_t* header) {
    if (!DecodeAdtsHeader(header, frame)) return 0;
    // The fixed header stays the same from frame to frame; so does the
    // buffer fullness's mark of variable bit rate.
    const uint32_t frameKey = AdtsStreamKey(header);
    if (taken == 0) {
      first = frame;
      key = frameKey;
    } else if (frameKey != key) {
      return 0;
    }
    return frame.frameLength;
  }
  bool framePossible(const uint8_t* bytes, int64_t avail) const {
    AdtsHeader header{};
    return DecodeAdtsHeader(bytes, header) && AdtsFramePossible(bytes, avail, header);
  }
  void take() {
    seconds += static_cast<double>(frame.samples) / frame.sampleRate;
    ++taken;
  }
};

class AacCarver : public Carver {
 public:
  explicit AacCarver(Host& host) : host_(host) {}

  // 0xFF, then the last sync bits and layer 0.
  Trigger trigger() const override { return {0xFF, 0xF6, 0xF0}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    // One header alone is no evidence of a stream: at least two frames.
    FrameChain chain;
    if (!TakeFrameChain<kAdtsHeaderBytes>(input, candidate, frames_, std::max(host_.MinFrames(), 2),
                                          chain, facts_)) {
      return ProbeResult::Reject;
    }
    first_ = frames_.first;
    facts_.sampleRateHz = first_.sampleRate;
    // Configuration 0 leaves the channels to a program config element.
    facts_.channels = first_.channels > 0 ? first_.channels : -1;
    const CopySpan span{candidate, chain.length};
    return Found{span,
                 StreamLine(where.number, span, AdtsProfileName(first_.profile), "Frames", facts_),
                 facts_};
  }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    // Fewer than two frames: the first header is none, or the next one.
    if (avail >= kAdtsHeaderBytes && !MayBeAdtsHeader(bytes)) return true;
    AdtsFrames frames;
    return ChainShorterThanTwo<kAdtsHeaderBytes>(bytes, avail, frames);
  }

 private:
  Host& host_;
  AdtsFrames frames_;
  AdtsHeader first_{};
  StreamFacts facts_;
};

}  // namespace

std::unique_ptr<Carver> MakeAacCarver(Host& host) { return std::make_unique<AacCarver>(host); }
