// Times one walk of the first LANES formats that `all` runs (mp3, ogg, wav,
// then the rest of the table of formats) over one read of an input, so that
// the cost of each further format shows. Prints the wall time, the
// throughput and the streams written.
//
//   lane_walk LANES INPUT OUTPUT_PATTERN
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "carve/engine/formats.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "quiet_host.h"

namespace {}  // namespace

int main(int argc, char** argv) {
  std::vector<const FormatRow*> rows = AllFormatRows();
  const long lanes = argc == 4 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (lanes < 1 || lanes > static_cast<long>(rows.size())) {
    std::fprintf(stderr, "usage: lane_walk LANES(1-%zu) INPUT OUTPUT_PATTERN\n", rows.size());
    return 2;
  }
  rows.resize(static_cast<size_t>(lanes));
  QuietHost host;
  const auto t0 = std::chrono::steady_clock::now();
  const int64_t written = ExtractFormats(host, rows, argv[2], argv[3]);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int64_t size = 0;
  try {
    size = InputFile::OpenRead(argv[2]).size();
  } catch (const IoError&) {
  }
  std::printf("%ld lanes: %.4f s, %.0f MB/s, %lld written\n", lanes, seconds,
              static_cast<double>(size) / seconds / 1e6, static_cast<long long>(written));
  return 0;
}
