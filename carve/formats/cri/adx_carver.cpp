#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "carve/formats/common/big_endian.h"
#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/common/next_header.h"
#include "carve/engine/stream_line.h"

namespace {

// The fixed part of the header: signature, copyright offset, encoding,
// block size, bit depth, channels, sampling rate, total samples, high-pass
// frequency, version and flags.
constexpr int64_t kFixedHeader = 20;
// Where the loop fields of a version 4 header end, the later of the two.
constexpr int64_t kLoopFieldsEnd = 0x38;
// The zero bytes an end-of-stream block may hold after its marker: encoders
// fill a block, or pad the file to a sector.
constexpr int64_t kMaxEndPadding = 0x1000;

// Where a block begins whose first byte has its top bit set: a block's scale
// never has it, so such a block ends the stream (0x8001 marks its end).
// Answers for block starts a block size apart, and remembers what it read,
// so that a pass stays linear in its input whatever the headers in it:
// - per block size and grid position (modulo the block size), the stretch of
//   the grid walked so far and the marked block that ended it; a later walk
//   on the same grid takes that answer, and one that starts lower walks only
//   up to where the stretch began: no grid is walked over twice;
// - stretches of the input in which no byte has its top bit set, as the
//   walks read them: every later walk of any grid jumps over them.
class MarkedBlocks {
 public:
  // The first block start in from, from + size, ... below `limit` whose
  // first byte has its top bit set; -1 when none is.
  int64_t first(InputView& input, int64_t from, int64_t limit, int size) {
    Scan& s = scans_[int64_t{size} << 32 | from % size];
    if (s.from < 0 || from > s.reach) {
      s = {from, from, -1};
    } else if (from < s.from) {
      // Below the stretch walked before, on the same grid: up to it.
      const Walk below = walk(input, from, s.from, size);
      if (below.found >= 0 || below.reach < s.from) {
        s = {from, below.reach, below.found};
      } else {
        s.from = from;
      }
    }
    if (s.found < 0 && s.reach < limit) {
      const Walk on = walk(input, s.reach, limit, size);
      s.reach = on.reach;
      s.found = on.found;
    }
    return s.found >= 0 && s.found < limit ? s.found : -1;
  }

  // Forgets the clean stretches that end at or before `pos`: every later
  // walk starts after it.
  void forgetBefore(int64_t pos) {
    while (!clean_.empty() && clean_.begin()->second <= pos) clean_.erase(clean_.begin());
  }

 private:
  static constexpr int64_t kFirstPiece = 256;
  static constexpr int64_t kPiece = 256 * 1024;
  // So many clean stretches are kept at most: the memory stays small.
  static constexpr size_t kMaxCleanStretches = 1 << 16;

  // Grid positions in [from, reach) are not marked; `found`, when not -1,
  // is `reach`, the marked one. `reach` lies beyond the end of an input
  // that ended first.
  struct Scan {
    int64_t from = -1, reach = -1, found = -1;
  };
  struct Walk {
    int64_t reach = 0, found = -1;
  };

  // Walks the grid from `pos` (a grid position) up to `end`.
  Walk walk(InputView& input, int64_t pos, int64_t end, int size) {
    // Small reads first: most walks meet a marked block soon.
    for (int64_t piece = kFirstPiece; pos < end; piece = std::min(piece * 2, kPiece)) {
      pos = pastClean(pos, size);
      if (pos >= end) break;
      const int64_t want = std::min<int64_t>(piece, end - pos);
      piece_.resize(static_cast<size_t>(want));
      const int64_t got = input.read(pos, piece_.data(), want);
      int64_t i = 0;
      for (; i < got; i += size) {
        if (piece_[static_cast<size_t>(i)] & 0x80) return {pos + i, pos + i};
      }
      const auto bytes = piece_.begin();
      if (got >= kFirstPiece &&
          std::none_of(bytes, bytes + got, [](uint8_t b) { return (b & 0x80) != 0; })) {
        addClean(pos, pos + got);
      }
      pos += i;  // the next block start, or further when the input ended
      if (got < want) break;
    }
    return {pos, -1};
  }

  // The first grid position at or after `pos` outside a clean stretch.
  int64_t pastClean(int64_t pos, int size) const {
    auto it = clean_.upper_bound(pos);
    if (it == clean_.begin() || (--it)->second <= pos) return pos;
    return pos + (it->second - pos + size - 1) / size * size;
  }

  void addClean(int64_t start, int64_t end) {
    auto it = clean_.upper_bound(start);
    if (it != clean_.begin() && std::prev(it)->second >= start) {
      --it;
      start = it->first;
      end = std::max(end, it->second);
      it = clean_.erase(it);
    }
    while (it != clean_.end() && it->first <= end) {
      end = std::max(end, it->second);
      it = clean_.erase(it);
    }
    if (clean_.size() < kMaxCleanStretches) clean_[start] = end;
  }

  std::unordered_map<int64_t, Scan> scans_;
  std::map<int64_t, int64_t> clean_;  // start -> end
  std::vector<uint8_t> piece_;
};

// The fixed part of a header at `h` holds what a stream has: the copyright
// offset after it, encoding 2 to 4, blocks of at least 3 bytes of 4-bit
// samples, 1 to 8 channels, a rate from 1 to 192 kHz, version 3 or 4.
bool FixedPartPossible(const uint8_t* h) {
  const int64_t copyright = Be16(h + 2), rate = Be32(h + 8);
  const int encoding = h[4], blockSize = h[5], bitDepth = h[6], channels = h[7], version = h[18];
  return copyright >= kFixedHeader + 2 && encoding >= 2 && encoding <= 4 && blockSize >= 3 &&
         bitDepth == 4 && channels >= 1 && channels <= 8 && rate >= 1000 && rate <= 192000 &&
         (version == 3 || version == 4);
}

// The copyright text "(c)CRI" ends the header at `at`: it stands two bytes
// before the offset the header gives, after the fixed part. The text is
// read by itself: the header may be long.
bool CopyrightAt(InputView& input, int64_t at, int64_t copyright) {
  uint8_t text[6];
  return input.read(at + copyright - 2, text, sizeof text) == static_cast<int64_t>(sizeof text) &&
         std::memcmp(text, "(c)CRI", 6) == 0;
}

class AdxCarver : public Carver {
 public:
  explicit AdxCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {0x80, 0xFF, 0x00}; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    input_ = &input;
    marks_.forgetBefore(candidate);
    // Every later candidate lies closer to the end, so a header that does
    // not fit ends the pass.
    const auto header = input.bytes(candidate, kFixedHeader);
    if (std::ssize(header) < kFixedHeader) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (!FixedPartPossible(h)) return ProbeResult::Reject;
    const int64_t copyright = Be16(h + 2);
    const int blockSize = h[5], version = h[18];
    channels_ = h[7];
    rate_ = Be32(h + 8);
    total_ = Be32(h + 12);
    const int64_t headerSize = copyright + 4;
    if (!CopyrightAt(input, candidate, copyright)) return ProbeResult::Reject;
    const int64_t loopEnd = std::min<int64_t>(copyright - 2, kLoopFieldsEnd);
    const auto loop = input.bytes(candidate, loopEnd);
    if (std::ssize(loop) < loopEnd || !LoopFits(loop.data(), copyright, version)) {
      return ProbeResult::Reject;
    }

    // Each block: a 16-bit scale, then two 4-bit samples a byte.
    const int64_t perBlock = (blockSize - 2) * 2;
    const int64_t dataStart = candidate + headerSize;
    int64_t dataEnd = -1;  // none given
    if (total_ > 0)
      dataEnd = dataStart + (total_ + perBlock - 1) / perBlock * channels_ * blockSize;
    const int64_t end = MeasureData(input, dataStart, dataEnd, blockSize);
    if (end < 0) return ProbeResult::Reject;
    blocks_ = (dataEnd_ - dataStart) / blockSize;
    if (blocks_ <= 0) return ProbeResult::Reject;
    samples_ = blocks_ / channels_ * perBlock;
    if (total_ > 0) samples_ = std::min<int64_t>(samples_, total_);
    span_ = {candidate, end - candidate};
    Found found{span_, StreamLine(where.number, span_, "ADX", "Blocks", Facts()), Facts()};
    found.truncated = truncated_;
    return found;
  }

  StreamFacts Facts() const {
    return SampledFacts(blocks_, rate_, channels_, samples_, span_.length);
  }

 private:
  // The loop fields, where the header is long enough to hold them: a loop
  // flag of 0 or 1, and a loop that begins no later than it ends, within
  // the samples of the stream.
  bool LoopFits(const uint8_t* h, int64_t copyright, int version) const {
    const int64_t flagAt = version == 3 ? 0x18 : 0x24;
    if (copyright - 2 < flagAt + 4) return true;
    const uint32_t flag = Be32(h + flagAt);
    if (flag > 1) return false;
    if (flag == 0 || copyright - 2 < flagAt + 20) return true;
    const uint32_t begin = Be32(h + flagAt + 4), end = Be32(h + flagAt + 12);
    return begin <= end && (total_ == 0 || end <= total_);
  }

  // The end of the stream whose data begins at `dataStart` and ends at
  // `dataEnd` as its sample count has it (-1: no count given), or -1 when
  // it does not hold; dataEnd_ is then where its blocks end.
  int64_t MeasureData(InputView& input, int64_t dataStart, int64_t dataEnd, int blockSize) {
    const int64_t size = input.knownSize();
    truncated_ = false;
    // The data ends at the first marked block, which must be an
    // end-of-stream block; with no sample count there must be one.
    const int64_t limit = dataEnd < 0 ? size : std::min(dataEnd, size);
    const int64_t marked = marks_.first(input, dataStart, limit, blockSize);
    if (marked >= 0) {
      dataEnd_ = marked;
      return EndBlockEnd(marked, size);
    }
    if (dataEnd < 0) return -1;
    if (dataEnd <= size) {
      // The data as the sample count has it, with the end-of-stream block
      // encoders write after it.
      dataEnd_ = dataEnd;
      const int64_t end = dataEnd < size ? EndBlockEnd(dataEnd, size) : -1;
      return end < 0 ? dataEnd : end;
    }
    // The sample count runs past the end of the input: the stream is cut
    // there, or where a later one begins inside it, and the walk goes on
    // there.
    truncated_ = true;
    dataEnd_ = NextHeader(input, dataStart, size, 0x80,
                          [&input](int64_t at) { return IsHeaderAt(input, at); });
    return dataEnd_;
  }

  // Whether a header of a stream stands at `at`.
  static bool IsHeaderAt(InputView& input, int64_t at) {
    const auto h = input.bytes(at, kFixedHeader);
    return std::ssize(h) >= kFixedHeader && h[0] == 0x80 && h[1] == 0x00 &&
           FixedPartPossible(h.data()) && CopyrightAt(input, at, Be16(h.data() + 2));
  }

  // The end of the end-of-stream block at `at`: its marker 0x8001, the
  // count of zero bytes after it, and those bytes; -1 when it is no such
  // block or the input ends inside it.
  int64_t EndBlockEnd(int64_t at, int64_t size) {
    auto b = input_->bytes(at, 4);
    if (std::ssize(b) < 4) return -1;
    const int64_t padding = Be16(b.data() + 2);
    if (Be16(b.data()) != 0x8001 || padding > kMaxEndPadding || at + 4 + padding > size) return -1;
    b = input_->bytes(at, 4 + padding);
    if (std::ssize(b) < 4 + padding) return -1;
    for (int64_t i = 4; i < 4 + padding; ++i) {
      if (b[i] != 0) return -1;
    }
    return at + 4 + padding;
  }

  InputView* input_ = nullptr;  // the probe's
  MarkedBlocks marks_;
  int64_t channels_ = 0, rate_ = 0, total_ = 0;
  int64_t blocks_ = 0, samples_ = 0;
  int64_t dataEnd_ = 0;
  bool truncated_ = false;
  CopySpan span_;
};

}  // namespace

std::unique_ptr<Carver> MakeAdxCarver(Host& host) { return std::make_unique<AdxCarver>(host); }
