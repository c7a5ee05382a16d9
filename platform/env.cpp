#include "platform/env.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/io_error.h"

namespace {

constinit Env g_system;

}  // namespace

Env& Env::System() { return g_system; }

int Env::begin(FileOp /*op*/) { return 0; }

int Env::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int Env::close(int fd) { return ::close(fd); }

int Env::fstat(int fd, struct stat* st) { return ::fstat(fd, st); }

off_t Env::lseek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }

ssize_t Env::pread(int fd, void* dst, size_t count, off_t offset) {
  return ::pread(fd, dst, count, offset);
}

ssize_t Env::write(int fd, const void* src, size_t count) { return ::write(fd, src, count); }

ssize_t Env::pwrite(int fd, const void* src, size_t count, off_t offset) {
  return ::pwrite(fd, src, count, offset);
}

int Env::ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }

ssize_t Env::copyFileRange(int in, loff_t* inOffset, int out, size_t count) {
  return ::copy_file_range(in, inOffset, out, nullptr, count, 0);
}

int Env::rename(const char* from, const char* to) { return ::rename(from, to); }

int Env::renameNoReplace(const char* from, const char* to) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int Env::link(const char* from, const char* to) { return ::link(from, to); }

int Env::linkFollow(const char* from, const char* to) {
  return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

int Env::unlink(const char* path) { return ::unlink(path); }

int Env::fcntl(int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); }

int Env::fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int Env::stat(const char* path, struct stat* st) { return ::stat(path, st); }

int Env::lstat(const char* path, struct stat* st) { return ::lstat(path, st); }

int Env::access(const char* path, int mode, int flags) {
  return ::faccessat(AT_FDCWD, path, mode, flags);
}

char* Env::realpath(const char* path) { return ::realpath(path, nullptr); }

int Env::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }

DIR* Env::opendir(const char* path) { return ::opendir(path); }

dirent* Env::readdir(DIR* dir) { return ::readdir(dir); }

int Env::closedir(DIR* dir) { return ::closedir(dir); }

char* Env::getcwd(char* buf, size_t size) { return ::getcwd(buf, size); }

void BeginFileOp(Env& env, FileOp op, const std::string& path) {
  if (int err = env.begin(op)) ThrowOsError(err, path);
}

int LookAt(Env& env, const std::string& path, struct stat* st, bool followLinks) {
  if (int err = env.begin(FileOp::Look)) {
    errno = err;
    return -1;
  }
  return followLinks ? env.stat(path.c_str(), st) : env.lstat(path.c_str(), st);
}
