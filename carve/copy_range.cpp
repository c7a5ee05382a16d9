#include <algorithm>

#include "carve/scan_pass.h"
#include "platform/file.h"

void CopyRange(File& input, int64_t start, int64_t length, File& output) {
  // Larger blocks than the walk's move the same bytes with fewer calls; the
  // input is left exactly where 512-byte blocks would leave it.
  constexpr int64_t kBlock = 64 * 1024;
  static thread_local unsigned char block[kBlock];
  input.seek(start);
  int64_t remaining = length;
  while (!input.eof()) {
    int64_t n = input.read(block, std::min(kBlock, std::max<int64_t>(remaining, 512)));
    if (remaining <= n || remaining <= 512) {
      output.write(block, std::min(n, remaining));
      if (n > remaining) input.seek(start + length);
      return;
    }
    output.write(block, n);
    remaining -= n;
  }
}
