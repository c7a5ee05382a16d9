#include "platform/ewf_image.h"

#include <libewf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/shared_library.h"

namespace {

// The signatures of an EWF segment file: EWF1 (E01, L01), then the segment
// number, little-endian, after one byte.
constexpr unsigned char kEvf[] = {'E', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};
constexpr unsigned char kLvf[] = {'L', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};

constexpr int64_t kCopyBlock = 64 * 1024;

// libewf, opened the first time an image is, not when the program starts:
// a run without EWF images does not load it.
struct Ewf {
  decltype(&libewf_error_free) errorFree = nullptr;
  decltype(&libewf_error_sprint) errorSprint = nullptr;
  decltype(&libewf_glob) glob = nullptr;
  decltype(&libewf_glob_free) globFree = nullptr;
  decltype(&libewf_handle_initialize) initialize = nullptr;
  decltype(&libewf_handle_open) open = nullptr;
  decltype(&libewf_handle_get_media_size) mediaSize = nullptr;
  decltype(&libewf_handle_read_random) readRandom = nullptr;
  decltype(&libewf_handle_close) close = nullptr;
  decltype(&libewf_handle_free) free = nullptr;
};

// The soname of the libewf built against (its major version has been 2
// since 2010; pkg-config does not give it).
constexpr char kEwfSoname[] = "libewf.so.2";

// libewf's functions; null when it or one of them is missing. It stays
// open for the process.
const Ewf* Open() {
  static Ewf e;
  void* h = dlopen(kEwfSoname, RTLD_NOW | RTLD_LOCAL);
  const bool all = h != nullptr && FindFunction(h, "libewf_error_free", e.errorFree) &&
                   FindFunction(h, "libewf_error_sprint", e.errorSprint) &&
                   FindFunction(h, "libewf_glob", e.glob) &&
                   FindFunction(h, "libewf_glob_free", e.globFree) &&
                   FindFunction(h, "libewf_handle_initialize", e.initialize) &&
                   FindFunction(h, "libewf_handle_open", e.open) &&
                   FindFunction(h, "libewf_handle_get_media_size", e.mediaSize) &&
                   FindFunction(h, "libewf_handle_read_random", e.readRandom) &&
                   FindFunction(h, "libewf_handle_close", e.close) &&
                   FindFunction(h, "libewf_handle_free", e.free);
  return all ? &e : nullptr;
}

// libewf's functions; throws when they cannot be loaded.
const Ewf& Lib(const std::string& path) {
  static const Ewf* const lib = Open();
  if (lib == nullptr) {
    throw IoError(kIoOsBase + EIO,
                  std::string("EWF image unreadable: ") + kEwfSoname + " cannot be loaded", path);
  }
  return *lib;
}

// libewf's reason for a failure, on one line, and the error freed.
std::string Reason(libewf_error_t*& error) {
  char text[512] = {};
  const Ewf& ewf = Lib("");
  if (error != nullptr && ewf.errorSprint(error, text, sizeof text) <= 0) text[0] = '\0';
  ewf.errorFree(&error);
  std::string reason(text);
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  return reason;
}

[[noreturn]] void ThrowEwf(libewf_error_t*& error, const std::string& path) {
  const std::string reason = Reason(error);
  throw IoError(kIoOsBase + EIO,
                "EWF image unreadable" + (reason.empty() ? std::string() : ": " + reason), path);
}

}  // namespace

bool IsEwfFirstSegment(std::span<const unsigned char> head) {
  if (head.size() < 11) return false;
  const bool ewf1 = std::equal(std::begin(kEvf), std::end(kEvf), head.begin()) ||
                    std::equal(std::begin(kLvf), std::end(kLvf), head.begin());
  return ewf1 && head[8] == 1 && head[9] == 1 && head[10] == 0;
}

struct EwfImage::Handle {
  libewf_handle_t* h = nullptr;
  ~Handle();
};

EwfImage::Handle::~Handle() {
  if (h == nullptr) return;
  Lib("").close(h, nullptr);
  Lib("").free(&h, nullptr);
}

EwfImage::EwfImage(const std::string& first, Env& env) : handle_(new Handle), env_(&env) {
  BeginFileOp(env, FileOp::Open, first);
  const Ewf& ewf = Lib(first);
  libewf_error_t* error = nullptr;
  char** globbed = nullptr;
  int count = 0;
  if (ewf.glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &globbed, &count, &error) != 1) {
    ThrowEwf(error, first);
  }
  names_.assign(globbed, globbed + count);
  if (ewf.initialize(&handle_->h, &error) != 1 ||
      ewf.open(handle_->h, globbed, count, LIBEWF_OPEN_READ, &error) != 1) {
    ewf.globFree(globbed, count, nullptr);
    ThrowEwf(error, first);
  }
  ewf.globFree(globbed, count, nullptr);
  size64_t media = 0;
  if (ewf.mediaSize(handle_->h, &media, &error) != 1) ThrowEwf(error, first);
  size_ = static_cast<int64_t>(media);
  // libewf opens a file of the signature and nothing after it as a medium
  // of no bytes.
  if (size_ == 0) throw IoError(kIoOsBase + EIO, "EWF image unreadable: no media data", first);
  NameList names;
  for (const std::string& name : names_) names.push_back(name);
  files_ = FileIdentities(names, env);
}

EwfImage::~EwfImage() = default;

int64_t EwfImage::readAt(int64_t pos, void* dst, int64_t count) {
  BeginFileOp(*env_, FileOp::Read, names_.front());
  if (pos >= size_ || count <= 0) return 0;
  const int64_t want = std::min(count, size_ - pos);
  auto* out = static_cast<unsigned char*>(dst);
  int64_t total = 0;
  while (total < want) {
    libewf_error_t* error = nullptr;
    const ssize_t n = Lib(names_.front())
                          .readRandom(handle_->h, out + total, static_cast<size_t>(want - total),
                                      pos + total, &error);
    if (n < 0) ThrowEwf(error, names_.front());
    if (n == 0) break;
    total += n;
  }
  return total;
}

int64_t EwfImage::copyTo(OutputFile& out, int64_t pos, int64_t count,
                         const std::function<void()>& between) {
  const auto block = std::make_unique_for_overwrite<unsigned char[]>(kCopyBlock);
  int64_t total = 0, checked = 0;
  while (total < count) {
    if (between && total - checked >= InputFile::kCopyCheck) {
      checked = total;
      between();
    }
    const int64_t n = readAt(pos + total, block.get(), std::min(count - total, kCopyBlock));
    if (n == 0) break;
    out.write(block.get(), n);
    total += n;
  }
  return total;
}
