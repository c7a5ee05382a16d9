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

#include "carve/formats.h"
#include "platform/file.h"

namespace {

// The command line's settings: whole file, four frames, every change ends a
// stream, tags copied; the log goes nowhere.
class QuietHost : public Host {
 public:
  bool LimitRange() override { return false; }
  int LowerPercent() override { return 0; }
  int UpperPercent() override { return 100; }
  int MinFrames() override { return 4; }
  bool SensitizeOn(Sensitize) override { return true; }
  bool CopyID3v1() override { return true; }
  bool CopyID3v2() override { return true; }
  const TagIni* ActiveTagIni() override { return nullptr; }
  bool Running() override { return true; }
  void AddLog(const std::string&) override {}
  void SetProgress(int) override {}
  void ProcessEvents() override {}
  void Beep() override {}
  BoxAnswer MessageBox(BoxType, const std::string& text, BoxButtons buttons, int) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == BoxButtons::AbortIgnore ? BoxAnswer::Ignore : BoxAnswer::Ok;
  }
  int PumpIntervalMs() override { return 100; }
};

}  // namespace

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
    size = File::OpenRead(argv[2]).size();
  } catch (const IoError&) {
  }
  std::printf("%ld lanes: %.4f s, %.0f MB/s, %lld written\n", lanes, seconds,
              static_cast<double>(size) / seconds / 1e6, static_cast<long long>(written));
  return 0;
}
