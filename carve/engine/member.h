// One member of a bank (FSB, AWB, Wwise .bnk and .pck, XWB): what its carver read of it
// from the bank's own tables. The bank is carved whole; a front end that is
// asked to writes its members from the bank's output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Numbers the bank does not give are negative.
struct Member {
  int64_t index = 0;  // from 0, in the bank's order
  // As the bank's name table holds it: untrusted bytes; empty when the bank
  // names none.
  std::string name;
  // The member's bytes, from the bank's first byte.
  int64_t offset = 0, length = 0;
  // A short word for what the bytes are: "hca", "adx", "wem", "wav", "bnk",
  // "wma" (files by themselves), "pcm16", "pcm16be", "pcm8" (signed), "pcm8u" (unsigned),
  // "imaadpcm", "msadpcm", "mpeg", "dsp", "vorbis", "xma", "xwma"... (raw codec data), "unknown".
  std::string codec;
  int64_t rate = -1, channels = -1, samples = -1;
  int64_t loopStart = -1, loopEnd = -1;  // in samples
  int64_t blockAlign = -1;               // bytes of a block of all channels (MS ADPCM)
  // What a decoder needs beyond the data, as the bank holds it. "dsp": for
  // each channel 0x2E bytes, big-endian: 16 coefficients, gain, the initial
  // predictor/scale and two samples of history, the loop's three.
  std::vector<uint8_t> codecSetup;
  // The bank or the member says its data is encrypted (an HCA cipher, an
  // FSB's flag): the key is nobody's guess.
  bool encrypted = false;
};
