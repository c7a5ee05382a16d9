#include "carve/formats/mpeg/mpeg_header.h"

#include <array>
#include <cmath>

namespace {

// Bit rates in kbit/s by bitrate index, one row a version and layer: MPEG-1
// Layers I, II and III, then MPEG-2 (and 2.5) Layer I and Layers II and III,
// which share theirs. Index 0 (free format) and index 15 hold 0: such a header
// is not accepted.
constexpr int32_t kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};

// Sampling frequencies in Hz by sampling-frequency index; index 3 is reserved.
constexpr int32_t kSampleRateMpeg1[4] = {44100, 48000, 32000, 0};
constexpr int32_t kSampleRateMpeg2[4] = {22050, 24000, 16000, 0};
constexpr int32_t kSampleRateMpeg25[4] = {11025, 12000, 8000, 0};

// The frame length and duration of every header this system accepts, by
// version (0: MPEG-1, 1: MPEG-2, 2: MPEG-2.5), bit-rate index, sampling
// index and padding bit: worked out once rather than at every header.
struct FrameLengths {
  int32_t frameLength, duration;
};
using LengthTable = std::array<FrameLengths, 3 * 16 * 4 * 2>;

int LengthIndex(int version, int bitrateIndex, int sampleIndex, int padding) {
  return ((version * 16 + bitrateIndex) * 4 + sampleIndex) * 2 + padding;
}

LengthTable MakeLengthTable();

const LengthTable& Lengths() {
  static const LengthTable table = MakeLengthTable();
  return table;
}

}  // namespace

int32_t FrameBitrate(int32_t version, int32_t layer, int32_t index) {
  if (layer < 1 || layer > 3 || index < 0 || index > 15) return 0;
  switch (version) {
    case 10:
      return kBitrates[layer - 1][index];
    case 20:
    case 25:
      return kBitrates[layer == 1 ? 3 : 4][index];
    default:
      return 0;
  }
}

int32_t MpegBitrate(int32_t version, int32_t layer, int32_t index) {
  return layer == 3 ? FrameBitrate(version, layer, index) : 0;
}

int32_t MpegSampleRate(int32_t version, int32_t index) {
  if (index < 0 || index > 3) return 0;
  switch (version) {
    case 10:
      return kSampleRateMpeg1[index];
    case 20:
      return kSampleRateMpeg2[index];
    case 25:
      return kSampleRateMpeg25[index];
    default:
      return 0;
  }
}

namespace {

LengthTable MakeLengthTable() {
  LengthTable table{};
  const int32_t versions[] = {10, 20, 25};
  for (int v = 0; v < 3; ++v) {
    for (int b = 0; b < 16; ++b) {
      const int32_t bitrate = MpegBitrate(versions[v], 3, b);
      for (int f = 0; f < 4; ++f) {
        const int32_t rate = MpegSampleRate(versions[v], f);
        if (bitrate == 0 || rate == 0) continue;
        for (int padding = 0; padding < 2; ++padding) {
          // 1152 samples per MPEG-1 frame, 576 for MPEG-2 and 2.5, times
          // 1000 / 8 for kbit/s to bytes; the quotient is truncated before
          // the padding byte is added. The largest product, 144000 * 320,
          // fits 32 bits.
          const int32_t lengthFactor = versions[v] == 10 ? 144000 : 72000;
          const int32_t length = lengthFactor * bitrate / rate + padding;
          // Bits over kbit/s gives milliseconds; halves go to the even
          // neighbour under the default rounding mode.
          const auto duration =
              static_cast<int32_t>(std::nearbyint(static_cast<double>(length) * 8 / bitrate));
          table[LengthIndex(v, b, f, padding)] = {length, duration};
        }
      }
    }
  }
  return table;
}

}  // namespace

bool DecodeFrameFields(const uint8_t* bytes, TFrameInfo& info) {
  const uint8_t b1 = bytes[1], b2 = bytes[2], b3 = bytes[3];
  info.MpegVersion = (b1 & 0x08) ? 10 : (b1 & 0x10) ? 20 : 25;
  info.Layer = 4 - ((b1 & 0x06) >> 1);
  info.CrcProtected = (b1 & 0x01) ? 0 : 1;
  info.Bitrate = FrameBitrate(info.MpegVersion, info.Layer, b2 >> 4);
  if (info.Bitrate == 0) return false;
  info.SampleRate = MpegSampleRate(info.MpegVersion, (b2 & 0x0C) >> 2);
  if (info.SampleRate == 0) return false;
  info.Padding = (b2 & 0x02) ? 1 : 0;
  info.ChannelMode = b3 >> 6;
  return true;
}

bool DecodeMpegHeader(const uint8_t* bytes, TFrameInfo& info) {
  if (!IsMpegHeader(bytes) || !DecodeFrameFields(bytes, info)) return false;
  const uint8_t b2 = bytes[2];
  const int version = info.MpegVersion == 10 ? 0 : info.MpegVersion == 20 ? 1 : 2;
  const FrameLengths& lengths =
      Lengths()[LengthIndex(version, b2 >> 4, (b2 & 0x0C) >> 2, info.Padding)];
  info.FrameLength = lengths.frameLength;
  info.Duration = lengths.duration;
  return true;
}
