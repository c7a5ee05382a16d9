// An open file descriptor of the file layer: closed through the Env it was
// opened with when it goes, and counted while it is open.
#pragma once

#include <utility>

#include "platform/env.h"

class Descriptor {
 public:
  Descriptor() = default;
  Descriptor(int fd, Env& env);
  ~Descriptor() { closeQuietly(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)), env_(other.env_) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  Env& env() const { return *env_; }
  bool isOpen() const { return fd_ >= 0; }
  // Closes it; returns the errno of a failure, or 0. An interrupted close has
  // closed it all the same.
  int close();
  void closeQuietly() noexcept;

 private:
  int fd_ = -1;
  Env* env_ = &Env::System();
};

// Files open right now in this process through the file layer.
int OpenFileCount();
