#include "carve/formats/midi/smf_time.h"

#include <algorithm>
#include <map>
#include <span>
#include <vector>

#include "carve/engine/input_view.h"
#include "carve/formats/common/big_endian.h"

namespace {

// Files above this size are not timed (the walk measured them piece by
// piece; the times read them at once).
constexpr int64_t kMostTimedBytes = 16 << 20;
constexpr int64_t kDefaultTempo = 500000;  // microseconds a quarter note

struct Track {
  int64_t lastTick = 0;
  std::map<int64_t, int64_t> tempos;  // tick: microseconds a quarter note
};

// Reads the events of one track's data. The walk has checked them; reading
// stops at any byte it would not have taken.
class EventReader {
 public:
  explicit EventReader(std::span<const uint8_t> d) : d_(d) {}

  bool more() const { return pos_ < d_.size(); }
  int64_t quantity() {
    int64_t v = 0;
    for (int i = 0; i < 4 && pos_ < d_.size(); ++i) {
      const uint8_t b = d_[pos_++];
      v = v << 7 | (b & 0x7F);
      if (b < 0x80) return v;
    }
    return -1;
  }
  // One event after its delta time; a Set Tempo event's value in `tempo`.
  bool event(int64_t& tempo) {
    const uint8_t status = d_[pos_];
    if (status == 0xFF) return meta(tempo);
    if (status == 0xF0 || status == 0xF7) {
      ++pos_;
      return skip(quantity());
    }
    if (status >= 0x80) running_ = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
    return skip((status >= 0x80 ? 1 : 0) + running_);
  }

 private:
  bool meta(int64_t& tempo) {
    if (pos_ + 2 >= d_.size()) return false;
    const uint8_t type = d_[pos_ + 1];
    pos_ += 2;
    const int64_t length = quantity();
    if (length < 0 || length > std::ssize(d_) - static_cast<int64_t>(pos_)) return false;
    const uint8_t* p = d_.data() + pos_;
    if (type == 0x51 && length == 3) tempo = p[0] << 16 | p[1] << 8 | p[2];
    return skip(length);
  }
  bool skip(int64_t count) {
    if (count < 0 || count > std::ssize(d_) - static_cast<int64_t>(pos_)) return false;
    pos_ += static_cast<size_t>(count);
    return true;
  }

  std::span<const uint8_t> d_;
  size_t pos_ = 0;
  int running_ = 0;
};

// The ticks of one track's events and its Set Tempo events.
Track ReadTrack(std::span<const uint8_t> d) {
  Track t;
  EventReader r(d);
  while (r.more()) {
    const int64_t delta = r.quantity();
    if (delta < 0 || !r.more()) break;
    t.lastTick += delta;
    int64_t tempo = -1;
    if (!r.event(tempo)) break;
    if (tempo >= 0) t.tempos[t.lastTick] = tempo;
  }
  return t;
}

// The seconds of `ticks` ticks through a tempo map, `division` ticks a
// quarter note.
double TickSeconds(int64_t ticks, const std::map<int64_t, int64_t>& tempos, int division) {
  double seconds = 0;
  int64_t tick = 0, tempo = kDefaultTempo;
  for (const auto& [at, value] : tempos) {
    if (at >= ticks) break;
    seconds += static_cast<double>(at - tick) * tempo / 1e6 / division;
    tick = at;
    tempo = value;
  }
  return seconds + static_cast<double>(ticks - tick) * tempo / 1e6 / division;
}

}  // namespace

double SmfSeconds(InputView& input, int64_t at, int64_t end) {
  if (end - at > kMostTimedBytes) return -1;
  const auto bytes = input.bytes(at, end - at);
  if (std::ssize(bytes) < end - at || end - at < 14) return -1;
  const std::span<const uint8_t> file = bytes.first(static_cast<size_t>(end - at));
  const uint32_t format = Be16(file.data() + 8), division = Be16(file.data() + 12);
  std::vector<Track> tracks;
  std::map<int64_t, int64_t> tempos;
  for (size_t pos = 14; pos + 8 <= file.size();) {
    const size_t size = Be32(file.data() + pos + 4);
    if (size > file.size() - pos - 8) break;
    tracks.push_back(ReadTrack(file.subspan(pos + 8, size)));
    tempos.insert(tracks.back().tempos.begin(), tracks.back().tempos.end());
    pos += 8 + size;
  }
  const auto seconds = [&](const Track& t, const std::map<int64_t, int64_t>& map) {
    if (division & 0x8000) {
      const int fps = -static_cast<int8_t>(division >> 8);
      const double rate = fps == 29 ? 29.97 : fps;
      return static_cast<double>(t.lastTick) / (rate * (division & 0xFF));
    }
    return TickSeconds(t.lastTick, map, static_cast<int>(division));
  };
  double total = 0;
  for (const Track& t : tracks) {
    total = format == 2 ? total + seconds(t, t.tempos) : std::max(total, seconds(t, tempos));
  }
  return total;
}
