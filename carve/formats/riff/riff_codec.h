// The codec of a RIFF (or big-endian RIFX) WAVE file as its "fmt " chunk
// tells it, and the extension its output takes: Wwise's own codecs ".wem",
// ATRAC3 and ATRAC3plus ".at3", ATRAC9 ".at9", XMA ".xma", others ".wav".
#pragma once

#include <cstdint>
#include <span>

struct RiffFormat {
  const char* extension = "wav";
  int64_t sampleRateHz = -1;  // -1: the chunk is too short to tell
  int64_t bytesPerSecond = -1;
};

// Reads the body of a format chunk whose size field is `chunkSize`; `body`
// holds its first bytes (40 are enough), fewer where the input ends.
RiffFormat ReadRiffFormat(std::span<const uint8_t> body, int64_t chunkSize, bool bigEndian);

// Whether a format chunk describes sound: a sample rate from 1 Hz to 768 kHz,
// 1 to 64 channels, and a byte rate that fits them (PCM and float: the rate
// times the block, which holds every channel's sample; other codecs: more
// than nothing, at most 64 bits a sample). XMA1's chunk tells the first
// stream's rate and channels only.
bool RiffFormatIsSound(std::span<const uint8_t> body, int64_t chunkSize, bool bigEndian);
