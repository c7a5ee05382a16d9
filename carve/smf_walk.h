// Standard MIDI files: a header chunk ("MThd", length 6: format, track
// count, division) and exactly that many track chunks ("MTrk"), whose events
// each run to an End of Track meta event at the very end of their chunk.
#pragma once

#include <cstdint>

class InputView;

// Whether the 14 bytes at `h` are a header chunk a writer makes: length 6,
// format 0 (one track), 1 or 2, at least one track, a division of ticks per
// quarter note or of SMPTE frames (24, 25, 29 or 30 a second) and ticks.
bool SmfHeaderPlausible(const uint8_t* h);

// Measures the files of one pass, whose headers come in ascending offsets.
class SmfWalk {
 public:
  // The end of the whole file whose header is at `at`; -1 when there is
  // none: a track is not whole in the input, is not a track, or its events
  // do not end as they must, or one more track follows. No file begins inside the tracks of one
  // measured before (a header there is a track's data).
  int64_t measure(InputView& input, int64_t at);
  int64_t tracks() const { return tracks_; }

 private:
  int64_t tracks_ = 0;
  int64_t walkedFrom_ = -1, walkedTo_ = -1;  // the whole tracks of the last walk
};
