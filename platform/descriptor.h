// An open file descriptor of the file layer: closed through the Env in force
// when it goes, and counted while it is open.
#pragma once

#include <utility>

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd);
  ~Descriptor() { closeQuietly(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  // Closes it; returns the errno of a failure, or 0. An interrupted close has
  // closed it all the same.
  int close();
  void closeQuietly() noexcept;

 private:
  int fd_ = -1;
};

// Files open right now in this process through the file layer.
int OpenFileCount();
