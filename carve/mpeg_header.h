// MPEG audio Layer III frame headers.
#pragma once

#include <cstdint>

// Decoded fields of one MPEG frame header or one Ogg page header (the Ogg
// page decoder gives some fields other meanings).
struct TFrameInfo {
  int32_t MpegVersion;   // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
  int32_t Layer;         // 3
  uint8_t CrcProtected;  // 1 when a 16-bit CRC follows the header
  int32_t Bitrate;       // kbit/s
  int32_t SampleRate;    // Hz
  uint8_t ChannelMode;   // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  uint8_t Padding;       // 0 or 1
  int32_t FrameLength;   // bytes, header included
  int32_t Duration;      // milliseconds, rounded half to even
};

// Layer III bit rate in kbit/s for version 10, 20 or 25 and index 0..15;
// 0 for free format, index 15, any other version or layer.
int32_t MpegBitrate(int32_t version, int32_t layer, int32_t index);
// Sampling frequency in Hz for version 10, 20 or 25 and index 0..3; 0 for
// index 3 and any other version.
int32_t MpegSampleRate(int32_t version, int32_t index);

// Examines the first four bytes of `bytes`. True when they are a Layer III
// frame header this system accepts; then every field of `info` is set.
bool DecodeMpegHeader(const uint8_t* bytes, TFrameInfo& info);
