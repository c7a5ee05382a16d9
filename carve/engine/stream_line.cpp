#include "carve/engine/stream_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string StreamLine(int64_t number, const CopySpan& span, std::string_view format,
                       std::string_view unit, const StreamFacts& facts) {
  auto shown = [](int64_t value) { return static_cast<long long>(std::max<int64_t>(value, 0)); };
  const std::string name(format), count(unit);
  char line[256];
  std::snprintf(line, sizeof line,
                "[%3.3lld($%8.8llX-$%8.8llX)] %-13s%6lld%s%5lldkbps%5.1fkHz%2lldch%7.1fsec",
                static_cast<long long>(number), static_cast<long long>(span.start),
                static_cast<long long>(span.start + span.length - 1), name.c_str(),
                shown(facts.frames), count.c_str(), shown(facts.bitrateKbps),
                static_cast<double>(shown(facts.sampleRateHz)) / 1000.0, shown(facts.channels),
                std::max(facts.seconds, 0.0));
  return line;
}

bool Renumber(std::string& line, int64_t number) {
  const size_t open = line.find('(');
  if (line.empty() || line.front() != '[' || open == std::string::npos || open < 4) return false;
  for (size_t i = 1; i < open; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  char digits[32];
  std::snprintf(digits, sizeof digits, "%3.3lld", static_cast<long long>(number));
  line.replace(1, open - 1, digits);
  return true;
}

StreamFacts SampledFacts(int64_t frames, double rate, int64_t channels, int64_t samples,
                         int64_t bytes) {
  StreamFacts f;
  f.frames = frames;
  f.sampleRateHz = std::llround(rate);
  f.channels = channels;
  f.seconds = static_cast<double>(samples) / rate;
  f.bitrateKbps = samples > 0 ? std::llround(static_cast<double>(bytes) * 8 / f.seconds / 1000) : 0;
  return f;
}
