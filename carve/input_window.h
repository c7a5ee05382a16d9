// Bytes of an input held in one buffer as a walk over them asks for them:
// the first read after a jump is small and each one that goes on from it
// reads twice as much, so that a probe that is rejected at once reads
// little, and one that walks a long stream reads it in large pieces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/input_file.h"

class InputWindow {
 public:
  explicit InputWindow(InputFile& input) : input_(&input) {}
  InputWindow() = default;

  // Starts over on `input` (a probe's), with nothing held.
  void reset(InputFile& input) {
    input_ = &input;
    start_ = 0;
    length_ = 0;
    atEnd_ = false;
    readSize_ = kFirstRead;
  }

  // Holds at least `count` bytes from `pos` on, as far as the input has
  // them, and returns how many are held from `pos` (fewer than `count` only
  // where the input ends). Eight zero bytes follow the held ones.
  int64_t hold(int64_t pos, int64_t count) {
    const int64_t end = start_ + length_;
    if (length_ > 0 && pos >= start_ && pos <= end) {
      if (pos + count <= end || atEnd_) return end - pos;
      // Keep what is held from `pos` on and read on after it.
      if (pos > start_) {
        std::memmove(buf_.data(), buf_.data() + (pos - start_), static_cast<size_t>(end - pos));
      }
      length_ = end - pos;
      readSize_ = std::min(readSize_ * 2, kLargestRead);
    } else {
      // A jump: small reads again.
      length_ = 0;
      atEnd_ = false;
      readSize_ = kFirstRead;
    }
    start_ = pos;
    const int64_t want = std::max(count, length_ + readSize_);
    buf_.resize(static_cast<size_t>(want + kSlack));
    input_->seek(start_ + length_);
    const int64_t got = input_->read(buf_.data() + length_, want - length_);
    atEnd_ = got < want - length_;
    length_ += got;
    std::memset(buf_.data() + length_, 0, kSlack);
    return length_;
  }

  // The held byte at `pos` (which hold() made available).
  const uint8_t* at(int64_t pos) const { return buf_.data() + (pos - start_); }

 private:
  static constexpr int64_t kFirstRead = 64;
  static constexpr int64_t kLargestRead = 1 << 20;
  static constexpr int64_t kSlack = 8;

  InputFile* input_ = nullptr;
  std::vector<uint8_t> buf_;
  int64_t start_ = 0, length_ = 0;
  bool atEnd_ = false;
  int64_t readSize_ = kFirstRead;
};
