// The system as the file layer sees it. Every system call the layer makes on
// a file, a folder or a name goes through an Env, and every operation of the
// layer announces itself to it first. The Env is a parameter: each file
// keeps the one it was opened with, and a run (carve/engine/run_state.h) hands its
// own to every file it opens; a test's Env fails the Nth operation of a kind
// (see platform/fault.h). The operating system's is Env::System(): a
// function of the layer called without one uses it, and no part of the
// program changes it behind a caller's back. The engine and the front ends
// always name theirs. The layer does the same work whatever Env it is given.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

// The kinds of operation of the file layer. KernelCopy: a copy between files
// inside the kernel (InputFile::copyTo); an errno that says the kernel cannot
// copy makes the copy go through the buffers instead. MakeFolder: a folder
// made; List: a folder's names read; Look: a name looked at (whether it is
// taken, by what, and which file it leads to). A failed look answers as the
// system call failing with that errno would.
enum class FileOp {
  Open,
  Create,
  Seek,
  Read,
  Write,
  Close,
  Size,
  Rename,
  KernelCopy,
  MakeFolder,
  List,
  Look,
  kCount
};

// The operating system's: each system call is made as it is asked for.
// Another Env overrides what it wants to change.
class Env {
 public:
  constexpr Env() = default;
  virtual ~Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

  // The operating system's.
  static Env& System();

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
  virtual int fcntl(int fd, int cmd, int arg);
  virtual int fchmod(int fd, mode_t mode);
  virtual int stat(const char* path, struct stat* st);
  virtual int lstat(const char* path, struct stat* st);
  // faccessat() in the working folder.
  virtual int access(const char* path, int mode, int flags);
  // realpath() into a buffer of its own, to be freed with free().
  virtual char* realpath(const char* path);
  virtual int mkdir(const char* path, mode_t mode);
  virtual DIR* opendir(const char* path);
  virtual dirent* readdir(DIR* dir);
  virtual int closedir(DIR* dir);
  virtual char* getcwd(char* buf, size_t size);
};

// Begins an operation of kind `op` on `path` with `env`: throws the IoError
// of the errno it fails the operation with.
void BeginFileOp(Env& env, FileOp op, const std::string& path = {});

// A Look at `path` with `env`: stat() (links followed) or lstat(), -1 and
// errno when the Env fails the look.
int LookAt(Env& env, const std::string& path, struct stat* st, bool followLinks);
