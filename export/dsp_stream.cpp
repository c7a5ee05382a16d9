#include "export/dsp_stream.h"

#include <algorithm>

#include "export/byte_writer.h"

namespace {

// Bytes of a channel in a block; 8-byte frames of 14 samples.
constexpr int64_t kBlock = 0x2000;
constexpr int64_t kFrame = 8, kFrameSamples = 14;
constexpr int64_t kPerBlock = kBlock / kFrame * kFrameSamples;
// A channel's setup in the bank, and in the BRSTM's HEAD.
constexpr int64_t kSetup = 0x2E, kChannelInfo = 0x38;
// The FSB's interleave of channels.
constexpr int64_t kInterleave = 2;
constexpr int64_t kMostChannels = 2;

void Pad(std::vector<uint8_t>& out, size_t unit) {
  out.resize((out.size() + unit - 1) / unit * unit);
}
int16_t Be16(const uint8_t* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }

// One channel's bytes of the member's.
std::vector<uint8_t> Plane(std::span<const uint8_t> data, int64_t channel, int64_t channels,
                           int64_t bytes) {
  std::vector<uint8_t> plane(static_cast<size_t>(bytes));
  for (int64_t i = 0; i < bytes; ++i) {
    plane[i] = data[(i / kInterleave * channels + channel) * kInterleave + i % kInterleave];
  }
  return plane;
}

// The history (last sample, the one before) at the start of every block of
// the channel `plane` of the coefficients and start of `setup`.
std::vector<std::pair<int16_t, int16_t>> Histories(const std::vector<uint8_t>& plane,
                                                   const uint8_t* setup) {
  std::vector<std::pair<int16_t, int16_t>> starts;
  int h1 = Be16(setup + 0x24), h2 = Be16(setup + 0x26);
  for (size_t at = 0; at + kFrame <= plane.size(); at += kFrame) {
    if (at % kBlock == 0) starts.emplace_back(h1, h2);
    const int pair = plane[at] >> 4 & 7, shift = plane[at] & 0xF;
    const int c1 = Be16(setup + 4 * pair), c2 = Be16(setup + 4 * pair + 2);
    for (int n = 0; n < kFrameSamples; ++n) {
      const int byte = plane[at + 1 + n / 2];
      int nibble = n % 2 == 0 ? byte >> 4 : byte & 0xF;
      if (nibble >= 8) nibble -= 16;
      const int sample = (((nibble << shift) << 11) + 1024 + c1 * h1 + c2 * h2) >> 11;
      h2 = h1;
      h1 = std::clamp(sample, -32768, 32767);
    }
  }
  return starts;
}

// HEAD: references (from its body) to the stream's info, the track and the
// channels, and each channel's DSP ADPCM setup as the bank gave it.
std::vector<uint8_t> Head(const Member& m, const std::vector<int64_t>& stream, bool loop,
                          int64_t headSize) {
  const int64_t infoAt = 0x18, trackAt = 0x50, channelsAt = 0x60, channels = m.channels;
  std::vector<uint8_t> out;
  Tag(out, "HEAD");
  PutBe(out, headSize, 4);
  for (int64_t at : {infoAt, trackAt, channelsAt}) {
    PutBe(out, 0x01000000, 4);
    PutBe(out, at, 4);
  }
  // The stream: DSP ADPCM, its loop, channels, rate, then its numbers.
  for (int64_t v : {int64_t{2}, int64_t{loop}, channels, int64_t{0}}) PutBe(out, v, 1);
  PutBe(out, m.rate, 2);
  PutBe(out, 0, 2);
  for (int64_t v : stream) PutBe(out, v, 4);
  out.resize(8 + trackAt);
  // One track of all the channels.
  PutBe(out, 0x01000000, 4);
  PutBe(out, 0x01000000, 4);
  PutBe(out, trackAt + 0x0C, 4);
  for (int64_t v : {channels, int64_t{0}, channels - 1, int64_t{0}, channels}) PutBe(out, v, 1);
  PutBe(out, 0, 3);
  const int64_t entries = channelsAt + 4 + 8 * channels;
  for (int64_t c = 0; c < channels; ++c) {
    PutBe(out, 0x01000000, 4);
    PutBe(out, entries + kChannelInfo * c, 4);
  }
  for (int64_t c = 0; c < channels; ++c) {
    PutBe(out, 0x01000000, 4);
    PutBe(out, entries + kChannelInfo * c + 8, 4);
    const uint8_t* setup = m.codecSetup.data() + kSetup * c;
    out.insert(out.end(), setup, setup + kSetup);
    PutBe(out, 0, 2);
  }
  out.resize(static_cast<size_t>(headSize));
  return out;
}

}  // namespace

bool BrstmFits(const Member& m) {
  return m.codec == "dsp" && m.channels >= 1 && m.channels <= kMostChannels && m.rate > 0 &&
         m.rate <= 0xFFFF && m.samples > 0 && std::ssize(m.codecSetup) == kSetup * m.channels;
}

std::vector<uint8_t> BrstmOf(const Member& m, std::span<const uint8_t> data) {
  if (!BrstmFits(m)) return {};
  const int64_t channels = m.channels;
  // Whole frames of every channel, and no more than the samples need.
  const int64_t frames = std::min((m.samples + kFrameSamples - 1) / kFrameSamples,
                                  std::ssize(data) / channels / kInterleave * kInterleave / kFrame);
  const int64_t bytes = frames * kFrame, samples = std::min(m.samples, frames * kFrameSamples);
  if (frames == 0) return {};
  const int64_t blocks = (bytes + kBlock - 1) / kBlock, last = bytes - (blocks - 1) * kBlock;
  const int64_t lastPadded = (last + 0x1F) / 0x20 * 0x20;
  std::vector<std::vector<uint8_t>> planes;
  std::vector<std::vector<std::pair<int16_t, int16_t>>> histories;
  for (int64_t c = 0; c < channels; ++c) {
    planes.push_back(Plane(data, c, channels, bytes));
    histories.push_back(Histories(planes.back(), m.codecSetup.data() + kSetup * c));
  }
  const bool loop = m.loopStart >= 0 && m.loopStart < samples && m.loopEnd >= samples - 1;
  const int64_t headSize = (8 + 0x64 + (8 + kChannelInfo) * channels + 0x1F) / 0x20 * 0x20;
  const int64_t adpcAt = 0x40 + headSize;
  const int64_t adpcSize = (8 + 4 * channels * blocks + 0x1F) / 0x20 * 0x20;
  const int64_t dataAt = adpcAt + adpcSize,
                dataSize = 0x20 + (blocks - 1) * kBlock * channels + lastPadded * channels;
  std::vector<uint8_t> out;
  Tag(out, "RSTM");
  PutBe(out, 0xFEFF, 2);
  PutBe(out, 0x0100, 2);
  PutBe(out, dataAt + dataSize, 4);
  PutBe(out, 0x40, 2);
  PutBe(out, 2, 2);  // sections after HEAD's: ADPC, DATA
  for (int64_t v : {int64_t{0x40}, headSize, adpcAt, adpcSize, dataAt, dataSize}) PutBe(out, v, 4);
  Pad(out, 0x40);
  const auto head = Head(m,
                         {loop ? m.loopStart : 0, samples, dataAt + 0x20, blocks, kBlock, kPerBlock,
                          last, samples - (blocks - 1) * kPerBlock, lastPadded, kPerBlock, 4},
                         loop, headSize);
  out.insert(out.end(), head.begin(), head.end());
  Tag(out, "ADPC");
  PutBe(out, adpcSize, 4);
  for (int64_t b = 0; b < blocks; ++b) {
    for (int64_t c = 0; c < channels; ++c) {
      PutBe(out, static_cast<uint16_t>(histories[c][b].first), 2);
      PutBe(out, static_cast<uint16_t>(histories[c][b].second), 2);
    }
  }
  Pad(out, 0x20);
  Tag(out, "DATA");
  PutBe(out, dataSize, 4);
  PutBe(out, 0x18, 4);
  out.resize(out.size() + 0x14);
  for (int64_t b = 0; b < blocks; ++b) {
    for (int64_t c = 0; c < channels; ++c) {
      const auto from = planes[c].begin() + b * kBlock;
      out.insert(out.end(), from, from + std::min(kBlock, bytes - b * kBlock));
      if (b == blocks - 1) out.resize(out.size() + lastPadded - last);
    }
  }
  return out;
}
