// MPEG audio Layer I and Layer II frame headers of MPEG-1 and of MPEG-2 at
// its low sampling frequencies. (MPEG-2.5 is an extension of Layer III
// alone: no Layer I or II header of it is taken.)
#pragma once

#include <cstdint>

#include "carve/formats/mpeg/mpeg_header.h"

// Bit rate in kbit/s of layer 1 or 2 for version 10 or 20 and index 0..15; 0
// for free format (index 0), index 15 and any other version or layer.
int32_t Layer12Bitrate(int32_t version, int32_t layer, int32_t index);

// Samples a frame holds, per channel: 384 in Layer I, 1152 in Layer II.
int32_t Layer12Samples(int32_t layer);

// Whether an MPEG-1 Layer II frame may have this bit rate in this channel
// mode: 32, 48, 56 and 80 kbit/s are for one channel only, 224 kbit/s and
// more for two. MPEG-2 allows every pair.
bool Layer2ModeAllowed(int32_t version, int32_t bitrate, uint8_t channelMode);

// Examines the first four bytes of `bytes`. True when they are a Layer I or
// Layer II header this system accepts: MPEG-1 or MPEG-2, a bit rate from the
// tables, a sampling frequency, an emphasis that is not the reserved one, a
// mode extension of 0 outside joint stereo and, in Layer II, a bit rate its
// channel mode allows. Then every field of `info`
// is set: Layer I frames are whole 4-byte slots, (12 000 × bit rate / rate +
// padding) × 4 bytes; Layer II frames 144 000 × bit rate / rate + padding
// bytes (quotients truncated); Duration in milliseconds, rounded half to
// even.
bool DecodeLayer12Header(const uint8_t* bytes, TFrameInfo& info);

// The most bytes from a frame's start Layer12FramePossible() reads: a whole
// frame of the longest, MPEG-1 Layer II at 384 kbit/s and 32 kHz, padded.
constexpr int kLayer12CheckedBytes = 1729;

// Examines the frame at `bytes`, whose header DecodeLayer12Header() took
// into `info`, as far as its first `avail` bytes go. False when they show
// that the frame breaks the rules of its layer: a Layer I allocation value of
// 15 or scale factor index of 63, a CRC that does not match the header's
// last 16 bits and the allocation (Layer II: and the scale factor
// selection), a frame too short for the bits its allocation, scale factors
// and samples call for, or a sample code beyond the steps of its
// quantisation (all ones; in Layer II's grouped codes, 3, 5 or 9 steps
// cubed and more). True when it keeps them, or when the bytes held end
// before the frame does and before they can tell. `sounds`, when given, is
// set to whether the allocation read gives any subband samples.
bool Layer12FramePossible(const uint8_t* bytes, int64_t avail, const TFrameInfo& info,
                          bool* sounds = nullptr);

// The mode extension names the subbands of intensity stereo, in joint
// stereo only; every encoder writes it as 0 in the other channel modes, and
// data that is not audio seldom does.
inline bool ModeExtensionPossible(uint8_t b3) { return (b3 >> 6) == 1 || (b3 & 0x30) == 0; }

// False when the four bytes cannot be a header DecodeLayer12Header() takes,
// by the tests that need no table: the sync bits, MPEG-1 or MPEG-2 and Layer
// I or II (F4 to F7, FC to FF), the emphasis, a bit-rate index other than 0
// and 15, a sampling index other than 3, the mode extension. Cheap enough
// for every trigger.
inline bool MayBeLayer12Header(const uint8_t* b) {
  const int bitrateIndex = b[2] >> 4;
  return b[0] == 0xFF && (b[1] & 0xF4) == 0xF4 && (b[3] & 0x03) != 2 && bitrateIndex != 0 &&
         bitrateIndex != 15 && (b[2] & 0x0C) != 0x0C && ModeExtensionPossible(b[3]);
}
