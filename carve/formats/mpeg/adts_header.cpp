#include "carve/formats/mpeg/adts_header.h"

namespace {

constexpr int32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
// The channels of configurations 1 to 7 (7 is 7.1: eight channels).
constexpr int32_t kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};
constexpr int kProgramConfigElement = 5;

}  // namespace

int32_t AdtsSampleRate(int32_t index) { return index >= 0 && index < 13 ? kSampleRates[index] : 0; }

bool DecodeAdtsHeader(const uint8_t* b, AdtsHeader& h) {
  if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return false;  // sync, layer 0
  h.mpegId = (b[1] >> 3) & 1;
  h.crc = (b[1] & 0x01) == 0;
  h.profile = b[2] >> 6;
  // MPEG-2 defines Main, LC and SSR; the fourth value is reserved there.
  if (h.mpegId == 1 && h.profile == 3) return false;
  h.sampleRate = AdtsSampleRate((b[2] >> 2) & 0x0F);
  if (h.sampleRate == 0) return false;
  h.channelConfig = static_cast<uint8_t>((b[2] & 0x01) << 2 | b[3] >> 6);
  h.channels = kChannels[h.channelConfig];
  h.frameLength = (b[3] & 0x03) << 11 | b[4] << 3 | b[5] >> 5;
  h.fullness = (b[5] & 0x1F) << 6 | b[6] >> 2;
  h.rawBlocks = (b[6] & 0x03) + 1;
  h.samples = 1024 * h.rawBlocks;
  // With a CRC, a frame of several blocks gives the position of each block
  // after the first, then the header's CRC, and each block is followed by a
  // CRC of its own.
  const bool several = h.rawBlocks > 1;
  h.headerLength = kAdtsHeaderBytes + (h.crc ? 2 + (several ? 2 * (h.rawBlocks - 1) : 0) : 0);
  const int32_t blockCrc = h.crc && several ? 2 : 0;
  return h.frameLength >= h.headerLength + h.rawBlocks * (1 + blockCrc);
}

bool AdtsFramePossible(const uint8_t* bytes, int64_t avail, const AdtsHeader& header) {
  if (header.channelConfig != 0) return true;
  // The first element of the raw data, its 3-bit id, is the program config
  // element (id 5).
  if (avail <= header.headerLength) return true;
  return bytes[header.headerLength] >> 5 == kProgramConfigElement;
}

uint32_t AdtsStreamKey(const uint8_t* b) {
  const bool variable = ((b[5] & 0x1F) << 6 | b[6] >> 2) == kAdtsVariableRate;
  return static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | (b[3] & 0xF0) |
         (variable ? 1u : 0u);
}

const char* AdtsProfileName(uint8_t profile) {
  switch (profile) {
    case 0:
      return "AAC-Main";
    case 1:
      return "AAC-LC";
    case 2:
      return "AAC-SSR";
    case 3:
      return "AAC-LTP";
    default:
      return "AAC";
  }
}
