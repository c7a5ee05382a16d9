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

// Bit rate in kbit/s of layer 1, 2 or 3 for version 10, 20 or 25 and index
// 0..15; 0 for free format, index 15, any other version or layer.
int32_t FrameBitrate(int32_t version, int32_t layer, int32_t index);
// The same for Layer III alone; 0 for any other layer.
int32_t MpegBitrate(int32_t version, int32_t layer, int32_t index);
// Sampling frequency in Hz for version 10, 20 or 25 and index 0..3; 0 for
// index 3 and any other version.
int32_t MpegSampleRate(int32_t version, int32_t index);

// Takes the fields every frame header holds, of any layer, from the first
// four bytes of `bytes` into `info` (not the frame's length or duration):
// false when the bit-rate or sampling index names none.
bool DecodeFrameFields(const uint8_t* bytes, TFrameInfo& info);

// Examines the first four bytes of `bytes`. True when they are a Layer III
// frame header this system accepts; then every field of `info` is set.
bool DecodeMpegHeader(const uint8_t* bytes, TFrameInfo& info);

// The same test alone, cheap enough for every trigger of a scan: the sync
// byte, Layer III of MPEG-1, 2 or 2.5 (FB FA F3 F2 E3 E2), a bit-rate index
// other than free format (0) and 15, a sampling index other than 3.
inline bool IsMpegHeader(const uint8_t* b) {
  const int bitrateIndex = b[2] >> 4;
  return b[0] == 0xFF && ((b[1] & 0xF6) == 0xF2 || (b[1] & 0xFE) == 0xE2) && bitrateIndex != 0 &&
         bitrateIndex != 15 && (b[2] & 0x0C) != 0x0C;
}
