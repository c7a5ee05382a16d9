#include "platform/descriptor.h"

#include <atomic>
#include <cerrno>

#include "platform/env.h"

namespace {

// Threads that walk pages open and close inputs too.
std::atomic<int> g_openCount = 0;

}  // namespace

Descriptor::Descriptor(int fd, Env& env) : fd_(fd), env_(&env) { ++g_openCount; }

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    closeQuietly();
    fd_ = std::exchange(other.fd_, -1);
    env_ = other.env_;
  }
  return *this;
}

int Descriptor::close() {
  if (fd_ < 0) return 0;
  --g_openCount;
  if (env_->close(std::exchange(fd_, -1)) != 0 && errno != EINTR) return errno;
  return 0;
}

void Descriptor::closeQuietly() noexcept {
  if (fd_ < 0) return;
  --g_openCount;
  env_->close(std::exchange(fd_, -1));
}

int OpenFileCount() { return g_openCount; }
