#include "platform/folders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/io_error.h"

bool FileExists(const std::string& path, Env& env) {
  struct stat st {};
  return !path.empty() && LookAt(env, path, &st, true) == 0 && !S_ISDIR(st.st_mode);
}

bool RegularFileExists(const std::string& path, Env& env) {
  struct stat st {};
  return !path.empty() && LookAt(env, path, &st, true) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path, Env& env) {
  struct stat st {};
  return !path.empty() && LookAt(env, path, &st, true) == 0 && S_ISDIR(st.st_mode);
}

void CreateDir(const std::string& path, Env& env) {
  BeginFileOp(env, FileOp::MakeFolder, path);
  if (env.mkdir(path.c_str(), 0777) == 0) return;
  const int err = errno;
  // Made meanwhile by another program (a second run on the same folder): a
  // folder there is what was asked for.
  if (err == EEXIST && DirectoryExists(path, env)) return;
  ThrowOsError(err, path);
}

std::string GetCurrentDir(Env& env) {
  std::vector<char> buf(4096);
  while (env.getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) ThrowOsError(errno);
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

namespace {

// Tells `unreadable` the failure of errno value `err` on `path`.
void Tell(int err, const std::string& path, const std::function<void(const IoError&)>& unreadable) {
  try {
    ThrowOsError(err, path);
  } catch (const IoError& e) {
    unreadable(e);
  }
}

// The names in `folder` but "." and "..", in bytewise order; false after
// telling `unreadable` when it cannot be read.
bool ReadFolder(Env& env, const std::string& folder, std::vector<std::string>& names,
                const std::function<void(const IoError&)>& unreadable) {
  names.clear();
  const int failed = env.begin(FileOp::List);
  auto close = [&env](DIR* d) { env.closedir(d); };
  std::unique_ptr<DIR, decltype(close)> dir(failed ? nullptr : env.opendir(folder.c_str()), close);
  if (!dir) {
    Tell(failed ? failed : errno, folder, unreadable);
    return false;
  }
  errno = 0;
  while (const dirent* entry = env.readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) Tell(errno, folder, unreadable);  // the names read so far are kept
  std::sort(names.begin(), names.end());            // std::string compares bytes as unsigned
  return true;
}

// One folder on the way down: its path and its names not yet taken.
struct Level {
  std::string path;
  std::vector<std::string> names;
  size_t next = 0;
};

}  // namespace

std::vector<std::string> FilesBelow(const std::string& folder,
                                    const std::function<void(const IoError&)>& unreadable,
                                    const FileIdentities* leftOut, Env& env) {
  std::string top = folder;
  while (top.size() > 1 && top.back() == '/') top.pop_back();
  std::vector<std::string> files;
  std::vector<Level> levels(1);
  levels.back().path = top;
  if (!ReadFolder(env, top, levels.back().names, unreadable)) return files;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.names.size()) {
      levels.pop_back();
      continue;
    }
    const std::string path =
        (level.path == "/" ? "" : level.path) + "/" + level.names[level.next++];
    struct stat st {};
    if (LookAt(env, path, &st, false) != 0) {
      if (errno != ENOENT) Tell(errno, path, unreadable);  // ENOENT: gone meanwhile
      continue;
    }
    if (S_ISREG(st.st_mode)) {
      files.push_back(path);
    } else if (S_ISDIR(st.st_mode)) {
      if (leftOut != nullptr && leftOut->contains(std::make_pair(static_cast<uint64_t>(st.st_dev),
                                                                 static_cast<uint64_t>(st.st_ino))))
        continue;
      Level below;
      below.path = path;
      if (ReadFolder(env, path, below.names, unreadable)) levels.push_back(std::move(below));
    }
  }
  return files;
}

bool IsPipeOrDevice(const std::string& path, Env& env) {
  struct stat st {};
  return LookAt(env, path, &st, true) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode));
}

bool FileIdentity(const std::string& path, std::pair<uint64_t, uint64_t>& id, Env& env,
                  int64_t* size) {
  struct stat st {};
  if (path.empty() || LookAt(env, path, &st, true) != 0) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  if (size != nullptr) *size = S_ISREG(st.st_mode) ? std::max<int64_t>(st.st_size, 0) : 0;
  return true;
}

FileIdentities::FileIdentities(const NameList& paths, Env& env) : env_(&env) {
  sizes_.reserve(paths.size());
  for (std::string_view path : paths) {
    std::pair<uint64_t, uint64_t> id;
    int64_t size = 0;
    if (FileIdentity(std::string(path), id, env, &size)) ids_.push_back(id);
    sizes_.push_back(size);
    totalSize_ += size;
  }
}

bool FileIdentities::contains(std::pair<uint64_t, uint64_t> id) const {
  return std::find(ids_.begin(), ids_.end(), id) != ids_.end();
}

bool FileIdentities::contains(const OutputTarget& target) const {
  if (ids_.empty() || !target.exists || target.err != 0) return false;
  return contains(std::make_pair(target.device, target.inode));
}

bool FileIdentities::contains(const std::string& path) const {
  std::pair<uint64_t, uint64_t> id;
  return !ids_.empty() && FileIdentity(path, id, *env_) && contains(id);
}
