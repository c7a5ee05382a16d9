// A member of DSP ADPCM (GameCube/Wii) made a BRSTM: the Nintendo stream
// players and modders' tools open and FFmpeg's brstm demuxer decodes, with
// each channel's coefficients from the bank in its HEAD section.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "carve/engine/member.h"

// A member a BRSTM can hold: DSP ADPCM of one or two channels whose
// coefficients the bank gave.
bool BrstmFits(const Member& member);

// The BRSTM of `member`, its bytes `data` as an FSB holds them (the
// channels interleaved every 2 bytes): the channels laid out in blocks of
// 0x2000 bytes each, each block's starting history in the ADPC section.
// Empty when it does not fit.
std::vector<uint8_t> BrstmOf(const Member& member, std::span<const uint8_t> data);
