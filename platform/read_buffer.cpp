#include "platform/read_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void ReadBuffer::Free::operator()(uint8_t* p) const { std::free(p); }

void ReadBuffer::resize(size_t size) {
  if (size <= size_) return;
  const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  bytes_.reset(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded)));
  if (!bytes_) throw std::bad_alloc();
  // Only advice: without huge pages the buffer works the same.
  madvise(bytes_.get(), rounded, MADV_HUGEPAGE);
  size_ = rounded;
}
