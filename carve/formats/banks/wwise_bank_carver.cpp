// Wwise soundbanks: a "BKHD" chunk, then chunks of known tags, each a tag
// and a size (little-endian, or big-endian in banks of some consoles: the
// header's size and version tell). The bank ends after its last chunk. Its
// media index ("DIDX": id, offset, size of each member) comes right before
// the media ("DATA"): the ids ascend, the members follow one another inside
// DATA, and the first is a WEM file. The bank is carved whole, never a member.
// The banks of one pass may share one media index: its verdict is taken once.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/banks/file_member.h"
#include "carve/formats/common/byte_order.h"

namespace {

// The chunks a bank holds after its header.
constexpr std::array<const char*, 9> kChunkTags = {"DIDX", "DATA", "HIRC", "STID", "STMG",
                                                   "ENVS", "INIT", "PLAT", "FXPR"};
constexpr int kDidx = 0, kData = 1;
// The header's size and the bank versions writers have used.
constexpr uint32_t kMinHeader = 8, kMaxHeader = 0x1000;
constexpr uint32_t kMinVersion = 0x19, kMaxVersion = 0x200;
// The media index: 12 bytes an entry, read so many at a time.
constexpr int64_t kEntry = 12, kEntriesRead = 4096;
// Members begin at 16-byte boundaries: DATA ends less than that after the last.
constexpr int64_t kMediaAlign = 16;

int ChunkIndex(const uint8_t* tag) {
  for (size_t i = 0; i < kChunkTags.size(); ++i) {
    if (std::memcmp(tag, kChunkTags[i], 4) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool HeaderPlausible(uint32_t size, uint32_t version) {
  return size >= kMinHeader && size <= kMaxHeader && size % 4 == 0 && version >= kMinVersion &&
         version <= kMaxVersion;
}

class WwiseBankCarver : public Carver {
 public:
  explicit WwiseBankCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'B', 0xFF, 'K'}; }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    return avail >= 12 && !TakeOrder(bytes);
  }

  // The media index of a bank rejected for its media stays in force.
  bool rejectsFromRejected() const override { return true; }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    const auto header = input.bytes(candidate, 12);
    if (std::ssize(header) < 12) return ProbeResult::EndPass;
    // A bank never begins inside the media index of one walked before.
    if (candidate >= indexFrom_ && candidate < indexTo_) return ProbeResult::Reject;
    if (!TakeOrder(header.data())) return ProbeResult::Reject;
    // No bank after this one has its media index before it.
    verdicts_.erase(verdicts_.begin(), verdicts_.lower_bound({candidate, false}));
    size_ = input.knownSize();
    const int64_t end = WalkChunks(input, candidate + 8 + order_.u32(header.data() + 4));
    if (end < 0 || !IndexHolds(input)) return ProbeResult::Reject;
    const CopySpan span{candidate, end - candidate};
    const StreamFacts facts = Facts(input);
    Found found{span, StreamLine(where.number, span, "Wwise bank", "Media", facts), facts};
    found.members = Members(input, candidate);
    return found;
  }

 private:
  // "BKHD" and a plausible size and version in one byte order: takes it.
  bool TakeOrder(const uint8_t* h) {
    if (std::memcmp(h, "BKHD", 4) != 0) return false;
    for (bool big : {false, true}) {
      order_.big = big;
      if (HeaderPlausible(order_.u32(h + 4), order_.u32(h + 8))) return true;
    }
    return false;
  }

  // Walks the chunks from `at` on while they are of known tags, each once,
  // whole in the input: the end of the last one, or -1 when one is cut or
  // DIDX and DATA are not there, DATA right after DIDX.
  int64_t WalkChunks(InputView& input, int64_t at) {
    std::array<int64_t, kChunkTags.size()> seen;
    seen.fill(-1);
    for (size_t i = 0; i < kChunkTags.size(); ++i) {
      const auto head = input.bytes(at, 8);
      if (std::ssize(head) < 8) break;
      const int tag = ChunkIndex(head.data());
      if (tag < 0 || seen[tag] >= 0) break;
      const int64_t end = at + 8 + order_.u32(head.data() + 4);
      if (end > size_) return -1;
      seen[tag] = at;
      at = end;
    }
    if (seen[kDidx] < 0 || seen[kData] < 0) return -1;
    didxAt_ = seen[kDidx];
    dataAt_ = seen[kData];
    didxSize_ = dataAt_ - didxAt_ - 8;
    dataSize_ = order_.u32(input.bytes(dataAt_, 8).data() + 4);
    return didxSize_ >= 0 && didxAt_ + 8 + didxSize_ == dataAt_ ? at : -1;
  }

  // What the media index at an offset, read in one byte order, holds: the
  // chunks after it and so its verdict are the same in every bank that
  // leads to it.
  struct IndexVerdict {
    bool entriesHold, holds;
    int64_t firstMember;
  };

  // The verdict of the media index, taken once for its offset and order.
  bool IndexHolds(InputView& input) {
    const std::pair<int64_t, bool> key{didxAt_, order_.big};
    auto known = verdicts_.find(key);
    if (known == verdicts_.end()) {
      const bool entriesHold = EntriesHold(input);
      const bool holds = entriesHold && MediaFits(input);
      known = verdicts_.emplace(key, IndexVerdict{entriesHold, holds, firstMember_}).first;
    }
    const IndexVerdict& v = known->second;
    if (v.entriesHold) {
      indexFrom_ = didxAt_ + 8;
      indexTo_ = indexFrom_ + didxSize_;
      members_ = didxSize_ / kEntry;
      firstMember_ = v.firstMember;
    }
    return v.holds;
  }

  // DATA ends with the last member, and the first is a WEM file of the
  // bank's byte order.
  bool MediaFits(InputView& input) const {
    const auto riff = input.bytes(firstMember_, 4);
    return dataSize_ - lastEnd_ < kMediaAlign && std::ssize(riff) >= 4 &&
           std::memcmp(riff.data(), order_.big ? "RIFX" : "RIFF", 4) == 0;
  }

  // The media index: entries of ascending ids, each member after the one
  // before it and inside DATA. Notes the first member and the end of the
  // last.
  bool EntriesHold(InputView& input) {
    if (didxSize_ == 0 || didxSize_ % kEntry != 0) return false;
    const int64_t from = didxAt_ + 8, to = from + didxSize_;
    int64_t lastId = -1, lastEnd = 0;
    for (int64_t at = from; at < to; at += kEntry * kEntriesRead) {
      const int64_t want = std::min(to - at, kEntry * kEntriesRead);
      const auto piece = input.bytes(at, want);
      if (std::ssize(piece) < want) return false;
      for (int64_t i = 0; i < want; i += kEntry) {
        const uint8_t* e = piece.data() + i;
        const int64_t id = order_.u32(e), offset = order_.u32(e + 4), size = order_.u32(e + 8);
        if (id <= lastId || offset < lastEnd || size == 0 || offset + size > dataSize_) {
          return false;
        }
        if (lastId < 0) firstMember_ = dataAt_ + 8 + offset;
        lastId = id;
        lastEnd = offset + size;
      }
    }
    lastEnd_ = lastEnd;
    return true;
  }

  // The WEM files of the media index, each range from the bank's start
  // `bank`: the index held (IndexHolds()), so each lies inside DATA.
  std::vector<Member> Members(InputView& input, int64_t bank) const {
    std::vector<Member> members;
    const int64_t from = didxAt_ + 8;
    for (int64_t i = 0; i < members_; ++i) {
      const auto e = input.bytes(from + i * kEntry, kEntry);
      if (std::ssize(e) < kEntry) break;
      const int64_t offset = dataAt_ + 8 + order_.u32(e.data() + 4) - bank;
      members.push_back(FileMember(input, bank, i, offset, order_.u32(e.data() + 8), true));
    }
    return members;
  }

  // The count of members; the first one's channels and sampling rate when
  // its format chunk comes first.
  StreamFacts Facts(InputView& input) const {
    StreamFacts f;
    f.frames = members_;
    const auto fmt = input.bytes(firstMember_, 28);
    if (std::ssize(fmt) >= 28 && std::memcmp(fmt.data() + 12, "fmt ", 4) == 0) {
      f.channels = order_.u16(fmt.data() + 22);
      f.sampleRateHz = order_.u32(fmt.data() + 24);
    }
    return f;
  }

  ByteOrder order_;
  int64_t size_ = 0;
  int64_t didxAt_ = 0, didxSize_ = 0, dataAt_ = 0, dataSize_ = 0;
  int64_t firstMember_ = 0, members_ = 0, lastEnd_ = 0;
  int64_t indexFrom_ = -1, indexTo_ = -1;  // the last media index found whole
  // The verdicts of the media indexes walked at or after the last candidate,
  // by offset and order (big-endian).
  std::map<std::pair<int64_t, bool>, IndexVerdict> verdicts_;
};

}  // namespace

std::unique_ptr<Carver> MakeWwiseBankCarver(Host& host) {
  return std::make_unique<WwiseBankCarver>(host);
}
