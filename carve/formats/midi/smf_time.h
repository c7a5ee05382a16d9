// The length in seconds of a standard MIDI file: the time of its last event
// (the latest End of Track), its ticks turned into time through the tempo
// map (Set Tempo meta events; 120 beats a minute until the first) for a
// division in ticks per quarter note, or through the frame rate for an
// SMPTE division. The tracks of format 2 are independent patterns played
// one after the other, each with its own tempo.
#pragma once

#include <cstdint>

class InputView;

// The seconds of the file [at, end) that SmfWalk measured whole; -1 when it
// is too large to read at once.
double SmfSeconds(InputView& input, int64_t at, int64_t end);
