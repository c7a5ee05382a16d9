#include "platform/output_target.h"

#include <sys/stat.h>

#include <cerrno>

OutputTarget OutputTarget::Look(const std::string& path, Env& env) {
  OutputTarget t;
  t.path = path;
  struct stat st {};
  if (path.empty()) return t;
  if (LookAt(env, path, &st, false) != 0) {
    if (errno != ENOENT) t.err = errno;
    return t;
  }
  t.exists = true;
  t.link = S_ISLNK(st.st_mode);
  if (t.link && env.stat(path.c_str(), &st) != 0) {
    t.err = errno;
    return t;
  }
  t.mode = st.st_mode;
  t.device = static_cast<uint64_t>(st.st_dev);
  t.inode = static_cast<uint64_t>(st.st_ino);
  return t;
}
