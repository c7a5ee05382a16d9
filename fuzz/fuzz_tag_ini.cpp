// The tag INI reader and the tag built from it on fuzzed INI text.
#include <cstdlib>
#include <string>

#include "output/id3v1.h"
#include "output/tag_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TagIni ini = TagIni::Parse(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  int64_t n = data[0] % 8;
  TMp3Tag tag = ReadTagFromIni(ini, n, 2026);
  auto bytes = BuildId3v1Tag(tag);
  if (bytes[0] != 'T' || bytes[1] != 'A' || bytes[2] != 'G' || bytes[127] > 80) std::abort();
  for (const char* key : {"Title", "InputFile", "Year"}) {
    if (ini.ReadString("general", key, "").size() > 2047) std::abort();
  }
  ini.ReadInteger("Default", "TrackNo", 0);
  ini.SectionExists("Track" + std::to_string(n));
  return 0;
}
