// Nintendo's stream files: BRSTM ("RSTM", big-endian), BCSTM ("CSTM",
// little-endian) and BFSTM ("FSTM", either order). A header of references
// to the file's sections, each section beginning with its own tag and size;
// the file is whole when every section the header names lies where it says,
// with the size it says, the last one ending where the file size says.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "carve/formats/common/byte_order.h"
#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"

namespace {

// The one kind of file a carver looks for.
struct StreamKind {
  const char* magic;  // the first four bytes
  const char* name;   // in the stream line
  bool big, little;   // the byte orders it is written in
  bool revolution;    // BRSTM's header; else that of BCSTM and BFSTM
};

constexpr StreamKind kBrstm{"RSTM", "BRSTM", true, false, true};
constexpr StreamKind kBcstm{"CSTM", "BCSTM", false, true, false};
constexpr StreamKind kBfstm{"FSTM", "BFSTM", true, true, false};

// The header: at least the references it holds, at most so many bytes
// (writers make it 0x40).
constexpr int64_t kMinHeader = 0x28, kMaxHeader = 0x100;
constexpr int kMaxSections = 6;
// Sections begin at 32-byte boundaries.
constexpr int64_t kSectionAlign = 0x20;

struct Section {
  char tag[5] = {};
  int64_t offset = 0, size = 0;
};

// The tag of a section reference of BCSTM and BFSTM; nullptr: none known.
const char* CafeSectionTag(uint32_t type) {
  switch (type) {
    case 0x4000:
      return "INFO";
    case 0x4001:
      return "SEEK";
    case 0x4002:
      return "DATA";
    case 0x4003:
      return "REGN";
    case 0x4004:
      return "PDAT";
    default:
      return nullptr;
  }
}

class NintendoStreamCarver : public Carver {
 public:
  explicit NintendoStreamCarver(const StreamKind& kind) : kind_(kind) {}

  Trigger trigger() const override {
    return {static_cast<uint8_t>(kind_.magic[0]), 0xFF, static_cast<uint8_t>(kind_.magic[1])};
  }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    return avail >= 6 && !Opens(bytes);
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    const auto header = input.bytes(candidate, kMaxHeader);
    if (std::ssize(header) < kMinHeader) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (!Opens(h)) return ProbeResult::Reject;
    order_.big = h[4] == 0xFE;
    const int64_t headerSize = order_.u16(kind_.revolution ? h + 0x0C : h + 0x06);
    fileSize_ = order_.u32(kind_.revolution ? h + 0x08 : h + 0x0C);
    if (headerSize < kMinHeader || headerSize > kMaxHeader || fileSize_ <= headerSize ||
        std::ssize(header) < headerSize) {
      return ProbeResult::Reject;
    }
    // Whole files only: one that runs past the end of the input is cut.
    if (candidate + fileSize_ > input.knownSize()) return ProbeResult::Reject;
    const int count = kind_.revolution ? RevolutionSections(h) : CafeSections(h, headerSize);
    if (count < 2 || !SectionsHold(input, candidate, headerSize, count) ||
        !TakeStreamInfo(input, candidate)) {
      return ProbeResult::Reject;
    }
    const CopySpan span{candidate, fileSize_};
    const StreamFacts facts = Facts();
    return Found{span, StreamLine(where.number, span, kind_.name, "Blocks", facts), facts};
  }

 private:
  // The magic and a byte-order mark of an order the kind is written in.
  bool Opens(const uint8_t* h) const {
    if (std::memcmp(h, kind_.magic, 4) != 0) return false;
    return (kind_.big && h[4] == 0xFE && h[5] == 0xFF) ||
           (kind_.little && h[4] == 0xFF && h[5] == 0xFE);
  }

  // BRSTM: HEAD, ADPC and DATA as offset and size (ADPC none in some PCM
  // files). The header's count of sections is 2 or 3; writers put 2 also
  // in files of three, so the sections are the ones whose offsets are set.
  int RevolutionSections(const uint8_t* h) {
    const uint32_t declared = order_.u16(h + 0x0E);
    if (declared != 2 && declared != 3) return 0;
    int count = 0;
    const char* tags[] = {"HEAD", "ADPC", "DATA"};
    for (int i = 0; i < 3; ++i) {
      Section s;
      std::memcpy(s.tag, tags[i], 4);
      s.offset = order_.u32(h + 0x10 + 8 * i);
      s.size = order_.u32(h + 0x14 + 8 * i);
      if (i == 1 && s.offset == 0 && s.size == 0) continue;
      sections_[count++] = s;
    }
    return count;
  }

  // BCSTM and BFSTM: a count of sections, then a reference of each: its
  // type, offset and size, all within the header.
  int CafeSections(const uint8_t* h, int64_t headerSize) {
    const int64_t declared = order_.u16(h + 0x10);
    if (declared < 2 || declared > kMaxSections || 0x14 + 12 * declared > headerSize) return 0;
    for (int i = 0; i < declared; ++i) {
      const uint8_t* r = h + 0x14 + 12 * i;
      const char* tag = CafeSectionTag(order_.u16(r));
      if (tag == nullptr || order_.u16(r + 2) != 0) return 0;
      std::memcpy(sections_[i].tag, tag, 4);
      sections_[i].offset = order_.u32(r + 4);
      sections_[i].size = order_.u32(r + 8);
    }
    return static_cast<int>(declared);
  }

  // Each section after the header, in order and apart, at a 32-byte
  // boundary, opens with its tag and its size; the last one ends the file.
  // Among them the stream's info (HEAD or INFO) and its DATA.
  bool SectionsHold(InputView& input, int64_t candidate, int64_t headerSize, int count) {
    int64_t at = headerSize;
    bool data = false;
    info_ = nullptr;
    for (int i = 0; i < count; ++i) {
      const Section& s = sections_[i];
      if (s.offset < at || s.offset % kSectionAlign != 0 || s.size < 8 ||
          s.size > fileSize_ - s.offset) {
        return false;
      }
      const auto head = input.bytes(candidate + s.offset, 8);
      if (std::ssize(head) < 8 || std::memcmp(head.data(), s.tag, 4) != 0 ||
          order_.u32(head.data() + 4) != s.size) {
        return false;
      }
      if (std::memcmp(s.tag, "HEAD", 4) == 0 || std::memcmp(s.tag, "INFO", 4) == 0) info_ = &s;
      data = data || std::memcmp(s.tag, "DATA", 4) == 0;
      at = s.offset + s.size;
    }
    return info_ != nullptr && data && at == fileSize_;
  }

  // The stream info the info section refers to first: codec, channels,
  // sampling rate, sample count, blocks.
  bool TakeStreamInfo(InputView& input, int64_t candidate) {
    const int64_t section = candidate + info_->offset;
    const auto refs = input.bytes(section, 16);
    if (std::ssize(refs) < 16) return false;
    // The reference's kind: BRSTM's marker, or the type of a stream info.
    const bool marked = kind_.revolution ? order_.u32(refs.data() + 8) == 0x01000000
                                         : order_.u16(refs.data() + 8) == 0x4100;
    if (!marked) return false;
    const int64_t at = order_.u32(refs.data() + 12);
    constexpr int64_t kInfo = 0x20;
    if (at < 0 || 8 + at + kInfo > info_->size) return false;
    const auto info = input.bytes(section + 8 + at, kInfo);
    if (std::ssize(info) < kInfo) return false;
    const uint8_t* p = info.data();
    const uint32_t codec = p[0], loop = p[1];
    channels_ = p[2];
    if (kind_.revolution) {
      rate_ = order_.u16(p + 4);
      samples_ = order_.u32(p + 0x0C);
      blocks_ = order_.u32(p + 0x14);
    } else {
      rate_ = order_.u32(p + 4);
      samples_ = order_.u32(p + 0x0C);
      blocks_ = order_.u32(p + 0x10);
    }
    return codec <= 3 && loop <= 1 && StreamPossible();
  }

  // Channels, sampling rate, samples and blocks a stream has.
  bool StreamPossible() const {
    return channels_ >= 1 && channels_ <= 16 && rate_ >= 1000 && rate_ <= 192000 && samples_ > 0 &&
           blocks_ > 0;
  }

  StreamFacts Facts() const { return SampledFacts(blocks_, rate_, channels_, samples_, fileSize_); }

  const StreamKind& kind_;
  ByteOrder order_;
  int64_t fileSize_ = 0;
  std::array<Section, kMaxSections> sections_;
  const Section* info_ = nullptr;
  int64_t channels_ = 0, rate_ = 0, samples_ = 0, blocks_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeBrstmCarver(Host& /*host*/) {
  return std::make_unique<NintendoStreamCarver>(kBrstm);
}
std::unique_ptr<Carver> MakeBcstmCarver(Host& /*host*/) {
  return std::make_unique<NintendoStreamCarver>(kBcstm);
}
std::unique_ptr<Carver> MakeBfstmCarver(Host& /*host*/) {
  return std::make_unique<NintendoStreamCarver>(kBfstm);
}
