#include "carve/engine/input_view.h"

#include <algorithm>
#include <cstring>

int64_t InputView::load(int64_t from, int64_t want) {
  if (static_cast<int64_t>(chunk_.size()) < want + kSlack) {
    chunk_.resize(static_cast<size_t>(want + kSlack));
  }
  chunkStart_ = from;
  chunkLen_ = file_.readAt(from, chunk_.data(), want);
  noteRead(from, want, chunkLen_);
  loadedToEnd_ = chunkLen_ < want;
  ++loads_;
  std::memset(chunk_.data() + chunkLen_, 0, kSlack);
  readSize_ = kFirstRead;
  return chunkLen_;
}

std::span<const uint8_t> InputView::bytes(int64_t pos, int64_t count) {
  asked_ += count;
  const int64_t chunkEnd = chunkStart_ + chunkLen_;
  if (pos >= chunkStart_ && pos + count <= chunkEnd) {
    return {chunk_.data() + (pos - chunkStart_), static_cast<size_t>(chunkEnd - pos)};
  }
  for (Window& w : windows_) {
    const int64_t end = w.start + w.length;
    if (pos >= w.start && pos + count <= end) {
      w.used = ++uses_;
      return {w.bytes.data() + (pos - w.start), static_cast<size_t>(end - pos)};
    }
  }
  return readOn(pos, count);
}

InputView::Window& InputView::windowFor(int64_t pos) {
  Window* best = &windows_[0];
  int64_t bestHeld = 0;
  for (Window& w : windows_) {
    const int64_t held = pos >= w.start && pos < w.start + w.length ? w.start + w.length - pos : 0;
    if (held > bestHeld || (bestHeld == 0 && held == 0 && w.used < best->used)) {
      best = &w;
      bestHeld = held;
    }
  }
  return *best;
}

std::span<const uint8_t> InputView::readOn(int64_t pos, int64_t count) {
  // Keep what a buffer holds from `pos` on and read on after it.
  Window& w = windowFor(pos);
  const int64_t chunkEnd = chunkStart_ + chunkLen_;
  const int64_t windowEnd = w.start + w.length;
  const uint8_t* held = nullptr;
  int64_t keep = 0;
  if (pos >= w.start && pos < windowEnd) {
    held = w.bytes.data() + (pos - w.start);
    keep = windowEnd - pos;
  }
  if (pos >= chunkStart_ && pos < chunkEnd && chunkEnd - pos > keep) {
    held = chunk_.data() + (pos - chunkStart_);
    keep = chunkEnd - pos;
  }
  const int64_t want = std::max(count - keep, readSize_);
  readSize_ = std::min(readSize_ * 2, kLargestRead);
  if (static_cast<int64_t>(w.bytes.size()) < keep + want + kSlack) {
    std::vector<uint8_t> grown(static_cast<size_t>(keep + want + kSlack));
    if (keep > 0) std::memcpy(grown.data(), held, static_cast<size_t>(keep));
    w.bytes.swap(grown);
  } else if (keep > 0) {
    std::memmove(w.bytes.data(), held, static_cast<size_t>(keep));
  }
  w.start = pos;
  w.length = keep;
  w.used = ++uses_;
  const int64_t got = file_.readAt(pos + keep, w.bytes.data() + keep, want);
  noteRead(pos + keep, want, got);
  w.length += got;
  std::memset(w.bytes.data() + w.length, 0, kSlack);
  return {w.bytes.data(), static_cast<size_t>(w.length)};
}

int64_t InputView::read(int64_t pos, void* dst, int64_t count) {
  const std::span<const uint8_t> b = bytes(pos, count);
  const int64_t n = std::min(count, static_cast<int64_t>(b.size()));
  if (n > 0) std::memcpy(dst, b.data(), static_cast<size_t>(n));
  return n;
}

void InputView::readExact(int64_t pos, void* dst, int64_t count) {
  if (read(pos, dst, count) != count) {
    throw IoError(kIoReadBeyondEnd, "Read beyond end of file", file_.path());
  }
}

int64_t InputView::copyTo(OutputFile& out, int64_t start, int64_t length,
                          const std::function<void()>& between) {
  file_.seek(start);
  return length > 0 ? file_.copyTo(out, length, between) : 0;
}
