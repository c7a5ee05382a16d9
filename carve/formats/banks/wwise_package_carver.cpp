// Wwise file packages (.pck): "AKPK", the size of the header after its
// first 8 bytes, version 1 (the byte order is the one that reads 1 there),
// the sizes of the language map, the bank table, the streamed-file table
// and, in packages of newer versions, of the externals table (present when
// the sizes add up to the header's size with it). Then the language map
// (a count, an offset and an id a language, the names in 8-bit or UTF-16
// text) and the tables: a count, then an entry a file (its id, 64 bits in
// the externals table; its block size; its size; its first block; its
// language), sorted by id, then language. The files lie after the header,
// one after the other: banks ("BKHD") and WEM files (RIFF or RIFX). The
// package ends where its last file does and is carved whole; its files are
// its members.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <span>
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

// The fixed part: "AKPK", the header's size, the version, three table sizes.
constexpr int64_t kFixed = 0x18;
constexpr int64_t kMostHeader = 64 << 20;
constexpr int64_t kMostLanguages = 64, kMostName = 32;
constexpr int64_t kMostFiles = 1 << 20;
constexpr uint64_t kMostBlock = 1 << 16;
// The tables after the language map, and the sizes of their entries.
enum Table { kBanks, kStreams, kExternals };
constexpr int64_t kEntry = 0x14, kWideEntry = 0x18;

// What the first bytes of a package say.
struct Layout {
  ByteOrder order;
  int64_t headerEnd = 0;  // from the package's first byte
  int64_t tablesAt = 0;   // where the language map begins
  int64_t sizes[4] = {};  // of the language map and the three tables
};

// "AKPK", version 1 in one byte order, and table sizes that add up to the
// header's size, with or without the externals table.
bool ReadLayout(const uint8_t* h, Layout& l) {
  if (std::memcmp(h, "AKPK", 4) != 0) return false;
  for (bool big : {false, true}) {
    l.order.big = big;
    if (l.order.u32(h + 8) != 1) continue;
    const int64_t header = l.order.u32(h + 4);
    for (int i = 0; i < 4; ++i) l.sizes[i] = l.order.u32(h + 12 + 4 * i);
    const int64_t three = l.sizes[0] + l.sizes[1] + l.sizes[2];
    const bool externals = 0x14 + three + l.sizes[3] == header;
    if (!externals && 0x10 + three != header) return false;
    if (!externals) l.sizes[3] = 0;
    l.headerEnd = 8 + header;
    l.tablesAt = externals ? kFixed + 4 : kFixed;
    return header <= kMostHeader && l.sizes[0] >= 4;
  }
  return false;
}

// A language's name at `at` of the map: printable 8-bit text, or UTF-16
// of the package's order when a byte of its first character is zero, up to
// a zero character inside the map.
bool NameAt(std::span<const uint8_t> map, int64_t at, ByteOrder order, std::string& name) {
  if (at + 2 > std::ssize(map)) return false;
  const bool wide = map[at] == 0 || map[at + 1] == 0;
  const int64_t unit = wide ? 2 : 1;
  for (int64_t i = at; i + unit <= std::ssize(map); i += unit) {
    const uint32_t c = wide ? order.u16(map.data() + i) : map[i];
    if (c == 0) return !name.empty();
    if (c < 0x20 || c > 0x7E || std::ssize(name) >= kMostName) return false;
    name += static_cast<char>(c);
  }
  return false;
}

// The language map: a count, then an offset (inside the map, after the
// entries) and an id a language, each id once.
bool Languages(std::span<const uint8_t> map, ByteOrder order,
               std::map<uint32_t, std::string>& out) {
  const int64_t count = order.u32(map.data());
  if (count < 1 || count > kMostLanguages || 4 + 8 * count > std::ssize(map)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* e = map.data() + 4 + 8 * i;
    const int64_t at = order.u32(e);
    std::string name;
    if (at < 4 + 8 * count || !NameAt(map, at, order, name)) return false;
    if (!out.emplace(order.u32(e + 4), name).second) return false;
  }
  return true;
}

// One file of a table.
struct File {
  uint64_t id = 0;
  uint32_t language = 0;
  int64_t start = 0, size = 0;  // from the package's first byte
  Table table = kBanks;
};

// The entry at `e` of a table whose entries are `entry` bytes: the wide
// ones have a 64-bit id (externals) or a 64-bit size (the others).
File EntryAt(const uint8_t* e, int64_t entry, Table table, ByteOrder order) {
  File f;
  f.table = table;
  const bool wideId = entry == kWideEntry && table == kExternals;
  const bool wideSize = entry == kWideEntry && table != kExternals;
  f.id = wideId ? order.u64(e) : order.u32(e);
  const uint8_t* p = e + (wideId ? 8 : 4);
  const uint64_t block = std::max<uint64_t>(order.u32(p), 1);
  const uint64_t size = wideSize ? order.u64(p + 4) : order.u32(p + 4);
  p += wideSize ? 12 : 8;
  const uint64_t first = order.u32(p);
  f.language = order.u32(p + 4);
  // An impossible block size or size gives a negative size: rejected.
  f.size = block > kMostBlock || (block & (block - 1)) != 0 || size > (1ull << 40)
               ? -1
               : static_cast<int64_t>(size);
  f.start = static_cast<int64_t>(first * block);
  return f;
}

// The size of a table's entries: its entries fill it exactly, after the
// count; -1 when they do not.
int64_t EntrySize(std::span<const uint8_t> t, int64_t count) {
  const int64_t entry = (std::ssize(t) - 4) / count;
  const bool known = entry == kEntry || entry == kWideEntry;
  return count <= kMostFiles && known && 4 + count * entry == std::ssize(t) ? entry : -1;
}

// Whether `f` comes after `before` in a table: by id, then by language.
bool After(const File& f, const File& before) {
  return f.id > before.id || (f.id == before.id && f.language > before.language);
}

// A table: empty, or a count and its entries filling it exactly, each of a
// known language and a size, sorted by id and language.
bool ReadTable(std::span<const uint8_t> t, Table table, ByteOrder order,
               const std::map<uint32_t, std::string>& languages, std::vector<File>& files) {
  if (t.empty()) return true;
  if (t.size() < 4) return false;
  const int64_t count = order.u32(t.data());
  if (count == 0) return t.size() == 4;
  const int64_t entry = EntrySize(t, count);
  if (entry < 0) return false;
  for (int64_t i = 0; i < count; ++i) {
    const File f = EntryAt(t.data() + 4 + i * entry, entry, table, order);
    if (f.size <= 0 || (i > 0 && !After(f, files.back())) || !languages.count(f.language)) {
      return false;
    }
    files.push_back(f);
  }
  return true;
}

// The files by their offsets: after the header, none overlapping another.
bool FilesApart(std::vector<File> files, int64_t headerEnd) {
  std::sort(files.begin(), files.end(),
            [](const File& a, const File& b) { return a.start < b.start; });
  int64_t end = headerEnd;
  for (const File& f : files) {
    if (f.start < end) return false;
    end = f.start + f.size;
  }
  return true;
}

// A file's first bytes: a bank's header, or a WEM file's RIFF or RIFX.
bool Begins(InputView& input, int64_t at, const File& f) {
  const auto b = input.bytes(at, 4);
  if (std::ssize(b) < 4) return false;
  if (f.table == kBanks) return std::memcmp(b.data(), "BKHD", 4) == 0;
  return std::memcmp(b.data(), "RIFF", 4) == 0 || std::memcmp(b.data(), "RIFX", 4) == 0;
}

class WwisePackageCarver : public Carver {
 public:
  explicit WwisePackageCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'A', 0xFF, 'K'}; }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    Layout l;
    return avail >= kFixed + 4 && !ReadLayout(bytes, l);
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t start = where.offset;
    const auto first = input.bytes(start, kFixed + 4);
    if (std::ssize(first) < kFixed + 4) return ProbeResult::EndPass;
    Layout l;
    if (!ReadLayout(first.data(), l)) return ProbeResult::Reject;
    const auto got = input.bytes(start, l.headerEnd);
    if (std::ssize(got) < l.headerEnd) return ProbeResult::Reject;
    const std::vector<uint8_t> header(got.begin(), got.begin() + l.headerEnd);
    std::vector<File> files;
    if (!ReadTables(header, l, files) || files.empty() || !FilesApart(files, l.headerEnd)) {
      return ProbeResult::Reject;
    }
    // The files the input holds whole; a package cut short ends after them.
    const int64_t room = input.knownSize() - start;
    int64_t end = 0, claimed = 0;
    std::vector<Member> members;
    for (const File& f : files) {
      claimed = std::max(claimed, f.start + f.size);
      if (f.start + f.size > room) continue;
      if (!Begins(input, start + f.start, f)) return ProbeResult::Reject;
      end = std::max(end, f.start + f.size);
      members.push_back(MemberOf(input, start, f, std::ssize(members)));
    }
    if (members.empty()) return ProbeResult::Reject;
    const CopySpan span{start, end};
    const StreamFacts facts = Facts(members);
    Found found{span, StreamLine(where.number, span, "Wwise package", "Files", facts), facts};
    found.truncated = end < claimed;
    found.members = std::move(members);
    return found;
  }

 private:
  // The language map and the three tables of the header.
  bool ReadTables(const std::vector<uint8_t>& header, const Layout& l, std::vector<File>& files) {
    languages_.clear();
    std::span<const uint8_t> rest(header.data() + l.tablesAt, header.size() - l.tablesAt);
    if (!Languages(rest.first(l.sizes[0]), l.order, languages_)) return false;
    rest = rest.subspan(l.sizes[0]);
    for (Table t : {kBanks, kStreams, kExternals}) {
      if (!ReadTable(rest.first(l.sizes[t + 1]), t, l.order, languages_, files)) return false;
      rest = rest.subspan(l.sizes[t + 1]);
    }
    return true;
  }

  // A bank, or a WEM file read as FileMember() reads one; named by its id
  // and, but for sound effects, its language.
  Member MemberOf(InputView& input, int64_t start, const File& f, int64_t index) const {
    Member m;
    if (f.table == kBanks) {
      m.index = index;
      m.offset = f.start;
      m.length = f.size;
      m.codec = "bnk";
    } else {
      m = FileMember(input, start, index, f.start, f.size, true);
    }
    const std::string& language = languages_.at(f.language);
    m.name = std::to_string(f.id) + (language == "sfx" ? "" : "_" + language);
    return m;
  }

  // The count of files; the first WEM file's rate and channels.
  static StreamFacts Facts(const std::vector<Member>& members) {
    StreamFacts f;
    f.frames = std::ssize(members);
    for (const Member& m : members) {
      if (m.codec != "wem" || m.rate <= 0) continue;
      f.sampleRateHz = m.rate;
      f.channels = m.channels;
      break;
    }
    return f;
  }

  std::map<uint32_t, std::string> languages_;
};

}  // namespace

std::unique_ptr<Carver> MakeWwisePackageCarver(Host& host) {
  return std::make_unique<WwisePackageCarver>(host);
}
