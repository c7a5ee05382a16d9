// The log line of a stream of the formats that came after the first three:
// its number, byte range, format, count of frames or blocks, bit rate,
// sampling rate, channels and length, e.g.
// "[001($00001234-$0000D623)] FLAC            120Frames 1411kbps 44.1kHz 2ch    3.1sec".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carve/engine/carver.h"

// `format` is the format's own text ("FLAC", "mpeg1.0layer2"...), `unit` what
// `facts.frames` counts ("Frames", "Blocks"). Unmeasured values show as 0.
std::string StreamLine(int64_t number, const CopySpan& span, std::string_view format,
                       std::string_view unit, const StreamFacts& facts);

// Gives the stream line `line`, as every carver begins it ("[001($..."),
// the number `number` in place of its own; false when it does not begin so.
bool Renumber(std::string& line, int64_t number);

// The facts of a stream of `frames` frames or blocks that holds `samples`
// samples a channel at `rate` Hz in `bytes` bytes: its length, and its
// average bit rate, rounded (0 when it holds no samples).
StreamFacts SampledFacts(int64_t frames, double rate, int64_t channels, int64_t samples,
                         int64_t bytes);
