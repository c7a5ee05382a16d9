#include "platform/image_input.h"

#include <memory>
#include <vector>

#include "platform/ewf_image.h"
#include "platform/folders.h"
#include "platform/image_segments.h"

namespace {

// The first bytes of `file`, as many as it holds up to 16.
bool StartsAsEwf(InputFile& file) {
  unsigned char head[16] = {};
  const int64_t n = file.readAt(0, head, sizeof head);
  return IsEwfFirstSegment({head, static_cast<size_t>(n)});
}

// The name of the first EWF segment file before `path` (img.E01 for
// img.E03: E, L or s, then two digits), or empty.
std::string EwfFirstName(const std::string& path) {
  const size_t n = path.size();
  if (n < 4 || path[n - 4] != '.') return {};
  const char kind = static_cast<char>(path[n - 3] & ~0x20);
  if ((kind != 'E' && kind != 'L' && kind != 'S') || path[n - 2] < '0' || path[n - 2] > '9' ||
      path[n - 1] < '0' || path[n - 1] > '9' || path.ends_with("01") || path.ends_with("00")) {
    return {};
  }
  return path.substr(0, n - 2) + "01";
}

}  // namespace

InputFile OpenInput(const std::string& path, bool images, Env& env) {
  InputFile file = InputFile::OpenRead(path, env);
  if (!images) return file;
  if (StartsAsEwf(file)) {
    return InputFile::OverImage(std::move(file), std::make_unique<EwfImage>(path, env));
  }
  const std::vector<std::string> names = SegmentNames(path, env);
  if (names.size() < 2) return file;
  return InputFile::OverImage(std::move(file), std::make_unique<SegmentSet>(names, env));
}

std::string ImageFirstSegmentOf(const std::string& path, Env& env) {
  if (std::string first = EwfFirstName(path); !first.empty() && FileExists(first, env)) {
    try {
      InputFile file = InputFile::OpenRead(first, env);
      if (StartsAsEwf(file)) return first;
    } catch (const IoError&) {
      return {};
    }
  }
  return FirstSegmentOf(path, env);
}
