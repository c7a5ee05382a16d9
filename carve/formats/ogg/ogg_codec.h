// The codec of an Ogg logical stream, read from its first packet, and the
// length its last granule position gives.
#pragma once

#include <cstdint>
#include <span>

enum class OggCodec { Unknown, Vorbis, Opus, Flac, Speex, Theora };

struct OggCodecInfo {
  OggCodec codec = OggCodec::Unknown;
  int64_t sampleRate = 0;  // audio: samples a second (Opus: always 48000)
  int64_t channels = 0;
  int64_t preSkip = 0;  // Opus: samples at the start that are not played
  // Theora: frames a second as a fraction, the shift of the key frame
  // number in a granule position, and whether granule positions count
  // frames from 1 (version 3.2.1 on).
  int64_t fpsNumerator = 0, fpsDenominator = 0;
  int granuleShift = 0;
  bool countsFromOne = false;
};

// Reads the identification header at the start of a logical stream's first
// packet (as much of it as `packet` holds). An unknown codec, or a header
// too short for its fields, gives OggCodec::Unknown.
OggCodecInfo ReadOggCodec(std::span<const uint8_t> packet);

// The stream's length in seconds at the granule position `granule` (of its
// last page); 0 when the codec or its rate is unknown or the granule
// position tells nothing (negative).
double OggSeconds(const OggCodecInfo& info, int64_t granule);

// The codec as the stream line names it: "Vorbis", "Opus", "FLAC"...
const char* OggCodecName(OggCodec codec);
