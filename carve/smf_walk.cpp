#include "carve/smf_walk.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "carve/big_endian.h"
#include "carve/input_view.h"

namespace {

// Reads the bytes of one track's events, from the input in pieces.
class TrackReader {
 public:
  TrackReader(InputView& input, int64_t pos, int64_t end) : input_(input), pos_(pos), end_(end) {}

  // The next byte; -1 at the track's end.
  int next() {
    if (pos_ >= end_) return -1;
    if (pos_ >= windowEnd_ && !refill()) return -1;
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
    if (count > end_ - pos_) return false;
    pos_ += count;
    return true;
  }
  bool atEnd() const { return pos_ == end_; }

 private:
  static constexpr int64_t kPiece = 64 * 1024;

  bool refill() {
    window_ = input_.bytes(pos_, std::min(kPiece, end_ - pos_));
    windowStart_ = pos_;
    windowEnd_ = pos_ + std::min<int64_t>(std::ssize(window_), end_ - pos_);
    return windowEnd_ > pos_;
  }

  InputView& input_;
  int64_t pos_, end_;
  std::span<const uint8_t> window_;
  int64_t windowStart_ = 0, windowEnd_ = 0;
};

// The data bytes of a channel message of `status`, its first one `first`
// (-1: still to read): one or two, each below 0x80.
bool ChannelData(TrackReader& r, int status, int first) {
  const int count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
  for (int i = first >= 0 ? 1 : 0; i < count; ++i) {
    const int b = r.next();
    if (b < 0 || b >= 0x80) return false;
  }
  return true;
}

enum class Event { Bad, More, EndOfTrack };

// A meta event after its status byte: a type, a length and its data; End
// of Track has none and ends the chunk.
Event MetaEvent(TrackReader& r) {
  const int type = r.next();
  if (type < 0 || type >= 0x80) return Event::Bad;
  const int64_t length = r.quantity();
  if (length < 0) return Event::Bad;
  if (type == 0x2F) return length == 0 && r.atEnd() ? Event::EndOfTrack : Event::Bad;
  return r.skip(length) ? Event::More : Event::Bad;
}

// One event after its delta time; `running` is the running status.
Event NextEvent(TrackReader& r, int& running) {
  int status = r.next();
  int first = -1;
  if (status < 0) return Event::Bad;
  if (status < 0x80) {
    if (running == 0) return Event::Bad;
    first = status;
    status = running;
  }
  if (status == 0xFF) return MetaEvent(r);
  if (status == 0xF0 || status == 0xF7) {
    const int64_t length = r.quantity();
    return length >= 0 && r.skip(length) ? Event::More : Event::Bad;
  }
  if (status > 0xF0) return Event::Bad;
  running = status;
  return ChannelData(r, status, first) ? Event::More : Event::Bad;
}

// The events of the track whose data is [from, end) end with End of Track
// at `end`.
bool TrackEnds(InputView& input, int64_t from, int64_t end) {
  TrackReader r(input, from, end);
  int running = 0;
  for (;;) {
    if (r.quantity() < 0) return false;
    const Event e = NextEvent(r, running);
    if (e != Event::More) return e == Event::EndOfTrack;
  }
}

}  // namespace

bool SmfHeaderPlausible(const uint8_t* h) {
  if (std::memcmp(h, "MThd\0\0\0\6", 8) != 0) return false;
  const uint32_t format = Be16(h + 8), tracks = Be16(h + 10), division = Be16(h + 12);
  if (format > 2 || tracks == 0 || (format == 0 && tracks != 1)) return false;
  if ((division & 0x8000) == 0) return division != 0;
  const int frames = -static_cast<int8_t>(division >> 8);
  return (frames == 24 || frames == 25 || frames == 29 || frames == 30) && (division & 0xFF) != 0;
}

int64_t SmfWalk::measure(InputView& input, int64_t at) {
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
    if (end > size || !TrackEnds(input, pos + 8, end)) return -1;
    pos = walkedTo_ = end;
  }
  // One track more than the header counts: the count is wrong.
  const auto after = input.bytes(pos, 4);
  if (std::ssize(after) >= 4 && std::memcmp(after.data(), "MTrk", 4) == 0) return -1;
  return pos;
}
