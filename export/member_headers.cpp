#include "export/member_headers.h"

#include <algorithm>
#include <string>

#include "export/byte_writer.h"
#include "export/member_files.h"

namespace {

// MS ADPCM's standard coefficient pairs.
constexpr int16_t kAdpcmCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                              {240, 0}, {460, -208}, {392, -232}};
// XMA2: the bytes of a block as banks lay them out, and the encoder version.
constexpr int64_t kXmaBlock = 0x10000;
constexpr uint8_t kXmaEncoder = 4;
// Xbox IMA ADPCM: bytes of a channel's block, and its samples.
constexpr int64_t kXboxImaBlock = 36, kXboxImaSamples = 64;

// WAVEFORMATEX: its first 16 bytes.
std::vector<uint8_t> WaveFormat(int tag, const Member& m, int64_t bytesPerSecond,
                                int64_t blockAlign, int bits) {
  std::vector<uint8_t> f;
  PutLe(f, tag, 2);
  PutLe(f, m.channels, 2);
  PutLe(f, m.rate, 4);
  PutLe(f, bytesPerSecond, 4);
  PutLe(f, blockAlign, 2);
  PutLe(f, bits, 2);
  return f;
}

// "RIFF", the format chunk, a fact chunk when `samples` is known, the data
// chunk's header for `dataBytes`.
std::vector<uint8_t> Riff(const std::vector<uint8_t>& fmt, int64_t samples, int64_t dataBytes) {
  std::vector<uint8_t> body;
  body.reserve(40 + fmt.size());
  Tag(body, "WAVE");
  Tag(body, "fmt ");
  PutLe(body, fmt.size(), 4);
  body.insert(body.end(), fmt.begin(), fmt.end());
  if (samples >= 0) {
    Tag(body, "fact");
    PutLe(body, 4, 4);
    PutLe(body, samples, 4);
  }
  Tag(body, "data");
  PutLe(body, dataBytes, 4);
  std::vector<uint8_t> h;
  h.reserve(8 + body.size());
  Tag(h, "RIFF");
  PutLe(h, body.size() + dataBytes, 4);
  h.insert(h.end(), body.begin(), body.end());
  return h;
}

// MS ADPCM (2): the format and 32 more bytes (samples a block, the
// coefficients).
std::vector<uint8_t> AdpcmHeader(const Member& m) {
  const int64_t perBlock = (m.blockAlign - 7 * m.channels) * 2 / m.channels + 2;
  std::vector<uint8_t> fmt = WaveFormat(2, m, m.rate * m.blockAlign / perBlock, m.blockAlign, 4);
  PutLe(fmt, 32, 2);
  PutLe(fmt, perBlock, 2);
  PutLe(fmt, 7, 2);
  for (const auto& pair : kAdpcmCoefficients) {
    PutLe(fmt, static_cast<uint16_t>(pair[0]), 2);
    PutLe(fmt, static_cast<uint16_t>(pair[1]), 2);
  }
  return Riff(fmt, m.samples, m.length);
}

// Xbox IMA ADPCM (0x69): blocks of 36 bytes a channel, a header of 4 bytes
// each and 64 samples; 2 more bytes: the samples a block.
std::vector<uint8_t> XboxImaHeader(const Member& m) {
  const int64_t blockAlign = kXboxImaBlock * m.channels;
  std::vector<uint8_t> fmt =
      WaveFormat(0x69, m, m.rate * blockAlign / kXboxImaSamples, blockAlign, 4);
  PutLe(fmt, 2, 2);
  PutLe(fmt, kXboxImaSamples, 2);
  return Riff(fmt, m.samples, m.length);
}

// XMA2 (0x166): the format and 34 more bytes (XMA2WAVEFORMATEX): streams of
// up to two channels, the channel mask, the samples encoded and played,
// no loop, the blocks.
std::vector<uint8_t> XmaHeader(const Member& m) {
  const int64_t samples = std::max<int64_t>(m.samples, 0);
  std::vector<uint8_t> fmt = WaveFormat(0x166, m, m.rate * m.channels * 2, m.channels * 2, 16);
  PutLe(fmt, 34, 2);
  PutLe(fmt, (m.channels + 1) / 2, 2);
  PutLe(fmt, m.channels == 1 ? 0x4 : m.channels == 2 ? 0x3 : 0, 4);
  PutLe(fmt, samples, 4);
  PutLe(fmt, kXmaBlock, 4);
  PutLe(fmt, 0, 4);
  PutLe(fmt, samples, 4);
  PutLe(fmt, 0, 4);
  PutLe(fmt, 0, 4);
  PutLe(fmt, 0, 1);
  PutLe(fmt, kXmaEncoder, 1);
  PutLe(fmt, (m.length + kXmaBlock - 1) / kXmaBlock, 2);
  return Riff(fmt, -1, m.length);
}

bool Known(const Member& m) { return m.rate > 0 && m.channels > 0; }

}  // namespace

const char* HeaderedExtension(const Member& m) {
  if (!Known(m)) return nullptr;
  if (m.codec == "msadpcm" && m.blockAlign > 7 * m.channels) return "wav";
  if (m.codec == "xma" && m.channels <= 2) return "xma";
  // More channels interleave their headers otherwise.
  if (m.codec == "imaadpcm" && m.channels <= 2) return "wav";
  return nullptr;
}

std::vector<uint8_t> RiffHeaderOf(const Member& m) {
  if (!HeaderedExtension(m)) return {};
  if (m.codec == "msadpcm") return AdpcmHeader(m);
  if (m.codec == "imaadpcm") return XboxImaHeader(m);
  return XmaHeader(m);
}
