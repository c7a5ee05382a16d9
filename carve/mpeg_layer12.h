// MPEG audio Layer I and Layer II frame headers of MPEG-1 and of MPEG-2 at
// its low sampling frequencies. (MPEG-2.5 is an extension of Layer III
// alone: no Layer I or II header of it is taken.)
#pragma once

#include <cstdint>

#include "carve/mpeg_header.h"

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
// tables, a sampling frequency, an emphasis that is not the reserved one and,
// in Layer II, a bit rate its channel mode allows. Then every field of `info`
// is set: Layer I frames are whole 4-byte slots, (12 000 × bit rate / rate +
// padding) × 4 bytes; Layer II frames 144 000 × bit rate / rate + padding
// bytes (quotients truncated); Duration in milliseconds, rounded half to
// even.
bool DecodeLayer12Header(const uint8_t* bytes, TFrameInfo& info);
