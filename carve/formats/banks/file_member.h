// The members of banks that are files by themselves (AWB: HCA, ADX, WAVE;
// Wwise banks: WEM): what each is, told by its first bytes, and what its
// header says of it.
#pragma once

#include <cstdint>

#include "carve/engine/member.h"

class InputView;

// Member `index` of the bank at `bankStart`: `length` bytes at `offset` of
// the bank. Its codec by its magic ("hca", "adx", "wem" when `wem`, else
// "wav" for RIFF WAVE, "unknown" for anything else), its rate, channels
// and samples where its header gives them, and whether it is encrypted.
Member FileMember(InputView& input, int64_t bankStart, int64_t index, int64_t offset,
                  int64_t length, bool wem);
