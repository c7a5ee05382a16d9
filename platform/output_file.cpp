#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/env.h"
#include "platform/input_file.h"
#include "platform/output_names.h"
#include "platform/pending_output.h"

namespace {

constexpr int64_t kWriteBufferSize = 64 * 1024;

// A link that leads to a device, a FIFO or a socket, or that is one of the
// system's names (below /dev or /proc: /dev/stdout), is not the user's file
// to replace: the output is refused.
void CheckLink(const OutputTarget& look, Env& env) {
  const bool special = look.err == 0 && !S_ISREG(look.mode) && !S_ISDIR(look.mode);
  std::string dir, base;
  SplitPath(look.path, dir, base);
  if (special || InSystemFolder(dir, env))
    throw IoError(kIoNotAFile, "Not a regular file", look.path);
}

// Refuses, before anything is opened, a name the output may not take; a
// link is replaced like a file, whatever it points to. Returns whether the
// output goes over a file.
bool CheckTarget(const OutputTarget& look, OutputMode mode, Env& env) {
  const std::string& path = look.path;
  if (path.empty()) throw IoError(kIoPathNotFound, "Path not found");
  if (look.exists && mode == OutputMode::Keep) ThrowTaken(path);
  if (!look.exists && look.err != 0) ThrowOsError(look.err, path);
  if (look.link) CheckLink(look, env);
  const bool overFile = look.exists && !look.link;
  if (overFile) {
    if (S_ISDIR(look.mode)) throw IoError(kIoAccessDenied, "File access denied", path);
    if (!S_ISREG(look.mode)) throw IoError(kIoNotAFile, "Not a regular file", path);
    // A file that could not be opened for writing is not replaced either.
    if (env.access(path.c_str(), W_OK, AT_EACCESS) != 0) ThrowOsError(errno, path);
  }
  return overFile;
}

// An open that creates an output's file: a Create for the Env, which may
// fail it (-1 and errno, as the open would).
int OpenToCreate(Env& env, const char* path, int flags) {
  if (int err = env.begin(FileOp::Create)) {
    errno = err;
    return -1;
  }
  return env.open(path, flags, 0666);
}

// Opens the existing `path` for writing, without blocking (a FIFO
// without a reader), and refuses anything but a regular file.
Descriptor OpenDirect(const std::string& path, Env& env) {
  const int raw = OpenToCreate(env, path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (raw < 0) {
    if (errno == ENXIO) throw IoError(kIoNotAFile, "Not a regular file", path);
    ThrowOsError(errno, path);
  }
  Descriptor fd(raw, env);
  struct stat st {};
  if (env.fstat(raw, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = errno;
    if (S_ISREG(st.st_mode)) ThrowOsError(err, path);
    throw IoError(kIoNotAFile, "Not a regular file", path);
  }
  env.fcntl(raw, F_SETFL, env.fcntl(raw, F_GETFL, 0) & ~O_NONBLOCK);
  return fd;
}

// Links the open file `self` (its /proc/self/fd name) in under `path`, or,
// where the name was taken meanwhile and may be replaced, under a temporary
// name beside it, to be renamed over it as a temporary file would be.
// Returns the name made; nothing is linked when it throws.
std::string LinkIn(Env& env, const std::string& self, const std::string& path, OutputMode mode) {
  if (env.linkFollow(self.c_str(), path.c_str()) == 0) return path;
  if (errno != EEXIST) ThrowOsError(errno, path);
  if (mode == OutputMode::Keep) ThrowTaken(path);
  std::string dir, base;
  SplitPath(path, dir, base);
  for (int attempt = 0;; ++attempt) {
    std::string temp = TempNameBeside(dir, base);
    SetPendingOutput(temp);
    if (env.linkFollow(self.c_str(), temp.c_str()) == 0) return temp;
    if (errno != EEXIST || attempt >= 100) ThrowOsError(errno, path);
  }
}

}  // namespace

OutputFile::OutputFile(Descriptor fd, std::string path, OutputMode mode)
    : fd_(std::move(fd)), path_(std::move(path)), mode_(mode) {}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::move(other.fd_);
    path_ = std::move(other.path_);
    tempPath_ = std::exchange(other.tempPath_, std::string());
    unnamed_ = std::exchange(other.unnamed_, false);
    mode_ = other.mode_;
    saved_ = std::move(other.saved_);
    savedSize_ = other.savedSize_;
    pos_ = other.pos_;
    buf_ = std::move(other.buf_);
    bufLen_ = std::exchange(other.bufLen_, 0);
    tap_ = std::exchange(other.tap_, nullptr);
  }
  return *this;
}

OutputFile OutputFile::Create(const std::string& path, Env& env) {
  BeginFileOp(env, FileOp::Create, path);
  if (path.empty()) throw IoError(kIoPathNotFound, "Path not found");
  const int fd = env.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowOsError(errno, path);
  return OutputFile(Descriptor(fd, env), path);
}

OutputFile OutputFile::CreateOutput(const std::string& path, OutputMode mode, Env& env) {
  return CreateOutput(OutputTarget::Look(path, env), mode, env);
}

// A new name: the file gets its name only when it is whole. A file that is
// not open where the filesystem has no files without a name.
OutputFile OutputFile::CreateUnnamed(const std::string& dir, const std::string& path,
                                     OutputMode mode, Env& env) {
  const int fd =
      OpenToCreate(env, dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    ClearPendingOutput();
    OutputFile f(Descriptor(fd, env), path, mode);
    f.unnamed_ = true;
    return f;
  }
  const int err = errno;
  if (!NoUnnamedFiles(err, dir)) ThrowOsError(err, path);
  return OutputFile();
}

OutputFile OutputFile::CreateOutput(const OutputTarget& look, OutputMode mode, Env& env) {
  const std::string& path = look.path;
  const bool overFile = CheckTarget(look, mode, env);
  std::string dir, base;
  SplitPath(path, dir, base);
  if (!look.exists && UnnamedOutputsPossible(dir, env)) {
    OutputFile f = CreateUnnamed(dir, path, mode, env);
    if (f.isOpen()) return f;
  }
  for (int attempt = 0;; ++attempt) {
    std::string temp = TempNameBeside(dir, base);
    const int fd =
        OpenToCreate(env, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      // The replacement keeps the permissions of the file it replaces.
      if (overFile) env.fchmod(fd, look.mode & 07777);
      OutputFile f(Descriptor(fd, env), path, mode);
      f.tempPath_ = temp;
      SetPendingOutput(temp);
      return f;
    }
    const int err = errno;
    if (err == EEXIST && attempt < 100) continue;
    // A directory that cannot be written to: an existing file is written in
    // place, as nothing else can be done with it.
    if (overFile && (err == EACCES || err == EPERM || err == EROFS))
      return CreateInPlace(path, env);
    ThrowOsError(err, path);
  }
}

// The old content goes to a file of its own before a byte of the output is
// written; a copy that fails (a full temporary folder) fails the output,
// and the file keeps what it held.
OutputFile OutputFile::CreateInPlace(const std::string& path, Env& env) {
  Descriptor target = OpenDirect(path, env);
  std::string saveDir;
  Descriptor saveFile = OpenTemporary(saveDir, env);
  OutputFile saved(std::move(saveFile), saveDir);
  InputFile old = InputFile::OpenRead(path, env);
  // What the file holds when it is read is the content to put back.
  const int64_t size = old.copyTo(saved, old.size());
  saved.flush();
  old.close();
  OutputFile f(std::move(target), path);
  f.savedSize_ = size;
  f.saved_ = std::move(saved.fd_);
  SetPendingRestore(f.fd_.get(), f.saved_.get(), f.savedSize_);
  if (env.ftruncate(f.fd_.get(), 0) != 0) ThrowOsError(errno, path);
  return f;
}

void OutputFile::commitInPlace() {
  try {
    flush();
    BeginFileOp(env(), FileOp::Close, path_);
  } catch (...) {
    restoreInPlace();
    throw;
  }
  ClearPendingRestore();
  saved_.closeQuietly();
  if (int err = fd_.close()) ThrowOsError(err, path_);
}

void OutputFile::restoreInPlace() noexcept {
  bufLen_ = 0;  // nothing of the output is kept
  RestoreContent(fd_.get(), saved_.get(), savedSize_, env());
  ClearPendingRestore();
  saved_.closeQuietly();
  fd_.closeQuietly();
}

void OutputFile::commit() {
  if (saved_.isOpen()) {
    commitInPlace();
  } else if (unnamed_) {
    commitUnnamed();
  } else if (tempPath_.empty()) {
    close();
  } else {
    commitNamed();
  }
}

void OutputFile::commitNamed() {
  std::string temp = std::exchange(tempPath_, std::string());
  Env& env = this->env();
  try {
    close();
    BeginFileOp(env, FileOp::Rename, path_);
    if (mode_ == OutputMode::Keep) {
      RenameWithoutReplacing(temp, path_, env);
    } else if (env.rename(temp.c_str(), path_.c_str()) != 0) {
      ThrowOsError(errno, path_);
    }
  } catch (...) {
    env.unlink(temp.c_str());
    ClearPendingOutput();
    throw;
  }
  ClearPendingOutput();
}

void OutputFile::commitUnnamed() {
  // The file is linked in while it is open; its descriptor is closed after,
  // and a failure there takes the name away again.
  unnamed_ = false;
  Env& env = this->env();
  std::string linked;  // the name made, removed again on a failure
  try {
    flush();
    BeginFileOp(env, FileOp::Close, path_);
    BeginFileOp(env, FileOp::Rename, path_);
    linked = LinkIn(env, "/proc/self/fd/" + std::to_string(fd_.get()), path_, mode_);
    if (int err = fd_.close()) ThrowOsError(err, path_);
    if (linked != path_ && env.rename(linked.c_str(), path_.c_str()) != 0)
      ThrowOsError(errno, path_);
  } catch (...) {
    if (!linked.empty()) env.unlink(linked.c_str());
    ClearPendingOutput();
    closeQuietly();
    throw;
  }
  ClearPendingOutput();
}

void OutputFile::discard() noexcept {
  if (saved_.isOpen()) {
    restoreInPlace();
    return;
  }
  if (unnamed_) {
    unnamed_ = false;
    bufLen_ = 0;  // nothing of it is kept, and nothing has a name
    closeQuietly();
    return;
  }
  if (tempPath_.empty()) {
    closeQuietly();
    return;
  }
  bufLen_ = 0;  // nothing of it is kept
  closeQuietly();
  env().unlink(tempPath_.c_str());
  tempPath_.clear();
  ClearPendingOutput();
}

void OutputFile::write(const void* src, int64_t count) {
  BeginFileOp(env(), FileOp::Write, path_);
  const auto* in = static_cast<const unsigned char*>(src);
  if (tap_ != nullptr && count > 0) tap_->take(src, count);
  // The buffer is made by the first write through it: an output whose bytes
  // are all copied inside the kernel has none.
  if (!buf_ && count > 0) buf_.reset(new unsigned char[kWriteBufferSize]);
  while (count > 0) {
    int64_t n = std::min(count, kWriteBufferSize - bufLen_);
    std::memcpy(buf_.get() + bufLen_, in, n);
    bufLen_ += n;
    in += n;
    count -= n;
    pos_ += n;
    if (bufLen_ == kWriteBufferSize) flush();
  }
}

void OutputFile::writeAt(int64_t offset, const void* src, int64_t count) {
  if (offset < 0 || count < 0 || offset + count > pos_)
    throw IoError(kIoInvalidArgument, "Invalid argument", path_);
  flush();
  BeginFileOp(env(), FileOp::Write, path_);
  const auto* in = static_cast<const unsigned char*>(src);
  while (count > 0) {
    const ssize_t n = env().pwrite(fd_.get(), in, count, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowOsError(errno, path_);
    if (n == 0) throw IoError(kIoDiskFull, "Disk full", path_);
    in += n;
    offset += n;
    count -= n;
  }
}

void OutputFile::flush() {
  if (!fd_.isOpen()) return;
  Env& env = this->env();
  int64_t done = 0;
  while (done < bufLen_) {
    ssize_t n = env.write(fd_.get(), buf_.get() + done, bufLen_ - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      bufLen_ = 0;  // what could not be written is dropped, as on a full disk
      ThrowOsError(err, path_);
    }
    if (n == 0) {
      bufLen_ = 0;
      throw IoError(kIoDiskFull, "Disk full", path_);
    }
    done += n;
  }
  bufLen_ = 0;
}

void OutputFile::close() {
  if (!fd_.isOpen()) return;
  BeginFileOp(env(), FileOp::Close, path_);
  try {
    flush();
  } catch (...) {
    closeQuietly();
    throw;
  }
  if (int err = fd_.close()) ThrowOsError(err, path_);
}

void OutputFile::closeQuietly() noexcept {
  if (!fd_.isOpen()) return;
  try {
    flush();
  } catch (...) {
  }
  fd_.closeQuietly();
}
