#include "carve/input_view.h"

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
  const int64_t chunkEnd = chunkStart_ + chunkLen_;
  if (pos >= chunkStart_ && pos + count <= chunkEnd) {
    return {chunk_.data() + (pos - chunkStart_), static_cast<size_t>(chunkEnd - pos)};
  }
  const int64_t moreEnd = moreStart_ + moreLen_;
  if (pos >= moreStart_ && pos + count <= moreEnd) {
    return {more_.data() + (pos - moreStart_), static_cast<size_t>(moreEnd - pos)};
  }
  return readOn(pos, count);
}

std::span<const uint8_t> InputView::readOn(int64_t pos, int64_t count) {
  // Keep what either buffer holds from `pos` on and read on after it.
  const int64_t chunkEnd = chunkStart_ + chunkLen_;
  const int64_t moreEnd = moreStart_ + moreLen_;
  const uint8_t* held = nullptr;
  int64_t keep = 0;
  if (pos >= moreStart_ && pos < moreEnd) {
    held = more_.data() + (pos - moreStart_);
    keep = moreEnd - pos;
  }
  if (pos >= chunkStart_ && pos < chunkEnd && chunkEnd - pos > keep) {
    held = chunk_.data() + (pos - chunkStart_);
    keep = chunkEnd - pos;
  }
  const int64_t want = std::max(count - keep, readSize_);
  readSize_ = std::min(readSize_ * 2, kLargestRead);
  if (static_cast<int64_t>(more_.size()) < keep + want + kSlack) {
    std::vector<uint8_t> grown(static_cast<size_t>(keep + want + kSlack));
    if (keep > 0) std::memcpy(grown.data(), held, static_cast<size_t>(keep));
    more_.swap(grown);
  } else if (keep > 0) {
    std::memmove(more_.data(), held, static_cast<size_t>(keep));
  }
  moreStart_ = pos;
  moreLen_ = keep;
  const int64_t got = file_.readAt(pos + keep, more_.data() + keep, want);
  noteRead(pos + keep, want, got);
  moreLen_ += got;
  std::memset(more_.data() + moreLen_, 0, kSlack);
  return {more_.data(), static_cast<size_t>(moreLen_)};
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

int64_t InputView::copyTo(OutputFile& out, int64_t start, int64_t length) {
  file_.seek(start);
  return length > 0 ? file_.copyTo(out, length) : 0;
}
