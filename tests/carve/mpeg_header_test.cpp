#include "carve/formats/mpeg/mpeg_header.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>

#include "carve/formats/mpeg/mpeg_layer12.h"

namespace {

using Header = std::array<uint8_t, 4>;

struct DecodeCase {
  Header bytes;
  int32_t version;
  uint8_t crc;
  int32_t bitrate;
  int32_t sampleRate;
  uint8_t channelMode;
  uint8_t padding;
  int32_t frameLength;
  int32_t duration;
};

void ExpectDecodes(const DecodeCase& c) {
  SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[0]) << ' ' << int(c.bytes[1]) << ' '
                                  << int(c.bytes[2]) << ' ' << int(c.bytes[3]));
  TFrameInfo info{};
  ASSERT_TRUE(DecodeMpegHeader(c.bytes.data(), info));
  EXPECT_EQ(info.MpegVersion, c.version);
  EXPECT_EQ(info.Layer, 3);
  EXPECT_EQ(info.CrcProtected, c.crc);
  EXPECT_EQ(info.Bitrate, c.bitrate);
  EXPECT_EQ(info.SampleRate, c.sampleRate);
  EXPECT_EQ(info.ChannelMode, c.channelMode);
  EXPECT_EQ(info.Padding, c.padding);
  EXPECT_EQ(info.FrameLength, c.frameLength);
  EXPECT_EQ(info.Duration, c.duration);
}

bool Decodes(Header bytes) {
  TFrameInfo info{};
  return DecodeMpegHeader(bytes.data(), info);
}

}  // namespace

TEST(MpegHeader, DecodesEachVersionWithTruncatedLengthAndRoundedDuration) {
  // 144000 * 128 / 44100 = 417.96 is truncated; 417 * 8 / 128 = 26.06 ms.
  ExpectDecodes({{0xFF, 0xFB, 0x90, 0x64}, 10, 0, 128, 44100, 1, 0, 417, 26});
  // Protection bit clear: a CRC follows; padding adds one byte (26.125 ms).
  ExpectDecodes({{0xFF, 0xFA, 0x92, 0x00}, 10, 1, 128, 44100, 0, 1, 418, 26});
  ExpectDecodes({{0xFF, 0xF3, 0x84, 0xC4}, 20, 0, 64, 24000, 3, 0, 192, 24});
  ExpectDecodes({{0xFF, 0xF2, 0x84, 0x80}, 20, 1, 64, 24000, 2, 0, 192, 24});
  ExpectDecodes({{0xFF, 0xE3, 0x18, 0xC4}, 25, 0, 8, 8000, 3, 0, 72, 72});
  ExpectDecodes({{0xFF, 0xE2, 0xE0, 0x40}, 25, 1, 160, 11025, 1, 0, 1044, 52});
}

TEST(MpegHeader, DurationHalvesGoToTheEvenNeighbour) {
  // 49 * 8 / 16 = 24.5 rounds down to 24, 53 * 8 / 16 = 26.5 rounds up to 26.
  ExpectDecodes({{0xFF, 0xF3, 0x26, 0x00}, 20, 0, 16, 24000, 0, 1, 49, 24});
  ExpectDecodes({{0xFF, 0xF3, 0x22, 0x00}, 20, 0, 16, 22050, 0, 1, 53, 26});
}

TEST(MpegHeader, EveryFieldCombinationOfTheSixSecondBytesDecodes) {
  // Every (b1, b2) pair: exactly the six Layer III second bytes, bitrate
  // indexes 1..14 and sample-rate indexes 0..2 decode, whatever the padding
  // and private bits say.
  const std::set<int> accepted = {0xFB, 0xFA, 0xF3, 0xF2, 0xE3, 0xE2};
  int decoded = 0;
  int32_t shortest = INT32_MAX, longest = 0;
  for (int b1 = 0; b1 < 256; ++b1) {
    for (int b2 = 0; b2 < 256; ++b2) {
      TFrameInfo info{};
      Header h{0xFF, uint8_t(b1), uint8_t(b2), 0x00};
      bool ok = DecodeMpegHeader(h.data(), info);
      int bitrateIndex = b2 >> 4, rateIndex = (b2 >> 2) & 3;
      bool expected =
          accepted.count(b1) && bitrateIndex != 0 && bitrateIndex != 15 && rateIndex != 3;
      ASSERT_EQ(ok, expected) << std::hex << b1 << ' ' << b2;
      if (!ok) continue;
      ++decoded;
      EXPECT_EQ(info.Layer, 3);
      EXPECT_EQ(info.Padding, (b2 >> 1) & 1);
      // A run's average bit rate divides by the summed durations.
      EXPECT_GT(info.Duration, 0);
      shortest = std::min(shortest, info.FrameLength);
      longest = std::max(longest, info.FrameLength);
    }
  }
  EXPECT_EQ(decoded, 6 * 14 * 3 * 4);
  EXPECT_EQ(shortest, 24);   // MPEG-2, 8 kbit/s, 24000 Hz
  EXPECT_EQ(longest, 1441);  // MPEG-1, 320 kbit/s, 32000 Hz, padding
  ExpectDecodes({{0xFF, 0xF3, 0x14, 0x00}, 20, 0, 8, 24000, 0, 0, 24, 24});
  ExpectDecodes({{0xFF, 0xFB, 0xEA, 0x00}, 10, 0, 320, 32000, 0, 1, 1441, 36});
}

TEST(MpegHeader, RejectsOtherLayersVersionsAndReservedIndexes) {
  EXPECT_FALSE(Decodes({0xFE, 0xFB, 0x90, 0x64}));  // no sync in the first byte
  EXPECT_FALSE(Decodes({0x7F, 0xFB, 0x90, 0x64}));
  for (uint8_t b1 : {0xFF, 0xFD, 0xFE, 0xF7, 0xEA, 0xEB, 0xF9, 0xE0, 0xC3, 0x7B})
    EXPECT_FALSE(Decodes({0xFF, b1, 0x90, 0x64})) << std::hex << int(b1);
  EXPECT_FALSE(Decodes({0xFF, 0xFB, 0x00, 0x64}));  // free format
  EXPECT_FALSE(Decodes({0xFF, 0xFB, 0xF0, 0x64}));  // bitrate index 15
  EXPECT_FALSE(Decodes({0xFF, 0xFB, 0x9C, 0x64}));  // sample-rate index 3
  EXPECT_FALSE(Decodes({0xFF, 0xE3, 0x1C, 0x64}));
}

TEST(MpegHeader, FourthByteOnlyGivesTheChannelMode) {
  // Mode extension, copyright, original and emphasis (reserved value 2
  // included) are ignored; FF FB 90 66 is a header like FF FB 90 64.
  TFrameInfo base{};
  ASSERT_TRUE(DecodeMpegHeader(Header{0xFF, 0xFB, 0x90, 0x64}.data(), base));
  for (int b3 = 0; b3 < 256; ++b3) {
    TFrameInfo info{};
    ASSERT_TRUE(DecodeMpegHeader(Header{0xFF, 0xFB, 0x90, uint8_t(b3)}.data(), info)) << b3;
    EXPECT_EQ(info.ChannelMode, b3 >> 6);
    EXPECT_EQ(info.FrameLength, base.FrameLength);
    EXPECT_EQ(info.Duration, base.Duration);
  }
}

TEST(MpegHeader, TableLookupsKnowOnlyLayerThreeOfTheThreeVersions) {
  EXPECT_EQ(MpegBitrate(10, 3, 1), 32);
  EXPECT_EQ(MpegBitrate(10, 3, 14), 320);
  for (int32_t index = 0; index < 16; ++index)
    EXPECT_EQ(MpegBitrate(25, 3, index), MpegBitrate(20, 3, index)) << index;
  EXPECT_EQ(MpegBitrate(20, 3, 14), 160);
  EXPECT_EQ(MpegBitrate(10, 3, 0), 0);
  EXPECT_EQ(MpegBitrate(10, 3, 15), 0);
  EXPECT_EQ(MpegBitrate(10, 2, 9), 0);
  EXPECT_EQ(MpegBitrate(15, 3, 9), 0);
  EXPECT_EQ(MpegBitrate(10, 3, 16), 0);
  EXPECT_EQ(MpegBitrate(10, 3, -1), 0);

  // One table serves every layer: the rates of Layers I and II by version, and
  // none of MPEG-2.5 or of Layer III through the Layer I/II lookup.
  struct Rate {
    int32_t version, layer, index, kbps;
  };
  for (const Rate& r :
       {Rate{10, 1, 1, 32}, Rate{10, 1, 14, 448}, Rate{10, 2, 2, 48}, Rate{10, 2, 14, 384},
        Rate{20, 1, 9, 144}, Rate{20, 1, 14, 256}, Rate{20, 2, 1, 8}, Rate{20, 2, 14, 160},
        Rate{25, 2, 5, 0}, Rate{10, 3, 5, 0}, Rate{20, 1, 15, 0}}) {
    EXPECT_EQ(Layer12Bitrate(r.version, r.layer, r.index), r.kbps)
        << r.version << " " << r.layer << " " << r.index;
  }

  EXPECT_EQ(MpegSampleRate(10, 1), 48000);
  EXPECT_EQ(MpegSampleRate(20, 2), 16000);
  EXPECT_EQ(MpegSampleRate(25, 0), 11025);
  for (int32_t version : {10, 20, 25}) EXPECT_EQ(MpegSampleRate(version, 3), 0);
  EXPECT_EQ(MpegSampleRate(0, 0), 0);
  EXPECT_EQ(MpegSampleRate(10, 4), 0);
}
