#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/fault.h"

FaultPlan* g_faultPlan = nullptr;

namespace {

constexpr int64_t kReadBufferSize = 128 * 1024;
// The first fill after a lend: most reads past lent bytes are a probe's look
// at the few bytes after them; further fills double up to the buffer.
constexpr int64_t kFirstFillAfterLend = 4096;
constexpr int64_t kWriteBufferSize = 64 * 1024;
// A copy between files moves this much per system call inside the kernel,
// and goes in blocks of this much through the buffers (and, under a fault
// plan, inside the kernel too, so that each block is one step of the plan).
constexpr int64_t kKernelCopyStep = 8 * 1024 * 1024;
constexpr int64_t kCopyBlock = 64 * 1024;
int g_openCount = 0;

// The errno a planned fault gives the next operation of kind `op`, or 0.
int InjectedErr(FileOp op) { return g_faultPlan ? g_faultPlan->check(op) : 0; }

void Inject(FileOp op, const std::string& path = {}) {
  if (int err = InjectedErr(op)) ThrowOsError(err, path);
}

std::string ParentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void ThrowOsError(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
      if (!path.empty() && !DirectoryExists(ParentOf(path)))
        throw IoError(kIoPathNotFound, "Path not found", path);
      throw IoError(kIoFileNotFound, "File not found", path);
    case ENOTDIR:
      throw IoError(kIoPathNotFound, "Path not found", path);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      throw IoError(kIoAccessDenied, "File access denied", path);
    case EMFILE:
    case ENFILE:
      throw IoError(kIoTooManyOpenFiles, "Too many open files", path);
    case ENOSPC:
    case EDQUOT:
      throw IoError(kIoDiskFull, "Disk full", path);
    case EINVAL:
      throw IoError(kIoInvalidArgument, "Invalid argument", path);
    default:
      throw IoError(kIoOsBase + err, std::strerror(err), path);
  }
}

File::File(int fd, std::string path, bool writing)
    : fd_(fd), writing_(writing), path_(std::move(path)) {
  ++g_openCount;
  buf_.resize(writing ? kWriteBufferSize : kReadBufferSize);
}

File::~File() { discard(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
    writing_ = other.writing_;
    path_ = std::move(other.path_);
    tempPath_ = std::move(other.tempPath_);
    other.tempPath_.clear();
    unnamed_ = std::exchange(other.unnamed_, false);
    mode_ = other.mode_;
    identityKnown_ = other.identityKnown_;
    device_ = other.device_;
    inode_ = other.inode_;
    pos_ = other.pos_;
    knownSize_ = other.knownSize_;
    buf_ = std::move(other.buf_);
    bufStart_ = other.bufStart_;
    bufLen_ = std::exchange(other.bufLen_, 0);
    bufferedCopies_ = other.bufferedCopies_;
    lent_ = std::exchange(other.lent_, nullptr);
    lentStart_ = other.lentStart_;
    lentLen_ = other.lentLen_;
    fillSize_ = other.fillSize_;
  }
  return *this;
}

File File::OpenRead(const std::string& path) {
  Inject(FileOp::Open, path);
  if (path.empty()) throw IoError(kIoFileNotFound, "File not found");
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowOsError(errno, path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    ThrowOsError(err, path);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw IoError(kIoAccessDenied, "File access denied", path);
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    // A pipe, socket or character device has no size and no stable
    // positions to carve from.
    ::close(fd);
    throw IoError(kIoNotAFile, "Not a regular file", path);
  }
  // Back to blocking reads now that no FIFO can stall the open.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  File f(fd, path, false);
  f.knownSize_ = S_ISREG(st.st_mode) ? st.st_size : ::lseek(fd, 0, SEEK_END);
  f.identityKnown_ = true;
  f.device_ = static_cast<uint64_t>(st.st_dev);
  f.inode_ = static_cast<uint64_t>(st.st_ino);
  return f;
}

File File::Create(const std::string& path) {
  Inject(FileOp::Create, path);
  if (path.empty()) throw IoError(kIoPathNotFound, "Path not found");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowOsError(errno, path);
  return File(fd, path, true);
}

namespace {

// The temporary file of the output being written, for RemovePendingOutput():
// a fixed buffer, published by a flag, so that a signal handler can read it.
char g_pendingPath[PATH_MAX + 1];
volatile std::sig_atomic_t g_pendingSet = 0;

void SetPending(const std::string& path) {
  g_pendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path.size() > PATH_MAX) return;
  std::memcpy(g_pendingPath, path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_pendingSet = 1;
}

void ClearPending() {
  g_pendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// A fresh suffix for a temporary name; a clash with an existing file is
// caught by O_EXCL and answered with the next one.
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

// Opens `path` for writing without blocking (a FIFO without a reader) and
// refuses anything but a regular file.
int OpenDirect(const std::string& path) {
  int fd = -1;
  if (int err = InjectedErr(FileOp::Create)) {
    errno = err;
  } else {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  }
  if (fd < 0) {
    if (errno == ENXIO) throw IoError(kIoNotAFile, "Not a regular file", path);
    ThrowOsError(errno, path);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno;
    ::close(fd);
    if (S_ISREG(st.st_mode)) ThrowOsError(err, path);
    throw IoError(kIoNotAFile, "Not a regular file", path);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

OutputTarget OutputTarget::Look(const std::string& path) {
  OutputTarget t;
  t.path = path;
  struct stat st {};
  if (path.empty()) return t;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) t.err = errno;
    return t;
  }
  t.exists = true;
  t.link = S_ISLNK(st.st_mode);
  if (t.link && ::stat(path.c_str(), &st) != 0) {
    t.err = errno;
    return t;
  }
  t.mode = st.st_mode;
  t.device = static_cast<uint64_t>(st.st_dev);
  t.inode = static_cast<uint64_t>(st.st_ino);
  return t;
}

namespace {

// The directory whose filesystem refused the last file without a name: its
// outputs get temporary files with names without asking again.
std::string g_refusingDir;

// Whether an output in `dir` can be made without a name and linked in
// (through /proc/self/fd, looked at once).
bool UnnamedOutputsPossible(const std::string& dir) {
  static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
  return proc && dir != g_refusingDir;
}

// The errors of an O_TMPFILE open that say the filesystem (or the kernel)
// has no files without a name.
bool NoUnnamedFiles(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

}  // namespace

File File::CreateOutput(const std::string& path, OutputMode mode) {
  return CreateOutput(OutputTarget::Look(path), mode);
}

namespace {

// A hidden temporary name beside `base` in `dir` (which ends in '/' or is
// empty): ".BASE.part-XXXXXX", BASE cut short where the whole would not fit
// in a directory entry.
std::string TempNameBeside(const std::string& dir, const std::string& base) {
  const std::string suffix = ".part-" + TempSuffix();
  return dir + "." + base.substr(0, NAME_MAX - 1 - suffix.size()) + suffix;
}

void SplitPath(const std::string& path, std::string& dir, std::string& base) {
  const auto slash = path.find_last_of('/');
  dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  base = slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void ThrowTaken(const std::string& path) {
  throw IoError(kIoOutputExists, "File exists", path);
}

// Puts the file at `from` under `to` without replacing anything there:
// renameat2's RENAME_NOREPLACE, or where the filesystem has none a hard link
// and the removal of `from`.
void RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  int err = errno;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return;
    }
    err = errno;
  }
  if (err == EEXIST) ThrowTaken(to);
  ThrowOsError(err, to);
}

}  // namespace

File File::CreateOutput(const OutputTarget& look, OutputMode mode) {
  const std::string& path = look.path;
  if (path.empty()) throw IoError(kIoPathNotFound, "Path not found");
  if (look.exists && mode == OutputMode::Keep) ThrowTaken(path);
  if (!look.exists && look.err != 0) ThrowOsError(look.err, path);
  // What the name holds now: a special file is refused before anything is
  // opened. A link is replaced like a file, whatever it points to.
  const bool overFile = look.exists && !look.link;
  if (overFile) {
    if (S_ISDIR(look.mode)) throw IoError(kIoAccessDenied, "File access denied", path);
    if (!S_ISREG(look.mode)) throw IoError(kIoNotAFile, "Not a regular file", path);
    // A file that could not be opened for writing is not replaced either.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) ThrowOsError(errno, path);
  }
  std::string dir, base;
  SplitPath(path, dir, base);
  // A directory that cannot be written to: an existing file is written in
  // place, as nothing else can be done with it.
  auto inPlace = [&](int err) {
    return overFile && (err == EACCES || err == EPERM || err == EROFS);
  };
  if (!look.exists && UnnamedOutputsPossible(dir)) {
    // A new name: the file gets its name only when it is whole.
    int fd = -1;
    if (int err = InjectedErr(FileOp::Create)) {
      errno = err;
    } else {
      fd = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
    if (fd >= 0) {
      ClearPending();
      File f(fd, path, true);
      f.unnamed_ = true;
      f.mode_ = mode;
      return f;
    }
    const int err = errno;
    if (!NoUnnamedFiles(err)) ThrowOsError(err, path);
    g_refusingDir = dir;  // a temporary file with a name, from now on
  }
  for (int attempt = 0;; ++attempt) {
    std::string temp = TempNameBeside(dir, base);
    int fd = -1;
    if (int err = InjectedErr(FileOp::Create)) {
      errno = err;
    } else {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    }
    if (fd >= 0) {
      // The replacement keeps the permissions of the file it replaces.
      if (overFile) ::fchmod(fd, look.mode & 07777);
      File f(fd, path, true);
      f.tempPath_ = temp;
      f.mode_ = mode;
      SetPending(temp);
      return f;
    }
    int err = errno;
    if (err == EEXIST && attempt < 100) continue;
    if (inPlace(err)) return File(OpenDirect(path), path, true);
    ThrowOsError(err, path);
  }
}

void File::commit() {
  if (unnamed_) {
    commitUnnamed();
    return;
  }
  if (tempPath_.empty()) {
    close();
    return;
  }
  std::string temp = std::exchange(tempPath_, std::string());
  try {
    close();
    Inject(FileOp::Rename, path_);
    if (mode_ == OutputMode::Keep) {
      RenameWithoutReplacing(temp, path_);
    } else if (::rename(temp.c_str(), path_.c_str()) != 0) {
      ThrowOsError(errno, path_);
    }
  } catch (...) {
    ::unlink(temp.c_str());
    ClearPending();
    throw;
  }
  ClearPending();
}

void File::commitUnnamed() {
  // The file is linked in while it is open; its descriptor is closed after,
  // and a failure there takes the name away again.
  unnamed_ = false;
  std::string linked;  // the name made, removed again on a failure
  bool replaced = false;
  try {
    flush();
    Inject(FileOp::Close, path_);
    Inject(FileOp::Rename, path_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      linked = path_;
    } else {
      if (errno != EEXIST) ThrowOsError(errno, path_);
      if (mode_ == OutputMode::Keep) ThrowTaken(path_);
      // The name was taken meanwhile: it is replaced, as a renamed temporary
      // file replaces it.
      std::string dir, base;
      SplitPath(path_, dir, base);
      for (int attempt = 0; linked.empty(); ++attempt) {
        std::string temp = TempNameBeside(dir, base);
        SetPending(temp);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          linked = temp;
        } else if (errno != EEXIST || attempt >= 100) {
          ThrowOsError(errno, path_);
        }
      }
      replaced = true;
    }
    const int fd = std::exchange(fd_, -1);
    --g_openCount;
    if (::close(fd) != 0 && errno != EINTR) ThrowOsError(errno, path_);
    if (replaced && ::rename(linked.c_str(), path_.c_str()) != 0) ThrowOsError(errno, path_);
  } catch (...) {
    if (!linked.empty()) ::unlink(linked.c_str());
    ClearPending();
    closeQuietly();
    throw;
  }
  ClearPending();
}

void File::discard() noexcept {
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
  ::unlink(tempPath_.c_str());
  tempPath_.clear();
  ClearPending();
}

void RemovePendingOutput() noexcept {
  if (g_pendingSet) ::unlink(g_pendingPath);
}

namespace {

extern "C" void EndOnSignal(int sig) {
  RemovePendingOutput();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

void PrepareOutputSignals() {
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  ::sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
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

int64_t File::size() {
  Inject(FileOp::Size, path_);
  if (writing_) flush();
  struct stat st {};
  if (::fstat(fd_, &st) != 0) ThrowOsError(errno, path_);
  if (S_ISBLK(st.st_mode)) {
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) ThrowOsError(errno, path_);
    knownSize_ = end;
  } else {
    knownSize_ = st.st_size;
  }
  return knownSize_;
}

void File::seek(int64_t pos) {
  Inject(FileOp::Seek, path_);
  if (pos < 0) throw IoError(kIoInvalidArgument, "Invalid argument");
  if (writing_ && pos != pos_) {
    flush();
    if (::lseek(fd_, pos, SEEK_SET) < 0) ThrowOsError(errno, path_);
  }
  pos_ = pos;
}

void File::fillAt(int64_t pos) {
  bufStart_ = pos;
  bufLen_ = 0;
  const int64_t want = fillSize_ > 0 ? fillSize_ : kReadBufferSize;
  fillSize_ = std::min(want * 2, kReadBufferSize);
  while (bufLen_ < want) {
    ssize_t n = ::pread(fd_, buf_.data() + bufLen_, want - bufLen_, pos + bufLen_);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      bufLen_ = 0;
      ThrowOsError(err, path_);
    }
    if (n == 0) break;
    bufLen_ += n;
  }
  if (bufLen_ < want) knownSize_ = pos + bufLen_;
}

int64_t File::read(void* dst, int64_t count) {
  Inject(FileOp::Read, path_);
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  while (count > 0) {
    if (lent_ != nullptr && pos_ >= lentStart_ && pos_ < lentStart_ + lentLen_) {
      int64_t n = std::min(count, lentStart_ + lentLen_ - pos_);
      std::memcpy(out + total, lent_ + (pos_ - lentStart_), n);
      pos_ += n;
      total += n;
      count -= n;
      continue;
    }
    if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
      int64_t n = std::min(count, bufStart_ + bufLen_ - pos_);
      std::memcpy(out + total, buf_.data() + (pos_ - bufStart_), n);
      pos_ += n;
      total += n;
      count -= n;
      continue;
    }
    fillAt(pos_);
    if (bufLen_ == 0) break;
  }
  return total;
}

int64_t File::readAt(int64_t pos, void* dst, int64_t count) {
  Inject(FileOp::Read, path_);
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  while (total < count) {
    ssize_t n = ::pread(fd_, out + total, count - total, pos + total);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOsError(errno, path_);
    }
    if (n == 0) {
      knownSize_ = pos + total;
      break;
    }
    total += n;
  }
  return total;
}

void File::lend(const void* data, int64_t start, int64_t length) {
  lent_ = static_cast<const unsigned char*>(data);
  fillSize_ = kFirstFillAfterLend;
  lentStart_ = start;
  lentLen_ = data != nullptr ? length : 0;
}

void File::readExact(void* dst, int64_t count) {
  if (read(dst, count) != count) throw IoError(kIoReadBeyondEnd, "Read beyond end of file", path_);
}

bool File::eof() {
  if (pos_ < knownSize_) return false;
  return pos_ >= size();
}

namespace {

// The errors of a kernel copy that say it cannot be made between these two
// files (other filesystems, no support, a special file); the bytes are then
// copied through the buffers.
bool KernelCopyUnsupported(int err) {
  return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == ENOTSUP ||
         err == EBADF || err == ETXTBSY || err == EPERM;
}

}  // namespace

int64_t File::copyTo(File& out, int64_t count) {
  static thread_local unsigned char block[kCopyBlock];
  int64_t total = 0;
  while (total < count) {
    bool kernelCopiedNothing = false;
    if (!bufferedCopies_) {
      const int64_t step = std::min(count - total, g_faultPlan ? kCopyBlock : kKernelCopyStep);
      Inject(FileOp::Read, path_);
      Inject(FileOp::Write, out.path_);
      if (int err = InjectedErr(FileOp::KernelCopy)) {
        // A test's stand-in for a kernel that refuses the copy.
        if (!KernelCopyUnsupported(err)) ThrowOsError(err, out.path_);
        bufferedCopies_ = true;
        continue;
      }
      // What the output holds in its buffer goes first; the kernel then
      // writes at the descriptor's offset, which is the output's position.
      out.flush();
      loff_t from = pos_;
      ssize_t n = ::copy_file_range(fd_, &from, out.fd_, nullptr, static_cast<size_t>(step), 0);
      if (n > 0) {
        pos_ += n;
        out.pos_ += n;
        total += n;
        continue;
      }
      if (n < 0) {
        const int err = errno;
        if (err == EINTR) continue;
        // A full disk or a size limit is the output's; anything else is
        // tried again through the buffers, which tell which file failed.
        if (err == ENOSPC || err == EDQUOT || err == EFBIG) ThrowOsError(err, out.path_);
        if (KernelCopyUnsupported(err)) bufferedCopies_ = true;
      }
      // Nothing copied: the end of the file, or a filesystem that copies
      // nothing this way; the buffers tell which.
      kernelCopiedNothing = n == 0;
    }
    const int64_t n = read(block, std::min(count - total, kCopyBlock));
    if (n == 0) break;
    if (kernelCopiedNothing) bufferedCopies_ = true;
    out.write(block, n);
    total += n;
  }
  return total;
}

void File::write(const void* src, int64_t count) {
  Inject(FileOp::Write, path_);
  const auto* in = static_cast<const unsigned char*>(src);
  while (count > 0) {
    int64_t n = std::min(count, kWriteBufferSize - bufLen_);
    std::memcpy(buf_.data() + bufLen_, in, n);
    bufLen_ += n;
    in += n;
    count -= n;
    pos_ += n;
    if (bufLen_ == kWriteBufferSize) flush();
  }
}

void File::flush() {
  if (!writing_ || fd_ < 0) return;
  int64_t done = 0;
  while (done < bufLen_) {
    ssize_t n = ::write(fd_, buf_.data() + done, bufLen_ - done);
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

void File::close() {
  if (fd_ < 0) return;
  Inject(FileOp::Close, path_);
  try {
    flush();
  } catch (...) {
    closeQuietly();
    throw;
  }
  int fd = std::exchange(fd_, -1);
  --g_openCount;
  if (::close(fd) != 0 && errno != EINTR) ThrowOsError(errno, path_);
}

void File::closeQuietly() noexcept {
  if (fd_ < 0) return;
  if (writing_) {
    try {
      flush();
    } catch (...) {
    }
  }
  ::close(std::exchange(fd_, -1));
  --g_openCount;
}

bool File::isSameFileAs(const OutputTarget& target) const {
  if (fd_ < 0 || !target.exists || target.err != 0) return false;
  if (!identityKnown_) return isSameFileAs(target.path);
  return target.device == device_ && target.inode == inode_;
}

bool File::isSameFileAs(const std::string& path) const {
  struct stat a {
  }, b{};
  if (fd_ < 0 || ::fstat(fd_, &a) != 0 || ::stat(path.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int File::OpenCount() { return g_openCount; }

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

File OpenTextFile(const std::string& path) {
  File f = File::OpenRead(path);
  if (f.size() > kMaxTextFileSize) throw IoError(kIoOsBase + EFBIG, std::strerror(EFBIG), path);
  return f;
}

void ReadTextLines(const std::string& path, const std::function<void(const std::string&)>& onLine) {
  File f = OpenTextFile(path);
  std::string line;
  char block[4096];
  bool pendingCr = false;
  for (;;) {
    int64_t n = f.read(block, sizeof block);
    if (n == 0) break;
    for (int64_t i = 0; i < n; ++i) {
      char c = block[i];
      if (pendingCr) {
        pendingCr = false;
        if (c == '\n') continue;
      }
      if (c == '\n' || c == '\r') {
        onLine(line);
        line.clear();
        pendingCr = c == '\r';
      } else {
        line += c;
      }
    }
  }
  if (!line.empty()) onLine(line);
  f.close();
}

int CurrentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local.tm_year + 1900;
}
