// The headers that make raw members of banks files a player opens: a WAVE
// header for PCM (16-bit, of either byte order; 8-bit unsigned) and MS ADPCM
// (its block alignment, samples a block and the seven standard coefficient
// pairs), and a RIFF header with an XMA2 format for XMA.
#pragma once

#include <cstdint>
#include <vector>

#include "carve/engine/member.h"

// The extension of the file a member makes behind its header ("wav",
// "xma"), or null when no header makes it playable.
const char* HeaderedExtension(const Member& member);
// The header written before the member's bytes; empty when none is.
std::vector<uint8_t> MemberHeader(const Member& member);
// Whether the member's 16-bit samples are big-endian, to be swapped on the
// way into the little-endian WAVE file.
bool SwapsSamples(const Member& member);
