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

// The ticks of one track's events and its Set Tempo events. The walk has
// checked its events; reading stops at any byte it would not have taken.
Track ReadTrack(std::span<const uint8_t> d) {
  Track t;
  size_t pos = 0;
  int running = 0;
  const auto quantity = [&d, &pos]() -> int64_t {
    int64_t v = 0;
    for (int i = 0; i < 4 && pos < d.size(); ++i) {
      const uint8_t b = d[pos++];
      v = v << 7 | (b & 0x7F);
      if (b < 0x80) return v;
    }
    return -1;
  };
  while (pos < d.size()) {
    const int64_t delta = quantity();
    if (delta < 0 || pos >= d.size()) break;
    t.lastTick += delta;
    const uint8_t status = d[pos];
    if (status == 0xFF && pos + 2 < d.size()) {
      const uint8_t type = d[pos + 1];
      pos += 2;
      const int64_t length = quantity();
      if (length < 0 || pos + length > d.size()) break;
      if (type == 0x51 && length == 3)
        t.tempos[t.lastTick] = d[pos] << 16 | d[pos + 1] << 8 | d[pos + 2];
      pos += length;
    } else if (status == 0xF0 || status == 0xF7) {
      ++pos;
      const int64_t length = quantity();
      if (length < 0) break;
      pos += length;
    } else if (status >= 0x80) {
      running = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      pos += 1 + running;
    } else {
      pos += running;
    }
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
