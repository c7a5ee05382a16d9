// MPEG audio Layer I and Layer II: chains of consistent frames, under the
// same change options as Layer III.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/formats/mpeg/frame_chain.h"
#include "carve/engine/host.h"
#include "carve/formats/mpeg/mpeg_layer12.h"
#include "carve/formats/mpeg/mpeg_measure.h"
#include "carve/engine/stream_line.h"

namespace {

constexpr uint8_t kStereo = 0, kJointStereo = 1, kMono = 3;

// The frames of one chain as the walk meets them. One is kept for all the
// probes of a pass and started anew for each (`taken` 0): most probes end at
// their first header, and clearing the records each time would cost more.
struct Layer12Frames {
  static constexpr int kCheckedBytes = kLayer12CheckedBytes;
  explicit Layer12Frames(Host& h) : host(h) {}

  Host& host;
  TStreamInfo first{};  // the format of the first frame
  TFrameInfo frame{};   // the frame examined last
  int64_t taken = 0;
  double seconds = 0;

  int64_t lengthAt(const uint8_t* header) {
    if (!DecodeLayer12Header(header, frame)) return 0;
    // Encoders choose joint stereo or plain stereo frame by frame (twolame
    // does), so the change option takes the two as one channel mode.
    TFrameInfo compared = frame;
    if (compared.ChannelMode == kJointStereo) compared.ChannelMode = kStereo;
    if (taken == 0) {
      TakeFirstFrameFormat(compared, first);
    } else if (EndsMpegRun(host, first, compared)) {
      return 0;
    }
    return frame.FrameLength;
  }
  bool framePossible(const uint8_t* bytes, int64_t avail) {
    TFrameInfo info{};
    return DecodeLayer12Header(bytes, info) && Layer12FramePossible(bytes, avail, info, &sounds);
  }
  void take() {
    seconds += static_cast<double>(Layer12Samples(frame.Layer)) / frame.SampleRate;
    if (taken == 0) {
      anySound = false;
      silentLengths.clear();
    }
    anySound = anySound || sounds;
    if (!anySound) silentLengths.push_back(frame.FrameLength);
    ++taken;
  }
  bool sounds = false;                 // the frame checked last allocates a subband
  bool anySound = false;               // a frame taken does
  std::vector<int32_t> silentLengths;  // of the frames taken, while none sounds
};

class Mp2Carver : public Carver {
 public:
  explicit Mp2Carver(Host& host) : host_(host), frames_(host) {}

  // 0xFF, then the last sync bits, MPEG-1 or MPEG-2, Layer I or II.
  Trigger trigger() const override { return {0xFF, 0xF4, 0xF4}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    while (silentNext_ < silentStarts_.size() && silentStarts_[silentNext_] < candidate) {
      ++silentNext_;
    }
    if (silentNext_ < silentStarts_.size() && silentStarts_[silentNext_] == candidate) {
      return ProbeResult::Reject;
    }
    // One header alone is no evidence of a stream: at least two frames.
    FrameChain chain;
    if (!TakeFrameChain<4>(input, candidate, frames_, std::max(host_.MinFrames(), 2), chain,
                           facts_)) {
      return ProbeResult::Reject;
    }
    // Frames that allocate no subband at all are silence, and as such as
    // often runs of zeros after four bytes that look like a header: a chain
    // counts when one of its frames has samples.
    if (!frames_.anySound) {
      RememberSilentChain(candidate);
      return ProbeResult::Reject;
    }
    first_ = frames_.first;
    facts_.sampleRateHz = first_.SampleRate;
    facts_.channels = first_.ChannelMode == kMono ? 1 : 2;
    char format[32];
    std::snprintf(format, sizeof format, "mpeg%.1flayer%d", first_.MpegVersion / 10.0,
                  static_cast<int>(first_.Layer));
    const CopySpan span{candidate, chain.length};
    return Found{span, StreamLine(where.number, span, format, "Frames", facts_), facts_};
  }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    // Fewer than two frames: the first header is none, or the next one.
    if (avail >= 4 && !MayBeLayer12Header(bytes)) return true;
    Layer12Frames frames(host_);
    return ChainShorterThanTwo<4>(bytes, avail, frames);
  }

 private:
  // A later candidate at a frame of a silent chain starts the rest of that
  // chain, silent too: it is refused without a walk, so that a long run of
  // silent frames is not walked again from each of its frames.
  void RememberSilentChain(int64_t start) {
    silentStarts_.clear();
    silentNext_ = 0;
    for (const int32_t length : frames_.silentLengths) {
      start += length;
      silentStarts_.push_back(start);
    }
  }

  Host& host_;
  Layer12Frames frames_;
  TStreamInfo first_{};
  StreamFacts facts_;
  std::vector<int64_t> silentStarts_;  // of the frames after the first
  size_t silentNext_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeMp2Carver(Host& host) { return std::make_unique<Mp2Carver>(host); }
