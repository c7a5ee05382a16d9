#include "carve/run_outputs.h"

#include <sys/stat.h>

#include "output/naming.h"
#include "platform/folders.h"

namespace {

// True when the name is taken by anything, a link that points nowhere too.
bool NameTaken(const std::string& name) {
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0;
}

}  // namespace

bool RunOutputs::wrote(const std::string& name) const {
  if (names_.contains(name)) return true;
  std::pair<uint64_t, uint64_t> id;
  return !files_.empty() && FileIdentity(name, id) && files_.contains(id);
}

void RunOutputs::add(const std::string& name) {
  names_.insert(name);
  std::pair<uint64_t, uint64_t> id;
  if (FileIdentity(name, id)) files_.insert(id);
}

std::string RunOutputs::freeName(const std::string& name) const {
  for (int64_t n = 2;; ++n) {
    std::string candidate = NameBeside(name, n);
    if (!wrote(candidate) && !NameTaken(candidate)) return candidate;
  }
}
