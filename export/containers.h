// Headers that make a file a player opens of bare PCM: a WAVE (RIFF,
// little-endian samples) and an AIFF (big-endian, signed samples).
#pragma once

#include <cstdint>
#include <vector>

// How PCM samples are stored.
struct PcmLayout {
  int64_t rate = 0, channels = 0;
  int bits = 16;        // 8 (unsigned in a WAVE), 16, 24, 32
  bool floats = false;  // IEEE floats (32 bits)
  // The speakers of the channels (WAVE_FORMAT_EXTENSIBLE's dwChannelMask,
  // FFmpeg's native order); 0: none said.
  uint64_t channelMask = 0;
};

// The header of a WAVE of `dataBytes` of samples: 44 bytes of
// WAVE_FORMAT_PCM (or IEEE_FLOAT) for one or two channels, 68 bytes of
// WAVE_FORMAT_EXTENSIBLE for more. Sizes beyond 4 GiB are clamped.
std::vector<uint8_t> WaveHeaderOf(const PcmLayout& layout, int64_t dataBytes);
// The 54 bytes of an AIFF header (FORM, COMM, SSND) for `frames` sample
// frames of big-endian signed PCM.
std::vector<uint8_t> AiffHeader(const PcmLayout& layout, int64_t frames);
