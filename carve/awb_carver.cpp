#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "carve/carver.h"
#include "carve/host.h"
#include "carve/input_view.h"
#include "carve/stream_line.h"

namespace {

uint32_t Le16(const uint8_t* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// The header: "AFS2", version, size of an offset, size of an id, member
// count, alignment of the members, the key that HCA members are encrypted
// with beside their own.
constexpr int64_t kHeader = 16;
// So many members at the most: the tables then take under 512 KiB.
constexpr int64_t kMostMembers = 1 << 16;
constexpr int64_t kMostAlignment = 0x800;

class AwbCarver : public Carver {
 public:
  explicit AwbCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'A', 0xFF, 'F'}; }

  bool ruledOut(const uint8_t* b, int64_t avail) override {
    return avail >= 8 && (std::memcmp(b, "AFS2", 4) != 0 || !HeaderPossible(b));
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t start = where.offset;
    const auto header = input.bytes(start, kHeader);
    if (std::ssize(header) < kHeader) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (std::memcmp(h, "AFS2", 4) != 0 || !HeaderPossible(h)) return ProbeResult::Reject;
    const int64_t count = Le32(h + 8), alignment = Le16(h + 12);
    if (count < 1 || count > kMostMembers || alignment < 1 || alignment > kMostAlignment ||
        (alignment & (alignment - 1)) != 0) {
      return ProbeResult::Reject;
    }
    const int64_t idSize = h[6], offsetSize = h[5];
    const int64_t tableEnd = kHeader + count * idSize + (count + 1) * offsetSize;
    const auto tables = input.bytes(start, tableEnd);
    if (std::ssize(tables) < tableEnd) return ProbeResult::Reject;
    const uint8_t* t = tables.data();
    if (!IdsRise(t + kHeader, count, idSize) ||
        !OffsetsRise(t + kHeader + count * idSize, count, offsetSize, alignment, tableEnd)) {
      return ProbeResult::Reject;
    }
    const int64_t last = offsetSize == 2 ? Le16(t + tableEnd - 2) : Le32(t + tableEnd - 4);
    // Cut where the input ends.
    const int64_t end = std::min(start + last, input.knownSize());
    const CopySpan span{start, end - start};
    StreamFacts f;
    f.frames = count;
    return Found{span, StreamLine(where.number, span, "AWB", "Files", f), f};
  }

 private:
  // The ids rise.
  static bool IdsRise(const uint8_t* ids, int64_t count, int64_t idSize) {
    int64_t previous = -1;
    for (int64_t i = 0; i < count; ++i) {
      const int64_t id = idSize == 2 ? Le16(ids + i * 2) : Le32(ids + i * 4);
      if (id <= previous) return false;
      previous = id;
    }
    return true;
  }

  // The offsets rise: the first one where the tables end, every member
  // beginning at its offset rounded up to the alignment and ending where the
  // next one's offset is; the last offset is the end.
  static bool OffsetsRise(const uint8_t* offsets, int64_t count, int64_t offsetSize,
                          int64_t alignment, int64_t tableEnd) {
    auto offset = [&](int64_t i) -> int64_t {
      return offsetSize == 2 ? Le16(offsets + i * 2) : Le32(offsets + i * 4);
    };
    if (offset(0) != tableEnd) return false;
    for (int64_t i = 0; i < count; ++i) {
      const int64_t begins = (offset(i) + alignment - 1) / alignment * alignment;
      if (begins >= offset(i + 1)) return false;
    }
    return true;
  }

  // Version 1 or 2, offsets of 2 or 4 bytes, ids of 2 or 4 bytes.
  static bool HeaderPossible(const uint8_t* h) {
    return (h[4] == 1 || h[4] == 2) && (h[5] == 2 || h[5] == 4) && (h[6] == 2 || h[6] == 4) &&
           h[7] == 0;
  }
};

}  // namespace

std::unique_ptr<Carver> MakeAwbCarver(Host& host) { return std::make_unique<AwbCarver>(host); }
