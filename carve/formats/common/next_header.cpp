#include "carve/formats/common/next_header.h"

#include <algorithm>
#include <cstring>

#include "carve/engine/input_view.h"

int64_t NextHeader(InputView& input, int64_t from, int64_t to, uint8_t first,
                   const std::function<bool(int64_t)>& isHeader) {
  for (int64_t pos = from; pos < to;) {
    const auto held = input.bytes(pos, 1);
    if (held.empty()) break;
    const int64_t n = std::min<int64_t>(std::ssize(held), to - pos);
    const void* hit = std::memchr(held.data(), first, static_cast<size_t>(n));
    if (hit == nullptr) {
      pos += n;
      continue;
    }
    const int64_t at = pos + (static_cast<const uint8_t*>(hit) - held.data());
    if (isHeader(at)) return at;
    pos = at + 1;
  }
  return to;
}
