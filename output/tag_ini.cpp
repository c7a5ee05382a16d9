// The tag INI file: sections of key=value lines read from raw bytes, and the
// ID3v1 fields of one stream taken from its "Default" and "Track" sections.
#include "output/tag_ini.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace {

constexpr size_t kMaxValueLength = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A value as stored: trimmed, without one pair of surrounding quotes, cut to
// the longest value that is read.
std::string CleanValue(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v.substr(0, kMaxValueLength));
}

// Calls `onLine` for each line, whether it ends in "\n", "\r\n" or "\r".
template <typename F>
void ForEachLine(std::string_view text, F onLine) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      onLine(text.substr(start));
      return;
    }
    onLine(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

// Parses a whole number: an optional sign, then decimal digits, or hex digits
// after "0x", "0X" or "$". False for anything else or a value beyond 64 bits.
// The base a number's prefix ("0x", "0X" or "$") gives, taking the prefix
// off `s`.
int TakeBase(std::string_view& s) {
  if (s.starts_with("0x") || s.starts_with("0X")) {
    s.remove_prefix(2);
    return 16;
  }
  if (s.starts_with('$')) {
    s.remove_prefix(1);
    return 16;
  }
  return 10;
}

bool ParseInteger(std::string_view s, int64_t& result) {
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) s.remove_prefix(1);
  const int base = TakeBase(s);
  if (s.empty()) return false;
  uint64_t magnitude = 0;
  auto [end, err] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (err != std::errc() || end != s.data() + s.size()) return false;
  constexpr uint64_t kMaxPositive = static_cast<uint64_t>(INT64_MAX);
  if (magnitude > kMaxPositive + (negative ? 1 : 0)) return false;
  result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

}  // namespace

TagIni TagIni::Load(const std::string& path, std::string* problem, Env& env) {
  std::string text;
  try {
    InputFile file = OpenTextFile(path, env);
    std::vector<char> block(64 * 1024);
    for (;;) {
      int64_t n = file.read(block.data(), static_cast<int64_t>(block.size()));
      if (n <= 0) break;
      text.append(block.data(), static_cast<size_t>(n));
    }
  } catch (const IoError& e) {
    if (problem) *problem = e.what();
    return {};  // a file that cannot be read is read as an empty one
  }
  return Parse(text);
}

TagIni TagIni::Parse(const std::string& text) {
  TagIni ini;
  std::string_view rest(text);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  std::map<std::string, std::string>* section = nullptr;  // none yet: keys are ignored
  ForEachLine(rest, [&](std::string_view raw) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name =
          line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
      section = &ini.sections_[Lower(Trim(name))];  // a repeated section carries on the first
      return;
    }
    size_t eq = line.find('=');
    if (section == nullptr || eq == std::string_view::npos) return;
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) return;
    section->emplace(Lower(key), CleanValue(line.substr(eq + 1)));  // the first occurrence wins
  });
  return ini;
}

std::string TagIni::ReadString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  auto s = sections_.find(Lower(Trim(section)));
  if (s == sections_.end()) return defaultValue;
  auto k = s->second.find(Lower(Trim(key)));
  return k == s->second.end() ? defaultValue : k->second;
}

int64_t TagIni::ReadInteger(const std::string& section, const std::string& key,
                            int64_t defaultValue) const {
  int64_t value = 0;
  auto s = sections_.find(Lower(Trim(section)));
  if (s == sections_.end()) return defaultValue;
  auto k = s->second.find(Lower(Trim(key)));
  if (k == s->second.end() || !ParseInteger(k->second, value)) return defaultValue;
  return value;
}

bool TagIni::SectionExists(const std::string& section) const {
  auto s = sections_.find(Lower(Trim(section)));
  return s != sections_.end() && !s->second.empty();
}

TMp3Tag ReadTagFromIni(const TagIni& ini, int64_t n, int currentYear) {
  TMp3Tag base;
  base.Title = ini.ReadString("Default", "Title", "");
  base.Artist = ini.ReadString("Default", "Artist", "");
  base.Album = ini.ReadString("Default", "Album", "");
  base.Year = ini.ReadString("Default", "Year", std::to_string(currentYear));
  base.Comment = ini.ReadString("Default", "Comment", "");
  base.Genre = ini.ReadString("Default", "Genre", "Unknown");
  base.TrackNo = static_cast<uint8_t>(ini.ReadInteger("Default", "TrackNo", 0));  // low 8 bits

  std::string track = "Track" + std::to_string(n);
  TMp3Tag tag;
  tag.Title = ini.ReadString(track, "Title", base.Title);
  tag.Artist = ini.ReadString(track, "Artist", base.Artist);
  tag.Album = ini.ReadString(track, "Album", base.Album);
  tag.Year = ini.ReadString(track, "Year", base.Year);
  tag.Comment = ini.ReadString(track, "Comment", base.Comment);
  tag.Genre = ini.ReadString(track, "Genre", base.Genre);
  tag.TrackNo = static_cast<uint8_t>(ini.ReadInteger(track, "TrackNo", base.TrackNo));
  return tag;
}
