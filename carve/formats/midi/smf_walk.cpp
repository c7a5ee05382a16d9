#include "carve/formats/midi/smf_walk.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "carve/engine/input_view.h"
#include "carve/formats/common/big_endian.h"

namespace {

// Reads the bytes of one track's events, from the input in pieces.
class TrackReader {
 public:
  TrackReader(InputView& input, int64_t pos, int64_t end) : input_(input), pos_(pos), end_(end) {}

  // The next byte; -1 at the track's end.
  int next() {
    if (pos_ >= end_ || (pos_ >= windowEnd_ && !refill())) {
      cut_ = true;
      return -1;
    }
    return window_[static_cast<size_t>(pos_++ - windowStart_)];
  }
  // A variable-length quantity of at most four bytes; -1 when there is none.
  int64_t quantity() {
    int64_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int b = next();
      if (b < 0) return -1;
      value = value << 7 | (b & 0x7F);
      if (b < 0x80) return value;
    }
    return -1;
  }
  bool skip(int64_t count) {
    if (count > end_ - pos_) {
      cut_ = true;
      return false;
    }
    pos_ += count;
    return true;
  }
  int64_t pos() const { return pos_; }
  // Whether the track's end stopped a read.
  bool cut() const { return cut_; }

 private:
  // The events are read in pieces, small first: a walk that soon meets a
  // place walked before asks for few bytes.
  static constexpr int64_t kFirstPiece = 64, kLargestPiece = 64 * 1024;

  bool refill() {
    window_ = input_.bytes(pos_, std::min(piece_, end_ - pos_));
    piece_ = std::min(piece_ * 2, kLargestPiece);
    windowStart_ = pos_;
    windowEnd_ = pos_ + std::min<int64_t>(std::ssize(window_), end_ - pos_);
    return windowEnd_ > pos_;
  }

  InputView& input_;
  int64_t pos_, end_;
  std::span<const uint8_t> window_;
  int64_t windowStart_ = 0, windowEnd_ = 0;
  int64_t piece_ = kFirstPiece;
  bool cut_ = false;
};

// The count of data bytes of a channel message of `status`.
int DataBytes(int status) { return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2; }

// The `count` data bytes of a channel message, the first one read already
// when `first` (under running status: below 0x80, or it would be a status).
// Some writers put values above 127 in them (a velocity of 0xFF), and players
// read them by count: any value is taken, as long as the bytes are there.
bool ChannelData(TrackReader& r, int count, bool first) {
  return r.skip(first ? count - 1 : count);
}

enum class Event { Bad, More, EndOfTrack };

// A meta event after its status byte: a type, a length and its data; End
// of Track has none and ends the events (it must end the chunk too).
Event MetaEvent(TrackReader& r) {
  const int type = r.next();
  if (type < 0 || type >= 0x80) return Event::Bad;
  const int64_t length = r.quantity();
  if (length < 0) return Event::Bad;
  if (type == 0x2F) return length == 0 ? Event::EndOfTrack : Event::Bad;
  return r.skip(length) ? Event::More : Event::Bad;
}

// One event after its delta time; `running` is the running status, as the
// count of data bytes of its messages (0: none).
Event NextEvent(TrackReader& r, int& running) {
  const int status = r.next();
  if (status < 0) return Event::Bad;
  if (status < 0x80)
    return running != 0 && ChannelData(r, running, true) ? Event::More : Event::Bad;
  if (status == 0xFF) return MetaEvent(r);
  if (status == 0xF0 || status == 0xF7) {
    const int64_t length = r.quantity();
    return length >= 0 && r.skip(length) ? Event::More : Event::Bad;
  }
  if (status > 0xF0) return Event::Bad;
  running = DataBytes(status);
  return ChannelData(r, running, false) ? Event::More : Event::Bad;
}

// Places to remember: every one in the first bytes of a walk, where later
// walks begin, then the first one in each stretch of this many bytes.
constexpr int64_t kDense = 4096, kStretch = 1024;
// A walk of fewer events is not remembered: walking it again costs little.
constexpr int64_t kLeastRemembered = 8;
// Course::last when not known yet.
constexpr int64_t kUnknown = -2;

}  // namespace

bool SmfHeaderPlausible(const uint8_t* h) {
  if (std::memcmp(h, "MThd\0\0\0\6", 8) != 0) return false;
  const uint32_t format = Be16(h + 8), tracks = Be16(h + 10), division = Be16(h + 12);
  if (format > 2 || tracks == 0 || (format == 0 && tracks != 1)) return false;
  if ((division & 0x8000) == 0) return division != 0;
  const int frames = -static_cast<int8_t>(division >> 8);
  return (frames == 24 || frames == 25 || frames == 29 || frames == 30) && (division & 0xFF) != 0;
}

int32_t SmfWalk::root(int32_t course) {
  while (courses_[course].same >= 0) {
    const int32_t next = courses_[course].same;
    if (courses_[next].same >= 0) courses_[course].same = courses_[next].same;
    course = next;
  }
  return course;
}

SmfWalk::Walked SmfWalk::walkOn(InputView& input, Place& at, int64_t end, bool askFirst) {
  TrackReader r(input, at.pos, end);
  for (bool first = true;; first = false) {
    if (!first || askFirst) {
      const auto known = memo_.find(at);
      if (known != memo_.end()) return {known->second, kUnknown};
    }
    if (at.pos - from_ < kDense || at.pos / kStretch != before_ / kStretch) seen_.push_back(at);
    int running = at.running;
    const Event e = r.quantity() < 0 ? Event::Bad : NextEvent(r, running);
    if (e == Event::More) {
      before_ = at.pos;
      at = {r.pos(), running};
      ++events_;
    } else {
      return {-1, r.cut() ? kUnknown : e == Event::EndOfTrack ? r.pos() : -1};
    }
  }
}

bool SmfWalk::trackEnds(InputView& input, int64_t from, int64_t end) {
  from_ = before_ = from;
  events_ = 0;
  seen_.clear();
  Place at{from, 0};
  int32_t course = -1;  // the course the walk is on, once met
  for (bool askFirst = true;; askFirst = false) {
    const Walked w = walkOn(input, at, end, askFirst);
    if (w.joined < 0) {
      if (course < 0 && events_ < kLeastRemembered) return w.last == end;
      if (course < 0) {
        course = static_cast<int32_t>(courses_.size());
        courses_.push_back({});
      }
      courses_[course].reached = at;
      courses_[course].last = w.last;
      break;
    }
    const int32_t joined = root(w.joined);
    if (course >= 0 && course != joined) courses_[course].same = joined;
    course = joined;
    const Course& c = courses_[course];
    // Walk on from where that course was left, when `end` lies beyond.
    if (c.last != kUnknown || end <= c.reached.pos) break;
    before_ = c.reached.pos;
    at = c.reached;
  }
  for (const Place& p : seen_) memo_.emplace(p, course);
  return courses_[course].last == end;
}

int64_t SmfWalk::measure(InputView& input, int64_t at) {
  // No walk of this header or a later one begins before it.
  memo_.erase(memo_.begin(), memo_.lower_bound(Place{at, 0}));
  if (memo_.empty()) courses_.clear();
  if (at >= walkedFrom_ && at < walkedTo_) return -1;
  const auto header = input.bytes(at, 14);
  if (std::ssize(header) < 14 || !SmfHeaderPlausible(header.data())) return -1;
  tracks_ = Be16(header.data() + 10);
  const int64_t size = input.knownSize();
  int64_t pos = at + 14;
  walkedFrom_ = walkedTo_ = pos;
  for (int64_t i = 0; i < tracks_; ++i) {
    const auto head = input.bytes(pos, 8);
    if (std::ssize(head) < 8 || std::memcmp(head.data(), "MTrk", 4) != 0) return -1;
    const int64_t end = pos + 8 + Be32(head.data() + 4);
    if (end > size || !trackEnds(input, pos + 8, end)) return -1;
    pos = walkedTo_ = end;
  }
  // One track more than the header counts: the count is wrong.
  const auto after = input.bytes(pos, 4);
  if (std::ssize(after) >= 4 && std::memcmp(after.data(), "MTrk", 4) == 0) return -1;
  return pos;
}
