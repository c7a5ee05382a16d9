#include "carve/formats/ogg/ogg_codec.h"

#include <algorithm>
#include <cstring>

#include "carve/formats/common/big_endian.h"
#include "carve/formats/common/little_endian.h"

namespace {

bool StartsWith(std::span<const uint8_t> packet, const char* magic, size_t length) {
  return packet.size() >= length && std::memcmp(packet.data(), magic, length) == 0;
}

// Vorbis: type 1, "vorbis", version, channels, rate, then three bit rates,
// block sizes and the framing bit (30 bytes).
OggCodecInfo ReadVorbis(const uint8_t* p) {
  OggCodecInfo info;
  info.codec = OggCodec::Vorbis;
  info.channels = p[11];
  info.sampleRate = Le32(p + 12);
  return info;
}

// Opus: "OpusHead", version, channels, pre-skip, the input's rate, gain and
// channel mapping (19 bytes). Opus always decodes at 48 kHz.
OggCodecInfo ReadOpus(const uint8_t* p) {
  OggCodecInfo info;
  info.codec = OggCodec::Opus;
  info.channels = p[9];
  info.preSkip = Le16(p + 10);
  info.sampleRate = 48000;
  return info;
}

// FLAC in Ogg: 0x7F "FLAC", version, header count, "fLaC", the STREAMINFO
// block's header and body (51 bytes); the rate is 20 bits at the body's
// byte 10, the channels less one the 3 bits after it.
OggCodecInfo ReadFlac(const uint8_t* p) {
  OggCodecInfo info;
  if (std::memcmp(p + 9, "fLaC", 4) != 0 || (p[13] & 0x7F) != 0) return info;
  const uint8_t* si = p + 17;
  info.codec = OggCodec::Flac;
  info.sampleRate = static_cast<int64_t>(si[10]) << 12 | si[11] << 4 | si[12] >> 4;
  info.channels = ((si[12] >> 1) & 7) + 1;
  return info;
}

// Speex: "Speex   ", the version text and number, the header size, then the
// rate (byte 36) and, after mode and mode version, the channels (byte 48).
OggCodecInfo ReadSpeex(const uint8_t* p) {
  OggCodecInfo info;
  info.codec = OggCodec::Speex;
  info.sampleRate = Le32(p + 36);
  info.channels = Le32(p + 48);
  return info;
}

// Theora: 0x80 "theora", version, sizes, the frame rate as two big-endian
// 32-bit numbers at bytes 22 and 26, and the key frame shift in the 5 bits
// after the 6-bit quality at byte 40 (42 bytes).
OggCodecInfo ReadTheora(const uint8_t* p) {
  OggCodecInfo info;
  info.codec = OggCodec::Theora;
  info.fpsNumerator = Be32(p + 22);
  info.fpsDenominator = Be32(p + 26);
  info.granuleShift = (p[40] & 0x03) << 3 | p[41] >> 5;
  info.countsFromOne = Be24(p + 7) >= 0x030201;
  return info;
}

}  // namespace

OggCodecInfo ReadOggCodec(std::span<const uint8_t> packet) {
  const uint8_t* p = packet.data();
  if (StartsWith(packet, "\x01vorbis", 7) && packet.size() >= 30) return ReadVorbis(p);
  if (StartsWith(packet, "OpusHead", 8) && packet.size() >= 19) return ReadOpus(p);
  if (StartsWith(packet,
                 "\x7f"
                 "FLAC",
                 5) &&
      packet.size() >= 51)
    return ReadFlac(p);
  if (StartsWith(packet, "Speex   ", 8) && packet.size() >= 80) return ReadSpeex(p);
  if (StartsWith(packet, "\x80theora", 7) && packet.size() >= 42) return ReadTheora(p);
  return {};
}

double OggSeconds(const OggCodecInfo& info, int64_t granule) {
  if (granule < 0) return 0.0;
  if (info.codec == OggCodec::Theora) {
    if (info.fpsNumerator <= 0 || info.fpsDenominator <= 0) return 0.0;
    // The key frame's number in the high bits, the frames since it in the
    // low ones.
    const int64_t keyFrame = granule >> info.granuleShift;
    const int64_t since = granule - (keyFrame << info.granuleShift);
    const int64_t frames = keyFrame + since + (info.countsFromOne ? 0 : 1);
    return static_cast<double>(frames) * static_cast<double>(info.fpsDenominator) /
           static_cast<double>(info.fpsNumerator);
  }
  if (info.codec == OggCodec::Unknown || info.sampleRate <= 0) return 0.0;
  const int64_t samples = std::max<int64_t>(granule - info.preSkip, 0);
  return static_cast<double>(samples) / static_cast<double>(info.sampleRate);
}

const char* OggCodecName(OggCodec codec) {
  switch (codec) {
    case OggCodec::Vorbis:
      return "Vorbis";
    case OggCodec::Opus:
      return "Opus";
    case OggCodec::Flac:
      return "FLAC";
    case OggCodec::Speex:
      return "Speex";
    case OggCodec::Theora:
      return "Theora";
    case OggCodec::Unknown:
      break;
  }
  return "";
}
