#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/io_error.h"

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CreateDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) ThrowOsError(errno, path);
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) ThrowOsError(errno);
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

FileIdentities::FileIdentities(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0)
      ids_.emplace_back(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
  }
}

bool FileIdentities::contains(const OutputTarget& target) const {
  if (ids_.empty() || !target.exists || target.err != 0) return false;
  return std::find(ids_.begin(), ids_.end(), std::make_pair(target.device, target.inode)) !=
         ids_.end();
}

bool FileIdentities::contains(const std::string& path) const {
  if (ids_.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return std::find(ids_.begin(), ids_.end(),
                   std::make_pair(static_cast<uint64_t>(st.st_dev),
                                  static_cast<uint64_t>(st.st_ino))) != ids_.end();
}
