#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/env.h"
#include "platform/image_source.h"
#include "platform/output_file.h"
#include "platform/output_names.h"

namespace {

// A sequential read asks the system for at most this much at a time.
constexpr int64_t kReadPiece = 128 * 1024;
// A copy between files moves up to this much per system call inside the
// kernel, and goes in blocks of this much through the buffers.
constexpr int64_t kKernelCopyStep = InputFile::kCopyCheck;
constexpr int64_t kCopyBlock = 64 * 1024;
// What a step of a kernel copy can give besides a count: take it again, or
// copy this step through the buffers.
constexpr int64_t kStepAgain = -1;
constexpr int64_t kStepThroughBuffers = -2;

// The errors of a kernel copy that say it cannot be made between these two
// files (other filesystems, no support, a special file); the bytes are then
// copied through the buffers.
bool KernelCopyUnsupported(int err) {
  return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == ENOTSUP ||
         err == EBADF || err == ETXTBSY || err == EPERM;
}

// The most kept of a file whose size is unknown.
constexpr int64_t kUnsizedMost = int64_t{1} << 30;

// Appends `count` bytes to the file `fd` (of the folder `dir`).
void WriteAll(Env& env, int fd, const unsigned char* src, int64_t count, const std::string& dir) {
  BeginFileOp(env, FileOp::Write, dir);
  while (count > 0) {
    const ssize_t n = env.write(fd, src, static_cast<size_t>(count));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowOsError(errno, dir);
    if (n == 0) throw IoError(kIoDiskFull, "Disk full", dir);
    src += n;
    count -= n;
  }
}

// A regular file whose size reads 0 may hold bytes all the same (/proc,
// FUSE): read while the open does not block, what it gives now goes to a
// temporary file, which is read in its place. An invalid descriptor when it
// gives none (a file that is empty); a file of more than kUnsizedMost bytes
// is refused.
Descriptor KeepUnsized(Env& env, int raw, const std::string& path) {
  // On the heap: a buffer in thread-local storage is cleared for every
  // thread begun, also those that never read an unsized file.
  const auto piece = std::make_unique_for_overwrite<unsigned char[]>(kReadPiece);
  ssize_t n = env.pread(raw, piece.get(), kReadPiece, 0);
  if (n <= 0) return Descriptor();  // empty, or nothing to be had without waiting
  std::string dir;
  Descriptor kept = OpenTemporary(dir, env);
  for (int64_t at = 0; n != 0;) {
    if (n < 0 && errno != EINTR) {
      if (errno == EAGAIN) break;
      ThrowOsError(errno, path);
    }
    if (n > 0) {
      WriteAll(env, kept.get(), piece.get(), n, dir);
      at += n;
      if (at > kUnsizedMost) throw IoError(kIoNotAFile, "File size unknown", path);
    }
    BeginFileOp(env, FileOp::Read, path);
    n = env.pread(raw, piece.get(), kReadPiece, at);
  }
  return kept;
}

}  // namespace

InputFile::InputFile() = default;
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

InputFile::InputFile(Descriptor fd, std::string path)
    : fd_(std::move(fd)), path_(std::move(path)) {}

InputFile InputFile::OverImage(InputFile first, std::unique_ptr<ImageSource> image) {
  first.image_ = std::move(image);
  first.knownSize_ = first.image_->size();
  first.pos_ = 0;
  return first;
}

std::vector<std::string> InputFile::segments() const {
  if (image_) return image_->segments();
  return {path_};
}

InputFile InputFile::OpenRead(const std::string& path, Env& env) {
  BeginFileOp(env, FileOp::Open, path);
  if (path.empty()) throw IoError(kIoFileNotFound, "File not found");
  const int raw = env.open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
  if (raw < 0) ThrowOsError(errno, path);
  Descriptor fd(raw, env);
  struct stat st {};
  if (env.fstat(raw, &st) != 0) ThrowOsError(errno, path);
  if (S_ISDIR(st.st_mode)) throw IoError(kIoAccessDenied, "File access denied", path);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    // A pipe, socket or character device has no size and no stable
    // positions to carve from.
    throw IoError(kIoNotAFile, "Not a regular file", path);
  }
  // The identity is the file's, also where its bytes are read from a copy.
  const uint64_t device = static_cast<uint64_t>(st.st_dev),
                 inode = static_cast<uint64_t>(st.st_ino);
  if (S_ISREG(st.st_mode) && st.st_size == 0) {
    if (Descriptor kept = KeepUnsized(env, raw, path); kept.isOpen()) {
      fd = std::move(kept);
      if (env.fstat(fd.get(), &st) != 0) ThrowOsError(errno, path);
    }
  }
  // Back to blocking reads now that no FIFO can stall the open.
  env.fcntl(fd.get(), F_SETFL, env.fcntl(fd.get(), F_GETFL, 0) & ~O_NONBLOCK);
  InputFile f(std::move(fd), path);
  f.knownSize_ = S_ISREG(st.st_mode) ? st.st_size : env.lseek(f.fd_.get(), 0, SEEK_END);
  f.device_ = device;
  f.inode_ = inode;
  return f;
}

int64_t InputFile::size() {
  Env& env = this->env();
  BeginFileOp(env, FileOp::Size, path_);
  if (image_) return knownSize_ = image_->size();
  struct stat st {};
  if (env.fstat(fd_.get(), &st) != 0) ThrowOsError(errno, path_);
  if (S_ISBLK(st.st_mode)) {
    off_t end = env.lseek(fd_.get(), 0, SEEK_END);
    if (end < 0) ThrowOsError(errno, path_);
    knownSize_ = end;
  } else {
    knownSize_ = st.st_size;
  }
  return knownSize_;
}

void InputFile::seek(int64_t pos) {
  BeginFileOp(env(), FileOp::Seek, path_);
  if (pos < 0) throw IoError(kIoInvalidArgument, "Invalid argument");
  pos_ = pos;
}

int64_t InputFile::read(void* dst, int64_t count) {
  BeginFileOp(env(), FileOp::Read, path_);
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  while (total < count) {
    const int64_t want = std::min(count - total, kReadPiece);
    const int64_t n = readFully(pos_, out + total, want);
    pos_ += n;
    total += n;
    if (n < want) break;
  }
  return total;
}

int64_t InputFile::readAt(int64_t pos, void* dst, int64_t count) {
  BeginFileOp(env(), FileOp::Read, path_);
  return readFully(pos, dst, count);
}

int64_t InputFile::readFully(int64_t pos, void* dst, int64_t count) {
  if (image_) {
    const int64_t n = image_->readAt(pos, dst, count);
    if (n < count) knownSize_ = pos + n;
    return n;
  }
  Env& env = this->env();
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  while (total < count) {
    ssize_t n = env.pread(fd_.get(), out + total, count - total, pos + total);
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

void InputFile::readExact(void* dst, int64_t count) {
  if (read(dst, count) != count) throw IoError(kIoReadBeyondEnd, "Read beyond end of file", path_);
}

bool InputFile::eof() {
  if (pos_ < knownSize_) return false;
  return pos_ >= size();
}

// Up to `count` bytes copied inside the kernel: the count copied, and both
// positions moved past it; 0 when nothing was copied (the end of the file,
// or a filesystem that copies nothing this way; the buffers tell which);
// kStepAgain for a step to take again; kStepThroughBuffers for one the
// buffers are to copy.
int64_t InputFile::kernelCopyStep(OutputFile& out, int64_t count) {
  Env& env = this->env();
  BeginFileOp(env, FileOp::Read, path_);
  BeginFileOp(out.env(), FileOp::Write, out.path_);
  if (int err = env.begin(FileOp::KernelCopy)) {
    // An Env's stand-in for a kernel that refuses the copy.
    if (!KernelCopyUnsupported(err)) ThrowOsError(err, out.path_);
    bufferedCopies_ = true;
    return kStepAgain;
  }
  // What the output holds in its buffer goes first; the kernel then writes
  // at the descriptor's offset, which is the output's position.
  out.flush();
  loff_t from = pos_;
  const ssize_t n = env.copyFileRange(fd_.get(), &from, out.fd_.get(), static_cast<size_t>(count));
  if (n >= 0) {
    pos_ += n;
    out.pos_ += n;
    return n;
  }
  const int err = errno;
  if (err == EINTR) return kStepAgain;
  // A full disk or a size limit is the output's; anything else is tried
  // again through the buffers, which tell which file failed.
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) ThrowOsError(err, out.path_);
  if (KernelCopyUnsupported(err)) bufferedCopies_ = true;
  return kStepThroughBuffers;
}

int64_t InputFile::copyTo(OutputFile& out, int64_t count, const std::function<void()>& between) {
  const auto block = std::make_unique_for_overwrite<unsigned char[]>(kCopyBlock);
  if (image_) {
    const int64_t n = image_->copyTo(out, pos_, count, between);
    pos_ += n;
    return n;
  }
  int64_t total = 0, checked = 0;
  while (total < count) {
    if (between && total - checked >= kCopyCheck) {
      checked = total;
      between();
    }
    bool kernelCopiedNothing = false;
    // The bytes of a tapped output go through memory, where its tap sees
    // exactly what is written (a second read of the input could see other
    // bytes than the copy took).
    if (!bufferedCopies_ && !out.tapped()) {
      const int64_t n = kernelCopyStep(out, std::min(count - total, kKernelCopyStep));
      if (n > 0) {
        total += n;
        continue;
      }
      if (n == kStepAgain) continue;
      kernelCopiedNothing = n == 0;
    }
    const int64_t n = read(block.get(), std::min(count - total, kCopyBlock));
    if (n == 0) break;
    if (kernelCopiedNothing) bufferedCopies_ = true;
    out.write(block.get(), n);
    total += n;
  }
  return total;
}

void InputFile::close() {
  if (!fd_.isOpen()) return;
  image_.reset();
  BeginFileOp(env(), FileOp::Close, path_);
  if (int err = fd_.close()) ThrowOsError(err, path_);
}

void InputFile::closeQuietly() noexcept {
  image_.reset();
  fd_.closeQuietly();
}

bool InputFile::isSameFileAs(const OutputTarget& target) const {
  if (!fd_.isOpen() || !target.exists || target.err != 0) return false;
  if (image_ && image_->holds(target)) return true;
  return target.device == device_ && target.inode == inode_;
}

bool InputFile::isSameFileAs(const std::string& path) const {
  struct stat st {};
  if (!fd_.isOpen()) return false;
  if (image_ && image_->holds(path)) return true;
  if (LookAt(env(), path, &st, true) != 0) return false;
  return static_cast<uint64_t>(st.st_dev) == device_ && static_cast<uint64_t>(st.st_ino) == inode_;
}
