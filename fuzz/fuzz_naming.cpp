// Output name expansion and the Ogg name formatter on fuzzed patterns.
#include <cstdlib>
#include <string>

#include "output/naming.h"
#include "platform/io_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  auto split = text.find('\n');
  std::string pattern = text.substr(0, split);
  std::string path = split == std::string::npos ? std::string() : text.substr(split + 1);
  std::string base = ExtractBaseName(path);
  if (base.size() > path.size() || base.find('/') != std::string::npos) std::abort();
  int64_t number = static_cast<int64_t>(size) * 7919 - 3;
  std::string name = ExpandOutputName(pattern, base, number, "mp3");
  // Each conversion yields at most one bounded field.
  auto bound = [&](size_t patternSize) {
    return patternSize * (static_cast<size_t>(kMaxNameField) + base.size() + 24);
  };
  if (name.size() > bound(pattern.size())) std::abort();
  try {
    std::string ogg = FormatWithNumber(ReplaceLastThree(pattern, "ogg"), number);
    // The last three bytes become "ogg": a shorter pattern grows to three.
    if (ogg.size() > bound(pattern.size() + 3)) std::abort();
  } catch (const IoError&) {
  }
  return 0;
}
