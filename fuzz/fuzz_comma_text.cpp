// The input list's comma text on fuzzed field texts, and the round trip of
// the chooser's writer.
#include <cstdlib>
#include <string>

#include "platform/comma_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> names = ParseInputList(text);
  if (names.empty() && text.find_first_of("\",") == std::string::npos) std::abort();
  size_t total = 0;
  for (const auto& n : names) total += n.size();
  if (total > text.size()) std::abort();
  // What the chooser writes reads back unchanged.
  bool writable = names.size() >= 2;
  for (const auto& n : names)
    writable = writable && !n.empty() && n.find('\0') == std::string::npos;
  if (writable && ParseInputList(ToCommaText(names)) != names) std::abort();
  return 0;
}
