#include "platform/image_segments.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "platform/folders.h"
#include "platform/output_file.h"

namespace {

// The most segments a set is read with (FTK Imager numbers up to 999;
// split's letters give 676).
constexpr size_t kMostSegments = 100000;

enum class Naming { None, Digits, Letters };

// How `name` numbers its segment: the digits after its last dot (three or
// more), or two lower-case letters after its last dot or after the x that
// a split(1) without a prefix names its pieces with; `width` is the
// suffix's length.
Naming NamingOf(const std::string& name, size_t& width) {
  const size_t slash = name.find_last_of('/');
  const std::string_view base =
      std::string_view(name).substr(slash == std::string::npos ? 0 : slash + 1);
  const size_t dot = base.find_last_of('.');
  const std::string_view suffix = dot == std::string::npos ? base : base.substr(dot + 1);
  if (dot != std::string::npos && suffix.size() >= 3 &&
      std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    width = suffix.size();
    return Naming::Digits;
  }
  const bool letters = (dot != std::string::npos && suffix.size() == 2) ||
                       (dot == std::string::npos && base.size() == 3 && base[0] == 'x');
  if (letters &&
      std::all_of(base.end() - 2, base.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
    width = 2;
    return Naming::Letters;
  }
  return Naming::None;
}

// `name` with its suffix of `width` characters as the first segment's.
std::string FirstName(const std::string& name, Naming naming, size_t width, char first) {
  std::string out = name;
  for (size_t i = out.size() - width; i < out.size(); ++i) {
    out[i] = naming == Naming::Digits ? '0' : 'a';
  }
  if (naming == Naming::Digits) out.back() = first;
  return out;
}

}  // namespace

std::string NextSegmentName(const std::string& name) {
  size_t width = 0;
  const Naming naming = NamingOf(name, width);
  if (naming == Naming::None) return {};
  const char low = naming == Naming::Digits ? '0' : 'a';
  const char high = naming == Naming::Digits ? '9' : 'z';
  std::string next = name;
  for (size_t i = next.size(); i-- > next.size() - width;) {
    if (next[i] != high) {
      ++next[i];
      return next;
    }
    next[i] = low;
  }
  return {};  // the last name of its width
}

std::vector<std::string> SegmentNames(const std::string& first, Env& env) {
  std::vector<std::string> names{first};
  size_t width = 0;
  const Naming naming = NamingOf(first, width);
  if (naming == Naming::None) return names;
  // A first segment is numbered 0 or 1 (1 only where there is no 0), or aa.
  const bool isFirst = naming == Naming::Letters
                           ? first.ends_with("aa")
                           : first == FirstName(first, naming, width, '0') ||
                                 (first == FirstName(first, naming, width, '1') &&
                                  !FileExists(FirstName(first, naming, width, '0'), env));
  if (!isFirst) return names;
  for (std::string next = NextSegmentName(first);
       !next.empty() && names.size() < kMostSegments && FileExists(next, env);
       next = NextSegmentName(next)) {
    names.push_back(next);
  }
  return names;
}

std::string FirstSegmentOf(const std::string& name, Env& env) {
  size_t width = 0;
  const Naming naming = NamingOf(name, width);
  if (naming == Naming::None) return {};
  for (const char number : {'0', '1'}) {
    const std::string first = FirstName(name, naming, width, number);
    if (first == name) return {};
    if (!FileExists(first, env)) continue;
    const std::vector<std::string> set = SegmentNames(first, env);
    if (std::find(set.begin() + 1, set.end(), name) != set.end()) return first;
    if (naming == Naming::Letters) break;
  }
  return {};
}

SegmentSet::SegmentSet(const std::vector<std::string>& names, Env& env) : names_(names) {
  int64_t at = 0;
  for (const std::string& name : names_) {
    parts_.push_back(InputFile::OpenRead(name, env));
    starts_.push_back(at);
    at += parts_.back().size();
  }
}

int64_t SegmentSet::size() {
  // The segments before the last as they were; the last as it is now.
  return starts_.back() + parts_.back().size();
}

size_t SegmentSet::partAt(int64_t pos) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), pos);
  return static_cast<size_t>(std::max<std::ptrdiff_t>(after - starts_.begin() - 1, 0));
}

int64_t SegmentSet::room(size_t i, int64_t at) const {
  if (i + 1 == starts_.size()) return std::numeric_limits<int64_t>::max();
  return starts_[i + 1] - starts_[i] - at;
}

int64_t SegmentSet::readAt(int64_t pos, void* dst, int64_t count) {
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  for (size_t i = partAt(pos); total < count && i < parts_.size(); ++i) {
    const int64_t at = pos + total - starts_[i];
    const int64_t want = std::min(count - total, room(i, at));
    const int64_t n = parts_[i].readAt(at, out + total, want);
    total += n;
    if (n < want) break;  // a segment that ends early ends the image
  }
  return total;
}

int64_t SegmentSet::copyTo(OutputFile& out, int64_t pos, int64_t count,
                           const std::function<void()>& between) {
  int64_t total = 0;
  for (size_t i = partAt(pos); total < count && i < parts_.size(); ++i) {
    const int64_t at = pos + total - starts_[i];
    const int64_t want = std::min(count - total, room(i, at));
    parts_[i].seek(at);
    const int64_t n = parts_[i].copyTo(out, want, between);
    total += n;
    if (n < want) break;
  }
  return total;
}

bool SegmentSet::holds(const std::string& path) const {
  return std::any_of(parts_.begin(), parts_.end(),
                     [&](const InputFile& p) { return p.isSameFileAs(path); });
}

bool SegmentSet::holds(const OutputTarget& target) const {
  return std::any_of(parts_.begin(), parts_.end(),
                     [&](const InputFile& p) { return p.isSameFileAs(target); });
}
