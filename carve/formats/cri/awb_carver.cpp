#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/banks/file_member.h"
#include "carve/formats/common/little_endian.h"

namespace {

// Entry `i` of a table of little-endian numbers of `size` bytes (2 or 4)
// at `start`; -1 when the input ends before it.
struct Field {
  InputView& input;
  int64_t start, size;
  int64_t operator()(int64_t i) const {
    const auto b = input.bytes(start + i * size, size);
    if (std::ssize(b) < size) return -1;
    return size == 2 ? Le16(b.data()) : Le32(b.data());
  }
};

// The header: "AFS2", version, size of an offset, size of an id, member
// count, alignment of the members, the key that HCA members are encrypted
// with beside their own.
constexpr int64_t kHeader = 16;
// So many members at the most: the tables then take under 512 KiB.
constexpr int64_t kMostMembers = 1 << 16;
constexpr int64_t kMostAlignment = 0x800;

// A member begins at its offset rounded up to the alignment.
int64_t Aligned(int64_t offset, int64_t alignment) {
  return (offset + alignment - 1) / alignment * alignment;
}

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
    if (!CountsPossible(count, alignment)) return ProbeResult::Reject;
    const int64_t idSize = h[6], offsetSize = h[5];
    const int64_t tableEnd = kHeader + count * idSize + (count + 1) * offsetSize;
    // The tables are read piece by piece: the first offset first, then the
    // ids and the other offsets as far as they hold.
    const Field id{input, start + kHeader, idSize};
    const Field offset{input, start + kHeader + count * idSize, offsetSize};
    if (offset(0) != tableEnd || !IdsRise(id, count) || !OffsetsRise(offset, count, alignment)) {
      return ProbeResult::Reject;
    }
    // A bank whose last offset lies past the end of the input keeps the
    // members that end inside it, and the walk goes on after them: what
    // lies inside the rest of its claim is not hidden. None whole: no bank.
    const int64_t room = input.knownSize() - start;
    const int64_t whole = WholeMembers(offset, count, room);
    if (whole == 0) return ProbeResult::Reject;
    const CopySpan span{start, offset(whole)};
    StreamFacts f;
    f.frames = whole;
    Found found{span, StreamLine(where.number, span, "AWB", "Files", f), f};
    found.truncated = whole < count;
    for (int64_t i = 0; i < whole; ++i) {
      const int64_t begins = Aligned(offset(i), alignment);
      found.members.push_back(FileMember(input, start, i, begins, offset(i + 1) - begins, false));
    }
    return found;
  }

 private:
  // The ids rise.
  static bool IdsRise(const Field& id, int64_t count) {
    int64_t previous = -1;
    for (int64_t i = 0; i < count; ++i) {
      const int64_t value = id(i);
      if (value <= previous) return false;
      previous = value;
    }
    return true;
  }

  // The offsets rise: every member begins at its offset rounded up to the
  // alignment and ends where the next one's offset is; the last offset is
  // the end.
  static bool OffsetsRise(const Field& offset, int64_t count, int64_t alignment) {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t begins = Aligned(offset(i), alignment);
      const int64_t next = offset(i + 1);
      if (next < 0 || begins >= next) return false;
    }
    return true;
  }

  // How many members end within the first `room` bytes of the bank: the
  // first ones, as the offsets rise.
  static int64_t WholeMembers(const Field& offset, int64_t count, int64_t room) {
    int64_t n = 0;
    while (n < count && offset(n + 1) <= room) ++n;
    return n;
  }

  // At least one member and no more than the most; an alignment that is a
  // power of two, no larger than the largest.
  static bool CountsPossible(int64_t count, int64_t alignment) {
    return count >= 1 && count <= kMostMembers && alignment >= 1 && alignment <= kMostAlignment &&
           (alignment & (alignment - 1)) == 0;
  }

  // Version 1 or 2, offsets of 2 or 4 bytes, ids of 2 or 4 bytes.
  static bool HeaderPossible(const uint8_t* h) {
    return (h[4] == 1 || h[4] == 2) && (h[5] == 2 || h[5] == 4) && (h[6] == 2 || h[6] == 4) &&
           h[7] == 0;
  }
};

}  // namespace

std::unique_ptr<Carver> MakeAwbCarver(Host& host) { return std::make_unique<AwbCarver>(host); }
