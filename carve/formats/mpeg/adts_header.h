// ADTS (Audio Data Transport Stream) headers of AAC frames: a 12-bit sync
// word, the fixed header that stays the same in every frame of a stream, and
// the variable header with the frame's length.
#pragma once

#include <cstdint>

// The bytes an ADTS header takes before its optional CRC.
constexpr int kAdtsHeaderBytes = 7;

struct AdtsHeader {
  uint8_t mpegId;         // 0 MPEG-4, 1 MPEG-2
  bool crc;               // a CRC follows the header (protection_absent clear)
  uint8_t profile;        // 0 Main, 1 LC, 2 SSR, 3 LTP (MPEG-4 only)
  int32_t sampleRate;     // Hz
  uint8_t channelConfig;  // 0: given by a program config element; 1..7
  int32_t channels;       // of the configuration; 0 for configuration 0
  int32_t frameLength;    // bytes, header included
  int32_t fullness;       // buffer fullness; kAdtsVariableRate for VBR
  int32_t rawBlocks;      // raw data blocks in the frame, 1..4
  int32_t headerLength;   // 7, or with a CRC 9 and 2 more per extra block
  int32_t samples;        // per channel: 1024 a raw data block
};

constexpr int32_t kAdtsVariableRate = 0x7FF;

// Sampling frequency in Hz of index 0..12; 0 for the reserved indexes 13 and
// 14, the escape value 15 (no ADTS header uses it) and any other.
int32_t AdtsSampleRate(int32_t index);

// Examines the first kAdtsHeaderBytes of `bytes`. True when they are an ADTS
// header this system accepts, with every field of `header` set: sync, layer
// 0, a profile that exists for its MPEG version, a sampling frequency, and a
// frame length no less than the header and its raw data blocks need (one
// byte each, the CRCs after them included). The length field alone bounds a
// frame: encoders of variable bit rate write frames larger than the 6144 bits
// a channel that a decoder's buffer holds on average.
bool DecodeAdtsHeader(const uint8_t* bytes, AdtsHeader& header);

// The most bytes from a frame's start AdtsFramePossible() reads: the header
// with its CRC and the first byte of the raw data.
constexpr int kAdtsCheckedBytes = kAdtsHeaderBytes + 2 + 6 + 1;

// Examines the frame at `bytes`, whose header DecodeAdtsHeader() took into
// `header`, as far as its first `avail` bytes go. False when they show the
// frame breaks a rule: channel configuration 0 leaves the channels to a
// program config element, which must then open the raw data. True when the
// frame keeps the rules, or when the bytes held end before they can tell.
bool AdtsFramePossible(const uint8_t* bytes, int64_t avail, const AdtsHeader& header);

// False when the bytes cannot be a header DecodeAdtsHeader() takes, by the
// tests of its first three bytes: sync and layer 0, a profile of its MPEG
// version, a sampling index below 13. Cheap enough for every trigger.
inline bool MayBeAdtsHeader(const uint8_t* b) {
  const bool mpeg2 = (b[1] >> 3) & 1;
  return b[0] == 0xFF && (b[1] & 0xF6) == 0xF0 && !(mpeg2 && (b[2] >> 6) == 3) &&
         ((b[2] >> 2) & 0x0F) < 13;
}

// The fixed header of the ADTS header at `bytes` (sync, MPEG version, layer,
// protection, profile, sampling frequency, private bit, channel
// configuration, original/copy and home bits), with a bit telling whether the
// buffer fullness marks variable bit rate: what every frame of one stream
// shares.
uint32_t AdtsStreamKey(const uint8_t* bytes);

// "AAC-Main", "AAC-LC", "AAC-SSR" or "AAC-LTP"; "AAC" for any other value.
const char* AdtsProfileName(uint8_t profile);
