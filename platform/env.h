// The system as the file layer sees it. Every system call the layer makes on
// a file goes through the Env in force, and every operation of the layer
// announces itself to it first; the Env in force is the operating system's
// unless an EnvScope puts another in its place (a test's, which fails the Nth
// operation of a kind: see platform/fault.h). The layer does the same work
// whatever Env is in force.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

// The kinds of operation of the file layer. KernelCopy: a copy between files
// inside the kernel (InputFile::copyTo); an errno that says the kernel cannot
// copy makes the copy go through the buffers instead.
enum class FileOp { Open, Create, Seek, Read, Write, Close, Size, Rename, KernelCopy, kCount };

// The operating system's: each system call is made as it is asked for.
// Another Env overrides what it wants to change.
class Env {
 public:
  constexpr Env() = default;
  virtual ~Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

  // The Env in force.
  static Env& Current();

  // An operation of kind `op` begins, whether or not it needs a system call
  // (a read from the read buffer, a seek, a write into the write buffer).
  // Returns the errno the operation fails with, or 0; the system's is 0.
  virtual int begin(FileOp op);

  // The system calls, answering as they do (-1 and errno on a failure).
  virtual int open(const char* path, int flags, mode_t mode);
  virtual int close(int fd);
  virtual int fstat(int fd, struct stat* st);
  virtual off_t lseek(int fd, off_t offset, int whence);
  virtual ssize_t pread(int fd, void* dst, size_t count, off_t offset);
  virtual ssize_t write(int fd, const void* src, size_t count);
  virtual ssize_t pwrite(int fd, const void* src, size_t count, off_t offset);
  virtual int ftruncate(int fd, off_t length);
  // copy_file_range() from `in` at `*inOffset` to `out` at its offset.
  virtual ssize_t copyFileRange(int in, loff_t* inOffset, int out, size_t count);
  virtual int rename(const char* from, const char* to);
  // renameat2() with RENAME_NOREPLACE.
  virtual int renameNoReplace(const char* from, const char* to);
  virtual int link(const char* from, const char* to);
  // linkat() with AT_SYMLINK_FOLLOW, as from /proc/self/fd.
  virtual int linkFollow(const char* from, const char* to);
  virtual int unlink(const char* path);
};

// Puts `env` in force until the scope ends; the Env before it comes back.
class EnvScope {
 public:
  explicit EnvScope(Env& env);
  ~EnvScope();
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  Env* previous_;
};

// Begins an operation of kind `op` on `path` with the Env in force: throws
// the IoError of the errno it fails the operation with.
void BeginFileOp(FileOp op, const std::string& path = {});
