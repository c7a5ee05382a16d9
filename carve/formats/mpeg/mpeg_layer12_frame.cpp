// What a Layer I or Layer II frame holds after its header: the bit
// allocation, the scale factor selection (Layer II), the scale factors and
// the samples, in this order, and the CRC over the first of them.
#include <algorithm>

#include "carve/formats/mpeg/mpeg_layer12.h"

namespace {

constexpr uint8_t kJointStereo = 1, kMono = 3;

// The bits of a frame, first bit first, as far as they are held.
class FrameBits {
 public:
  FrameBits(const uint8_t* bytes, int64_t count, int64_t from)
      : p_(bytes), end_(count * 8), pos_(from) {}

  int64_t position() const { return pos_; }
  bool holds(int64_t bits) const { return pos_ + bits <= end_; }
  // 1..16 bits; holds(n) first.
  uint32_t read(int n) {
    const int64_t last = pos_ + n - 1;
    uint32_t w = 0;
    for (int64_t i = pos_ >> 3; i <= last >> 3; ++i) w = w << 8 | p_[i];
    pos_ += n;
    return (w >> (7 - (last & 7))) & ((1u << n) - 1);
  }
  void skip(int64_t n) { pos_ += n; }

 private:
  const uint8_t* p_;
  int64_t end_;
  int64_t pos_;
};

// CRC-16 of MPEG audio: polynomial x^16 + x^15 + x^2 + 1, register started
// at all ones, over `count` bits of `bytes` from bit `first`.
uint16_t CrcOverBits(uint16_t crc, const uint8_t* bytes, int64_t first, int64_t count) {
  for (int64_t at = first; at < first + count; ++at) {
    const unsigned bit = (bytes[at >> 3] >> (7 - (at & 7))) & 1u;
    const bool carry = ((crc >> 15) ^ bit) & 1u;
    crc = static_cast<uint16_t>(crc << 1);
    if (carry) crc ^= 0x8005;
  }
  return crc;
}

// The CRC word after the header matches the 16 bits of the header from the
// bit rate on and the `count` protected bits that follow the CRC word.
bool CrcMatches(const uint8_t* bytes, int64_t count) {
  const uint16_t crc = CrcOverBits(CrcOverBits(0xFFFF, bytes, 16, 16), bytes, 48, count);
  return crc == (bytes[4] << 8 | bytes[5]);
}

// One line of a Layer II allocation table: the bits of the allocation and
// the quantisation class each allocation value 1.. stands for.
struct AllocationRow {
  int bits;
  uint8_t classes[15];
};

// MPEG-1 tables a and b, first 3 subbands; then 8, 12 and 7 more.
constexpr AllocationRow kRowAB0 = {4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
constexpr AllocationRow kRowAB1 = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}};
constexpr AllocationRow kRowAB2 = {3, {0, 1, 2, 3, 4, 5, 16}};
constexpr AllocationRow kRowAB3 = {2, {0, 1, 16}};
// MPEG-1 tables c and d, first 2 subbands; then 10 more.
constexpr AllocationRow kRowCD0 = {4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
constexpr AllocationRow kRowCD1 = {3, {0, 1, 3, 4, 5, 6, 7}};
// MPEG-2 at low sampling frequencies: 4 subbands, 7 like kRowCD1, 19 more.
constexpr AllocationRow kRowLow0 = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}};
constexpr AllocationRow kRowLow2 = {2, {0, 1, 3}};

struct AllocationTable {
  int subbands;                  // the subbands the frame codes
  const AllocationRow* rows[4];  // rows[i] for subbands from starts[i] on
  int starts[4];
};

constexpr AllocationTable kTableA = {27, {&kRowAB0, &kRowAB1, &kRowAB2, &kRowAB3}, {0, 3, 11, 23}};
constexpr AllocationTable kTableB = {30, {&kRowAB0, &kRowAB1, &kRowAB2, &kRowAB3}, {0, 3, 11, 23}};
constexpr AllocationTable kTableC = {8, {&kRowCD0, &kRowCD1, &kRowCD1, &kRowCD1}, {0, 2, 2, 2}};
constexpr AllocationTable kTableD = {12, {&kRowCD0, &kRowCD1, &kRowCD1, &kRowCD1}, {0, 2, 2, 2}};
constexpr AllocationTable kTableLow = {
    30, {&kRowLow0, &kRowCD1, &kRowLow2, &kRowLow2}, {0, 4, 11, 11}};

// The table a Layer II frame uses: by the bit rate of each channel and the
// sampling frequency in MPEG-1, the one table in MPEG-2.
const AllocationTable& TableOf(const TFrameInfo& info, int channels) {
  if (info.MpegVersion != 10) return kTableLow;
  const int32_t perChannel = info.Bitrate / channels;
  if ((info.SampleRate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) {
    return kTableA;
  }
  if (info.SampleRate != 48000 && perChannel >= 96) return kTableB;
  if (info.SampleRate != 32000 && perChannel <= 48) return kTableC;
  return kTableD;
}

const AllocationRow& RowOf(const AllocationTable& table, int subband) {
  int i = 3;
  while (subband < table.starts[i]) --i;
  return *table.rows[i];
}

// Quantisation classes 0..16 of Layer II (3, 5, 7, 9, 15, 31 ... 65535
// steps): classes 0, 1 and 3 code three samples in one word, the others
// each sample alone. `limit` is the first code no value has.
struct QuantClass {
  int codes;  // code words a granule of three samples takes
  int bits;   // of each code word
  uint32_t limit;
};

constexpr QuantClass kQuantClasses[17] = {
    {1, 5, 27},    {1, 7, 125},   {3, 3, 7},      {1, 10, 729},   {3, 4, 15},     {3, 5, 31},
    {3, 6, 63},    {3, 7, 127},   {3, 8, 255},    {3, 9, 511},    {3, 10, 1023},  {3, 11, 2047},
    {3, 12, 4095}, {3, 13, 8191}, {3, 14, 16383}, {3, 15, 32767}, {3, 16, 65535},
};

int TripletBits(int quantClass) {
  return kQuantClasses[quantClass].codes * kQuantClasses[quantClass].bits;
}

// How the checks of a frame end when the bytes held run out: a frame held
// whole breaks its rules; of a frame held in part nothing is known.
// It also tells whether the frame allocates any subband.
struct Held {
  bool whole;
  bool sounds = false;
  bool runOut() const { return !whole; }
};

// Reads `count` scale factors; false on index 63, which no table has.
bool ScaleFactorsValid(FrameBits& bits, int count) {
  for (int i = 0; i < count; ++i) {
    if (bits.read(6) == 63) return false;
  }
  return true;
}

// The scale factors and samples the allocation asks for fit in the frame
// after the bits read so far, and the CRC, when the frame has one, matches
// those of them it covers.
bool FitsAndMatchesCrc(const FrameBits& bits, const uint8_t* bytes, const TFrameInfo& info,
                       int scaleFactors, int64_t sampleBits) {
  const int64_t protectedBits = bits.position() - (info.CrcProtected ? 48 : 32);
  if (bits.position() + 6 * scaleFactors + sampleBits > int64_t{info.FrameLength} * 8) return false;
  return !info.CrcProtected || CrcMatches(bytes, protectedBits);
}

// Twelve samples a subband, of the bits `widths` gives each subband coded
// (value + 1): 2^bits - 1 steps, so that no sample is all ones.
bool Layer1SamplesPossible(FrameBits& bits, const uint8_t* widths, int coded, const Held& held) {
  for (int s = 0; s < 12; ++s) {
    for (int i = 0; i < coded; ++i) {
      const int n = widths[i];
      if (!bits.holds(n)) return held.runOut();
      if (bits.read(n) == (1u << n) - 1) return false;
    }
  }
  return true;
}

bool Layer1FramePossible(FrameBits& bits, const uint8_t* bytes, const TFrameInfo& info,
                         int channels, int bound, Held& held) {
  constexpr int kSubbands = 32;
  // The bits of each sample coded, in the order of the samples of a block.
  uint8_t widths[2 * kSubbands];
  int coded = 0, scaleFactors = 0;
  int64_t sampleBits = 0;
  for (int sb = 0; sb < kSubbands; ++sb) {
    const int codes = sb < bound ? channels : 1;
    if (!bits.holds(4 * codes)) return held.runOut();
    for (int ch = 0; ch < codes; ++ch) {
      const uint32_t value = bits.read(4);
      if (value == 15) return false;  // no allocation has the value 15
      if (value == 0) continue;
      widths[coded++] = static_cast<uint8_t>(value + 1);
      sampleBits += 12 * (value + 1);
      // Above the bound the one allocation has a scale factor a channel.
      scaleFactors += codes < channels ? channels : 1;
    }
  }
  held.sounds = sampleBits > 0;
  if (!FitsAndMatchesCrc(bits, bytes, info, scaleFactors, sampleBits)) return false;
  if (!bits.holds(6 * scaleFactors)) return held.runOut();
  if (!ScaleFactorsValid(bits, scaleFactors)) return false;
  return Layer1SamplesPossible(bits, widths, coded, held);
}

// Reads the scale factor selection of each subband that has an allocation
// (`classes`, 0xFF: none) and gives the number of scale factors they select;
// -1 when the bits held end first.
int ReadScaleFactorSelections(FrameBits& bits, const uint8_t (&classes)[2][32], int subbands,
                              int channels) {
  static constexpr int kScaleFactors[4] = {3, 2, 1, 2};  // by selection
  int scaleFactors = 0;
  for (int sb = 0; sb < subbands; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (classes[ch][sb] == 0xFF) continue;
      if (!bits.holds(2)) return -1;
      scaleFactors += kScaleFactors[bits.read(2)];
    }
  }
  return scaleFactors;
}

// Twelve granules of three samples a subband, each of a number of steps no
// power of two: no code reaches the steps of its class (cubed when the three
// share a code word). `codedClasses` gives the class of each subband coded.
bool Layer2SamplesPossible(FrameBits& bits, const uint8_t* codedClasses, int coded,
                           const Held& held) {
  for (int gr = 0; gr < 12; ++gr) {
    for (int i = 0; i < coded; ++i) {
      const QuantClass& q = kQuantClasses[codedClasses[i]];
      for (int c = 0; c < q.codes; ++c) {
        if (!bits.holds(q.bits)) return held.runOut();
        if (bits.read(q.bits) >= q.limit) return false;
      }
    }
  }
  return true;
}

bool Layer2FramePossible(FrameBits& bits, const uint8_t* bytes, const TFrameInfo& info,
                         int channels, int bound, Held& held) {
  const AllocationTable& table = TableOf(info, channels);
  const int subbands = table.subbands;
  bound = std::min(bound, subbands);
  uint8_t classes[2][32];    // 0xFF: no allocation
  uint8_t codedClasses[64];  // of each granule coded, in the order of a frame
  int coded = 0;
  int64_t sampleBits = 0;
  for (int sb = 0; sb < subbands; ++sb) {
    const AllocationRow& row = RowOf(table, sb);
    const int codes = sb < bound ? channels : 1;
    if (!bits.holds(row.bits * codes)) return held.runOut();
    for (int ch = 0; ch < codes; ++ch) {
      const uint32_t value = bits.read(row.bits);
      classes[ch][sb] = value == 0 ? 0xFF : row.classes[value - 1];
      if (value == 0) continue;
      codedClasses[coded++] = classes[ch][sb];
      sampleBits += 12 * TripletBits(classes[ch][sb]);
    }
    if (codes < channels) classes[1][sb] = classes[0][sb];
  }
  held.sounds = sampleBits > 0;
  const int scaleFactors = ReadScaleFactorSelections(bits, classes, subbands, channels);
  if (scaleFactors < 0) return held.runOut();
  // Scale factor index 63 is left alone here: twolame writes it for a third
  // of a frame that holds only silence.
  if (!FitsAndMatchesCrc(bits, bytes, info, scaleFactors, sampleBits)) return false;
  if (!bits.holds(6 * scaleFactors)) return held.runOut();
  bits.skip(6 * scaleFactors);
  return Layer2SamplesPossible(bits, codedClasses, coded, held);
}

}  // namespace

bool Layer12FramePossible(const uint8_t* bytes, int64_t avail, const TFrameInfo& info,
                          bool* sounds) {
  const int64_t held = std::min<int64_t>(avail, info.FrameLength);
  const int64_t start = info.CrcProtected ? 6 : 4;
  if (held < start) return avail < info.FrameLength;
  FrameBits bits(bytes, held, start * 8);
  const int channels = info.ChannelMode == kMono ? 1 : 2;
  // Joint stereo codes the subbands from the bound on once for both.
  const int bound = info.ChannelMode == kJointStereo ? 4 * ((bytes[3] >> 4 & 3) + 1) : 32;
  Held frame{avail >= info.FrameLength};
  const bool possible = info.Layer == 1
                            ? Layer1FramePossible(bits, bytes, info, channels, bound, frame)
                            : Layer2FramePossible(bits, bytes, info, channels, bound, frame);
  if (sounds != nullptr) *sounds = frame.sounds;
  return possible;
}
