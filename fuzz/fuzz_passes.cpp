// The whole scan pass of every format of the table on a fuzzed input, or the
// one-read pass of all of them: a mode byte, an options byte and a byte whose
// low six bits turn on the extended rules, then the input. Afterwards the
// input is unchanged and every output is a byte range of it; the one-read
// pass, walking many blocks between two looks at the clock, writes exactly
// the files that the passes, pumping at every block, write one after the
// other.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "carve/engine/formats.h"
#include "fuzz_support.h"
#include "platform/descriptor.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

std::map<std::string, Bytes> FilesIn(const std::string& dir) {
  std::map<std::string, Bytes> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0], options = data[1], rules = data[2];
  Bytes input(data + 3, data + size);
  std::string path = WriteFuzzFile("pass-input.bin", input.data(), input.size());
  ClearFuzzFolder("out");
  ScriptHost host;
  host.minFrames = 2 + (options & 3);
  host.limitRange = options & 4;
  host.lower = (options >> 3) % 100;
  host.upper = 1 + (mode >> 2) % 100;
  host.copyId3v1 = options & 0x20;
  host.copyId3v2 = options & 0x40;
  host.sensitizeFreq = options & 0x80;
  host.fullId3v2 = rules & 1;
  host.splitXing = rules & 2;
  host.wavAnyChunk = rules & 4;
  host.oggWhole = rules & 8;
  host.oggCodecs = rules & 16;
  host.riffCodecs = rules & 32;
  host.defaultAnswer = (mode & 0x80) ? BoxAnswer::Abort : BoxAnswer::Ignore;
  std::string pattern = FuzzDir() + "/out/%d.mp3";
  // One mode for each format, and one for all of them.
  const std::span<const FormatRow> formats = Formats();
  const size_t which = mode % (formats.size() + 1);
  if (which < formats.size()) {
    ExtractFormat(host, formats[which], path, pattern);
  } else {
    host.defaultAnswer = BoxAnswer::Ignore;
    const std::vector<const FormatRow*> rows = AllFormatRows();
    for (const FormatRow* row : rows) ExtractFormat(host, *row, path, pattern);
    ClearFuzzFolder("all");
    ScriptHost all = host;
    all.pumpIntervalMs = 60000;
    ExtractFormats(all, rows, path, FuzzDir() + "/all/%d.mp3");
    if (FilesIn(FuzzDir() + "/all") != FilesIn(FuzzDir() + "/out")) std::abort();
  }
  if (OpenFileCount() != 0) std::abort();
  if (ReadBytes(path) != input) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(FuzzDir() + "/out")) {
    Bytes out = ReadBytes(entry.path());
    if (out.empty()) continue;
    if (std::search(input.begin(), input.end(), out.begin(), out.end()) == input.end())
      std::abort();
  }
  return 0;
}
