#include "platform/output_names.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "platform/env.h"
#include "platform/io_error.h"

namespace {

// The directory whose filesystem refused the last file without a name.
std::string g_refusingDir;

// A fresh suffix for a temporary name.
std::string TempSuffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static uint64_t state = (static_cast<uint64_t>(::getpid()) << 32) ^
                          static_cast<uint64_t>(std::time(nullptr)) ^ 0x9E3779B97F4A7C15ULL;
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  uint64_t x = state >> 16;
  std::string suffix(6, 'A');
  for (char& c : suffix) {
    c = kChars[x % 62];
    x /= 62;
  }
  return suffix;
}

}  // namespace

void SplitPath(const std::string& path, std::string& dir, std::string& base) {
  const auto slash = path.find_last_of('/');
  dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  base = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempNameBeside(const std::string& dir, const std::string& base) {
  const std::string suffix = ".part-" + TempSuffix();
  return dir + "." + base.substr(0, NAME_MAX - 1 - suffix.size()) + suffix;
}

bool UnnamedOutputsPossible(const std::string& dir, Env& env) {
  static const bool proc = env.access("/proc/self/fd", X_OK, 0) == 0;
  return proc && dir != g_refusingDir;
}

bool NoUnnamedFiles(int err, const std::string& dir) {
  if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return false;
  g_refusingDir = dir;
  return true;
}

bool InSystemFolder(const std::string& dir, Env& env) {
  std::string resolved = dir.empty() ? "." : dir;
  if (char* real = env.realpath(resolved.c_str())) {
    resolved = real;
    std::free(real);
  }
  for (const char* top : {"/dev", "/proc"}) {
    const std::string t = top;
    if (resolved.starts_with(t) && (resolved.size() == t.size() || resolved[t.size()] == '/'))
      return true;
  }
  return false;
}

Descriptor OpenTemporary(std::string& dir, Env& env) {
  const char* tmp = std::getenv("TMPDIR");
  dir = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
  BeginFileOp(env, FileOp::Create, dir);
  int fd = env.open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && NoUnnamedFiles(errno, dir)) {
    const std::string temp = TempNameBeside(dir + "/", "zandrel");
    fd = env.open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) env.unlink(temp.c_str());
  }
  if (fd < 0) ThrowOsError(errno, dir);
  return Descriptor(fd, env);
}

void ThrowTaken(const std::string& path) { throw IoError(kIoOutputExists, "File exists", path); }

void RenameWithoutReplacing(const std::string& from, const std::string& to, Env& env) {
  if (env.renameNoReplace(from.c_str(), to.c_str()) == 0) return;
  int err = errno;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
    if (env.link(from.c_str(), to.c_str()) == 0) {
      env.unlink(from.c_str());
      return;
    }
    err = errno;
  }
  if (err == EEXIST) ThrowTaken(to);
  ThrowOsError(err, to);
}
