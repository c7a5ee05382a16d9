#include "carve/mpeg_layer12.h"

#include <cmath>

namespace {

// Bit rates in kbit/s by bitrate index; index 0 (free format) and index 15
// hold 0: such a header is not accepted.
constexpr int32_t kLayer1Mpeg1[16] = {0,   32,  64,  96,  128, 160, 192, 224,
                                      256, 288, 320, 352, 384, 416, 448, 0};
constexpr int32_t kLayer2Mpeg1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                      128, 160, 192, 224, 256, 320, 384, 0};
constexpr int32_t kLayer1Mpeg2[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                      128, 144, 160, 176, 192, 224, 256, 0};
// MPEG-2 Layer II shares its bit rates with Layer III.
constexpr int32_t kLayer2Mpeg2[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                      64, 80, 96, 112, 128, 144, 160, 0};

constexpr uint8_t kMono = 3;
constexpr uint8_t kReservedEmphasis = 2;

}  // namespace

int32_t Layer12Bitrate(int32_t version, int32_t layer, int32_t index) {
  if (index < 0 || index > 15) return 0;
  if (version == 10 && layer == 1) return kLayer1Mpeg1[index];
  if (version == 10 && layer == 2) return kLayer2Mpeg1[index];
  if (version == 20 && layer == 1) return kLayer1Mpeg2[index];
  if (version == 20 && layer == 2) return kLayer2Mpeg2[index];
  return 0;
}

int32_t Layer12Samples(int32_t layer) { return layer == 1 ? 384 : 1152; }

bool Layer2ModeAllowed(int32_t version, int32_t bitrate, uint8_t channelMode) {
  if (version != 10) return true;
  const bool mono = channelMode == kMono;
  switch (bitrate) {
    case 32:
    case 48:
    case 56:
    case 80:
      return mono;
    case 224:
    case 256:
    case 320:
    case 384:
      return !mono;
    default:
      return true;
  }
}

bool DecodeLayer12Header(const uint8_t* bytes, TFrameInfo& info) {
  const uint8_t b0 = bytes[0], b1 = bytes[1], b2 = bytes[2], b3 = bytes[3];
  if (b0 != 0xFF) return false;
  // Eleven sync bits and the version bits 11 (MPEG-1) or 10 (MPEG-2), then
  // the layer bits 11 (Layer I) or 10 (Layer II): F4 to F7, FC to FF.
  if ((b1 & 0xF4) != 0xF4) return false;
  if ((b3 & 0x03) == kReservedEmphasis) return false;

  info.MpegVersion = (b1 & 0x08) ? 10 : 20;
  info.Layer = 4 - ((b1 & 0x06) >> 1);
  info.CrcProtected = (b1 & 0x01) ? 0 : 1;
  info.Bitrate = Layer12Bitrate(info.MpegVersion, info.Layer, b2 >> 4);
  if (info.Bitrate == 0) return false;
  info.SampleRate = MpegSampleRate(info.MpegVersion, (b2 & 0x0C) >> 2);
  if (info.SampleRate == 0) return false;
  info.Padding = (b2 & 0x02) ? 1 : 0;
  info.ChannelMode = b3 >> 6;
  if (!ModeExtensionPossible(b3)) return false;
  if (info.Layer == 2 && !Layer2ModeAllowed(info.MpegVersion, info.Bitrate, info.ChannelMode)) {
    return false;
  }

  // The largest products, 12 000 × 448 and 144 000 × 384, fit 32 bits.
  if (info.Layer == 1) {
    info.FrameLength = (12000 * info.Bitrate / info.SampleRate + info.Padding) * 4;
  } else {
    info.FrameLength = 144000 * info.Bitrate / info.SampleRate + info.Padding;
  }
  info.Duration = static_cast<int32_t>(
      std::nearbyint(static_cast<double>(Layer12Samples(info.Layer)) * 1000 / info.SampleRate));
  return true;
}
