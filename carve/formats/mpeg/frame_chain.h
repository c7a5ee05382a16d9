// Chains of frames that follow one another without a gap, each header giving
// its frame's length: the walk the MPEG Layer I/II and ADTS carvers share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "carve/engine/carver.h"
#include "carve/engine/input_view.h"

struct FrameChain {
  int64_t frames = 0;
  int64_t length = 0;  // from the first frame's start to the end of the last one
};

// Walks the chain that starts at `start`. At each frame start,
// `frames.lengthAt(header)` is given the kHeaderBytes bytes found there and
// returns the length of the frame that begins with them, or 0 when no frame
// of the chain does; then `frames.framePossible(bytes, avail)` is given up to
// Frames::kCheckedBytes bytes from there, `avail` of them, and is false when
// they show the frame breaks the rules of its format (true when they cannot
// tell); and `frames.take()` tells that this frame counts. A frame counts
// only when the input holds it whole, so the chain never reaches past the
// input's end.
template <int kHeaderBytes, typename Frames>
FrameChain WalkFrameChain(InputView& input, int64_t start, Frames& frames) {
  constexpr int kChecked = Frames::kCheckedBytes;
  static_assert(kHeaderBytes > 0 && kChecked >= kHeaderBytes);
  FrameChain chain;
  // The last byte of a frame and the header of the next come in one read;
  // the rest of the bytes checked, as far as the frame goes, in another.
  uint8_t bytes[kChecked + 1];
  int64_t got = input.read(start, bytes + 1, kHeaderBytes);
  while (got == kHeaderBytes) {
    const uint8_t* frame = bytes + 1;
    const int64_t length = frames.lengthAt(frame);
    if (length <= 0) break;
    const int64_t more = std::min<int64_t>(length, kChecked) - kHeaderBytes;
    if (more > 0)
      got += input.read(start + chain.length + kHeaderBytes, bytes + 1 + kHeaderBytes, more);
    if (!frames.framePossible(frame, got)) break;
    got = input.read(start + chain.length + length - 1, bytes, kHeaderBytes + 1) - 1;
    if (got < 0) break;  // the frame runs past the end of the input
    frames.take();
    ++chain.frames;
    chain.length += length;
  }
  return chain;
}

// Walks the chain as WalkFrameChain() does, with `frames` started anew
// (none taken, no seconds). On a chain of at least `minFrames`, returns
// true, with `facts` anew: the frames, the seconds the frames' take() added
// up, and the average bit rate over the chain's length.
template <int kHeaderBytes, typename Frames>
bool TakeFrameChain(InputView& input, int64_t start, Frames& frames, int64_t minFrames,
                    FrameChain& chain, StreamFacts& facts) {
  frames.taken = 0;
  frames.seconds = 0;
  chain = WalkFrameChain<kHeaderBytes>(input, start, frames);
  if (chain.frames < minFrames) return false;
  facts = {};
  facts.frames = chain.frames;
  facts.seconds = frames.seconds;
  facts.bitrateKbps = std::llround(static_cast<double>(chain.length) * 8 / frames.seconds / 1000);
  return true;
}

// True when the first `avail` bytes of a chain at `bytes` show that
// WalkFrameChain() there would count fewer than two frames: the first header
// is none, or the one after it, or either frame breaks its rules; false when
// they do not tell. `frames` is fresh (none taken).
template <int kHeaderBytes, typename Frames>
bool ChainShorterThanTwo(const uint8_t* bytes, int64_t avail, Frames& frames) {
  if (avail < kHeaderBytes) return false;
  const int64_t length = frames.lengthAt(bytes);
  if (length <= 0) return true;
  // The headers first: they rule out more for less.
  if (length + kHeaderBytes <= avail) {
    ++frames.taken;
    if (frames.lengthAt(bytes + length) <= 0) return true;
    if (!frames.framePossible(bytes + length, avail - length)) return true;
  }
  return !frames.framePossible(bytes, avail);
}
