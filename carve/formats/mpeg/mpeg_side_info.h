// The side information of a Layer III frame, as far as it tells whether the
// frame can be a real one: how far back its main data begins (the bit
// reservoir) and how many bits its granules take.
#pragma once

#include <cstdint>

#include "carve/formats/mpeg/mpeg_header.h"

// The bytes of a frame that ReadSideInfo() looks at, header included.
constexpr int kSideInfoReach = 4 + 2 + 32;

struct SideInfo {
  int64_t mainDataBegin = 0;  // bytes before the frame's own main data
  int64_t mainDataBits = 0;   // the bits of its granules' main data
  int64_t ownBytes = 0;       // the main data bytes the frame itself holds
  bool bigValuesFit = true;   // every granule's big values within 288 pairs
};

// Reads the side information of the frame `frame` whose first `avail` bytes
// are `bytes`; false when they do not hold it.
bool ReadSideInfo(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame, SideInfo& info);

// Follows the bit reservoir of a run of Layer III frames: each frame's main
// data must begin within the main data of the run's earlier frames (the
// first frame's may reach before the run) and end within its own frame, and
// no granule may hold more than 288 pairs of big values. Encoders never
// write otherwise; code and tables in programs, whose bytes repeat a frame
// header now and then, nearly always do.
class ReservoirCheck {
 public:
  // Whether the frame fits the run so far; a frame that fits is taken.
  bool take(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame);

 private:
  int64_t held_ = 0;  // main data bytes of the run's frames so far
  bool first_ = true;
};
