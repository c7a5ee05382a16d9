#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/fault.h"

FaultPlan* g_faultPlan = nullptr;

namespace {

constexpr int64_t kReadBufferSize = 128 * 1024;
constexpr int64_t kWriteBufferSize = 64 * 1024;
int g_openCount = 0;

void Inject(FileOp op, const std::string& path = {}) {
  if (g_faultPlan) {
    if (int err = g_faultPlan->check(op)) ThrowOsError(err, path);
  }
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
        throw IoError(kIoPathNotFound, "Path not found");
      throw IoError(kIoFileNotFound, "File not found");
    case ENOTDIR:
      throw IoError(kIoPathNotFound, "Path not found");
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      throw IoError(kIoAccessDenied, "File access denied");
    case EMFILE:
    case ENFILE:
      throw IoError(kIoTooManyOpenFiles, "Too many open files");
    case ENOSPC:
    case EDQUOT:
      throw IoError(kIoDiskFull, "Disk full");
    case EINVAL:
      throw IoError(kIoInvalidArgument, "Invalid argument");
    default:
      throw IoError(kIoOsBase + err, std::strerror(err));
  }
}

File::File(int fd, std::string path, bool writing)
    : fd_(fd), writing_(writing), path_(std::move(path)) {
  ++g_openCount;
  buf_.resize(writing ? kWriteBufferSize : kReadBufferSize);
}

File::~File() { closeQuietly(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    closeQuietly();
    fd_ = std::exchange(other.fd_, -1);
    writing_ = other.writing_;
    path_ = std::move(other.path_);
    pos_ = other.pos_;
    knownSize_ = other.knownSize_;
    buf_ = std::move(other.buf_);
    bufStart_ = other.bufStart_;
    bufLen_ = std::exchange(other.bufLen_, 0);
    lent_ = std::exchange(other.lent_, nullptr);
    lentStart_ = other.lentStart_;
    lentLen_ = other.lentLen_;
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
    throw IoError(kIoAccessDenied, "File access denied");
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    // A pipe, socket or character device has no size and no stable
    // positions to carve from.
    ::close(fd);
    throw IoError(kIoNotAFile, "Not a regular file");
  }
  // Back to blocking reads now that no FIFO can stall the open.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  File f(fd, path, false);
  f.knownSize_ = S_ISREG(st.st_mode) ? st.st_size : ::lseek(fd, 0, SEEK_END);
  return f;
}

File File::Create(const std::string& path) {
  Inject(FileOp::Create, path);
  if (path.empty()) throw IoError(kIoPathNotFound, "Path not found");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowOsError(errno, path);
  return File(fd, path, true);
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
  while (bufLen_ < kReadBufferSize) {
    ssize_t n = ::pread(fd_, buf_.data() + bufLen_, kReadBufferSize - bufLen_, pos + bufLen_);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      bufLen_ = 0;
      ThrowOsError(err, path_);
    }
    if (n == 0) break;
    bufLen_ += n;
  }
  if (bufLen_ < kReadBufferSize) knownSize_ = pos + bufLen_;
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
  lentStart_ = start;
  lentLen_ = data != nullptr ? length : 0;
}

void File::readExact(void* dst, int64_t count) {
  if (read(dst, count) != count) throw IoError(kIoReadBeyondEnd, "Read beyond end of file");
}

bool File::eof() {
  if (pos_ < knownSize_) return false;
  return pos_ >= size();
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
      throw IoError(kIoDiskFull, "Disk full");
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

void ReadTextLines(const std::string& path, const std::function<void(const std::string&)>& onLine) {
  File f = File::OpenRead(path);
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
