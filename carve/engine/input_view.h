// One view of an input that the walk of a scan pass and the probes of its
// carvers share. The walk reads its large blocks into the view's buffer;
// a probe asks for bytes by their offset and gets them from there when the
// buffer holds them, else from one of a few smaller windows that read what
// the probes go on to ask for: the first read after each load of the walk's
// buffer is small and each later one twice as large, so that a probe that
// is rejected after a look past the buffer reads little, and one that walks
// a long stream reads it in large pieces. A read replaces the window used
// longest ago, so that probes that look at a few places far apart in turn
// (a header and its sections) read each place once.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "platform/input_file.h"
#include "platform/read_buffer.h"

class OutputFile;
struct OutputTarget;

class InputView {
 public:
  InputView() = default;
  // A view of `file`; `bufferSize`: the most the walk loads at once.
  explicit InputView(InputFile file, int64_t bufferSize = 0)
      : file_(std::move(file)), chunk_(static_cast<size_t>(bufferSize + kSlack)) {}

  // At least `count` bytes from `pos` on as far as the input holds them,
  // and all the view holds after them: fewer than `count` only where the
  // input ends. Eight zero bytes follow the ones returned. Valid until the
  // next call of the view.
  std::span<const uint8_t> bytes(int64_t pos, int64_t count);
  // Copies up to `count` bytes at `pos` to `dst`; returns the count copied,
  // fewer only where the input ends.
  int64_t read(int64_t pos, void* dst, int64_t count);
  // Copies `count` bytes at `pos` to `dst`; "Read beyond end of file" when
  // the input holds fewer.
  void readExact(int64_t pos, void* dst, int64_t count);
  int64_t size() { return file_.size(); }  // the current size, asked of the system
  // The size as the view knows it, without asking the system again: asked
  // once, then lowered to where a read came back short. For probes, which
  // run at many candidates; a copy asks size() to see an input that shrank.
  int64_t knownSize() {
    if (knownSize_ < 0) knownSize_ = file_.size();
    return knownSize_;
  }
  // Copies up to `length` bytes from `start` to the end of `out`; returns
  // the count copied, fewer only where the input ends.
  // `between` as InputFile::copyTo() has it.
  int64_t copyTo(OutputFile& out, int64_t start, int64_t length,
                 const std::function<void()>& between = {});

  // The walk's buffer: reads up to `want` bytes at `from` into it and
  // returns the count read, fewer only where the input ends.
  int64_t load(int64_t from, int64_t want);
  const uint8_t* loaded() const { return chunk_.data(); }
  // The bytes asked of bytes() and read() so far: the work of the probes.
  int64_t asked() const { return asked_; }
  // The buffer as last loaded: its offset, the count it holds, whether the
  // input ended inside it (it holds fewer than were asked for), and how many
  // loads there were.
  int64_t loadedStart() const { return chunkStart_; }
  int64_t loadedLength() const { return chunkLen_; }
  bool loadedToEnd() const { return loadedToEnd_; }
  uint64_t loads() const { return loads_; }

  bool isSameFileAs(const OutputTarget& target) const { return file_.isSameFileAs(target); }
  void close() { file_.close(); }  // throws on failure
  void closeQuietly() noexcept { file_.closeQuietly(); }

 private:
  static constexpr int64_t kSlack = 8;
  static constexpr int64_t kFirstRead = 4096;
  static constexpr int64_t kLargestRead = 128 * 1024;
  static constexpr size_t kWindows = 4;

  // Bytes of the input the probes asked for and the walk's buffer lacks.
  struct Window {
    std::vector<uint8_t> bytes;
    int64_t start = 0, length = 0;
    int64_t used = 0;  // when it was last used: the count of uses before
  };

  // Holds at least `count` bytes from `pos` on in a window, as far as the
  // input holds them, keeping what the buffers hold there already.
  std::span<const uint8_t> readOn(int64_t pos, int64_t count);
  // The window to read into at `pos`: the one that holds most bytes from
  // there on, else the one used longest ago.
  Window& windowFor(int64_t pos);

  InputFile file_;
  ReadBuffer chunk_;  // the walk's buffer
  int64_t chunkStart_ = 0, chunkLen_ = 0;
  Window windows_[kWindows];
  int64_t uses_ = 0;
  int64_t asked_ = 0;
  bool loadedToEnd_ = false;
  uint64_t loads_ = 0;
  int64_t readSize_ = kLargestRead;  // the size of the next read into a window
  int64_t knownSize_ = -1;           // -1: not asked yet
  // Notes that a read of `want` bytes at `pos` gave `got`: fewer, the input
  // ends there.
  void noteRead(int64_t pos, int64_t want, int64_t got) {
    if (got < want) knownSize_ = pos + got;
  }
};
