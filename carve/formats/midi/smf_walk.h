// Standard MIDI files: a header chunk ("MThd", length 6: format, track
// count, division) and exactly that many track chunks ("MTrk"), whose events
// each run to an End of Track meta event at the very end of their chunk.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <vector>

class InputView;

// Whether the 14 bytes at `h` are a header chunk a writer makes: length 6,
// format 0 (one track), 1 or 2, at least one track, a division of ticks per
// quarter note or of SMPTE frames (24, 25, 29 or 30 a second) and ticks.
bool SmfHeaderPlausible(const uint8_t* h);

// Measures the files of one pass, whose headers come in ascending offsets.
// The events that follow a place in a track are the same whatever chunk
// they are read in, up to the chunk's end: a walk that comes to a place an
// earlier one passed knows how the events go on from there (where the first
// End of Track ends, or bad bytes), so that tracks that lead into the same
// events, as the tracks of headers packed in each other's messages do, walk
// them once.
class SmfWalk {
 public:
  // The end of the whole file whose header is at `at`; -1 when there is
  // none: a track is not whole in the input, is not a track, or its events
  // do not end as they must, or one more track follows. No file begins inside the tracks of one
  // measured before (a header there is a track's data).
  int64_t measure(InputView& input, int64_t at);
  int64_t tracks() const { return tracks_; }

  // A place where an event begins (its delta time) and the running status
  // there: 0 none, else the count of data bytes of its channel messages.
  struct Place {
    int64_t pos;
    int running;
    auto operator<=>(const Place&) const = default;
  };

 private:
  // What is known of the events from the places of one course on: where the
  // first event that ends them ends (an End of Track; -1: bad bytes), or,
  // not known yet, the place up to which they were walked without one.
  struct Course {
    Place reached;
    int64_t last;
    int32_t same = -1;  // a course it joined, which knows on
  };
  struct Walked {
    int32_t joined;  // the course of a place met, or -1
    int64_t last;    // as in Course
  };

  // Whether the events of the track whose data is [from, end) end with End
  // of Track at `end`.
  bool trackEnds(InputView& input, int64_t from, int64_t end);
  // Walks the events from `at` (moved on) until a place of a course known
  // (`askFirst`: also `at` itself), an event that ends them or one that runs
  // past `end`; notes in seen_ the places to remember.
  Walked walkOn(InputView& input, Place& at, int64_t end, bool askFirst);
  int32_t root(int32_t course);

  int64_t tracks_ = 0;
  int64_t walkedFrom_ = -1, walkedTo_ = -1;  // the whole tracks of the last walk
  // Places walked ahead of the last header, and the courses they are on.
  std::map<Place, int32_t> memo_;
  std::vector<Course> courses_;
  // The walk under way: where it began, where the event before began, the
  // count of events and the places to remember.
  int64_t from_ = 0, before_ = 0, events_ = 0;
  std::vector<Place> seen_;
};
