#include "platform/env.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/io_error.h"

namespace {

constinit Env g_system;
constinit Env* g_current = &g_system;

}  // namespace

Env& Env::Current() { return *g_current; }

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

EnvScope::EnvScope(Env& env) : previous_(g_current) { g_current = &env; }

EnvScope::~EnvScope() { g_current = previous_; }

void BeginFileOp(FileOp op, const std::string& path) {
  if (int err = Env::Current().begin(op)) ThrowOsError(err, path);
}
