#include "carve/formats/mpeg/mpeg_layer12.h"

#include <cmath>

namespace {

constexpr uint8_t kMono = 3;
constexpr uint8_t kReservedEmphasis = 2;

}  // namespace

int32_t Layer12Bitrate(int32_t version, int32_t layer, int32_t index) {
  if (version == 25 || layer == 3) return 0;
  return FrameBitrate(version, layer, index);
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
  const uint8_t b0 = bytes[0], b1 = bytes[1], b3 = bytes[3];
  if (b0 != 0xFF) return false;
  // Eleven sync bits and the version bits 11 (MPEG-1) or 10 (MPEG-2), then
  // the layer bits 11 (Layer I) or 10 (Layer II): F4 to F7, FC to FF.
  if ((b1 & 0xF4) != 0xF4) return false;
  if ((b3 & 0x03) == kReservedEmphasis) return false;

  // MPEG-1 or MPEG-2, Layer I or II, as the sync bits above allow.
  if (!DecodeFrameFields(bytes, info)) return false;
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
