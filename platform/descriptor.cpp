#include "platform/descriptor.h"

#include <cerrno>

#include "platform/env.h"

namespace {

int g_openCount = 0;

}  // namespace

Descriptor::Descriptor(int fd) : fd_(fd) { ++g_openCount; }

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    closeQuietly();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int Descriptor::close() {
  if (fd_ < 0) return 0;
  --g_openCount;
  if (Env::Current().close(std::exchange(fd_, -1)) != 0 && errno != EINTR) return errno;
  return 0;
}

void Descriptor::closeQuietly() noexcept {
  if (fd_ < 0) return;
  --g_openCount;
  Env::Current().close(std::exchange(fd_, -1));
}

int OpenFileCount() { return g_openCount; }
