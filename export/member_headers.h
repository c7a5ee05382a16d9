// The RIFF headers made for a member of its own: a WAVE header for MS ADPCM
// (its block alignment, samples a block and the seven standard coefficient
// pairs) and for Xbox IMA ADPCM of one or two channels (format 0x69, 64
// samples a block), and a RIFF header with an XMA2 format for XMA. (PCM of
// other layouts: the table of member_files.cpp.)
#pragma once

#include <cstdint>
#include <vector>

#include "carve/engine/member.h"

// The extension of the file a member makes behind its header ("wav",
// "xma"), or null when it is none of these.
const char* HeaderedExtension(const Member& member);
// The header written before the member's bytes; empty when none is.
std::vector<uint8_t> RiffHeaderOf(const Member& member);
