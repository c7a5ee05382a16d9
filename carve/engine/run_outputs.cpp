#include "carve/engine/run_outputs.h"

#include <sys/stat.h>

#include <climits>

#include "output/naming.h"
#include "platform/folders.h"

namespace {

// True when the name is taken by anything, a link that points nowhere too.
bool NameTaken(Env& env, const std::string& name) {
  struct stat st {};
  return LookAt(env, name, &st, false) == 0;
}

// The length of the longest start of `text` no longer than `most` bytes that
// does not end inside a UTF-8 sequence, where `text` is valid UTF-8
// (otherwise `most`: bytes of another encoding are cut anywhere).
size_t Utf8Cut(const std::string& text, size_t most) {
  size_t i = 0, lastWhole = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t len = lead < 0x80         ? 1
                       : (lead >> 5) == 6  ? 2
                       : (lead >> 4) == 14 ? 3
                       : (lead >> 3) == 30 ? 4
                                           : 0;
    if (len == 0 || i + len > text.size()) return most;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return most;
    }
    if (i + len <= most) lastWhole = i + len;
    i += len;
  }
  return lastWhole;
}

}  // namespace

std::string FitNameBeside(const std::string& name, int64_t n) {
  std::string beside = NameBeside(name, n);
  const size_t part = beside.rfind('/') == std::string::npos ? 0 : beside.rfind('/') + 1;
  if (beside.size() - part <= NAME_MAX) return beside;
  // NameBeside puts "_n" where the two names begin to differ: the base
  // before it is what gives way.
  size_t at = part;
  while (at < name.size() && name[at] == beside[at]) ++at;
  const std::string base = name.substr(part, at - part);
  const size_t excess = beside.size() - part - NAME_MAX;
  if (excess >= base.size()) return beside;  // no base to cut: the name fails as it is
  const size_t keep = Utf8Cut(base, base.size() - excess);
  return name.substr(0, part) + base.substr(0, keep) + beside.substr(at);
}

bool RunOutputs::wrote(const std::string& name) const {
  if (names_.contains(name)) return true;
  std::pair<uint64_t, uint64_t> id;
  return !files_.empty() && FileIdentity(name, id, *env_) && files_.contains(id);
}

void RunOutputs::add(const std::string& name) {
  names_.insert(name);
  std::pair<uint64_t, uint64_t> id;
  if (FileIdentity(name, id, *env_)) files_.insert(id);
}

std::string RunOutputs::freeName(const std::string& name) {
  int64_t& count = counts_.try_emplace(name, 2).first->second;
  for (;; ++count) {
    ++tried_;
    std::string candidate = FitNameBeside(name, count);
    if (!wrote(candidate) && !NameTaken(*env_, candidate)) return candidate;
  }
}
