// Times one walk of 1 to 8 carvers over one read of an input, as `all` walks
// its formats: the MP3, Ogg and WAVE carvers, then carvers with the triggers
// of five more formats that reject every candidate, so that the cost of
// searching for eight triggers shows before those carvers exist. Prints the
// wall time, the throughput and the number of candidates probed.
//
//   lane_walk LANES INPUT OUTPUT_PATTERN
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "carve/carvers.h"
#include "carve/scan_pass.h"
#include "platform/file.h"

namespace {

// The command line's settings: whole file, four frames, every change ends a
// stream, tags copied; the log goes nowhere.
class QuietHost : public Host {
 public:
  int64_t lines = 0;
  bool LimitRange() override { return false; }
  int LowerPercent() override { return 0; }
  int UpperPercent() override { return 100; }
  int MinFrames() override { return 4; }
  bool SensitizeOn(Sensitize) override { return true; }
  bool CopyID3v1() override { return true; }
  bool CopyID3v2() override { return true; }
  const TagIni* ActiveTagIni() override { return nullptr; }
  bool Running() override { return true; }
  void AddLog(const std::string&) override { ++lines; }
  void SetProgress(int) override {}
  void ProcessEvents() override {}
  void Beep() override {}
  BoxAnswer MessageBox(BoxType, const std::string& text, BoxButtons buttons, int) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == BoxButtons::AbortIgnore ? BoxAnswer::Ignore : BoxAnswer::Ok;
  }
  int PumpIntervalMs() override { return 100; }
};

class RejectingCarver : public Carver {
 public:
  explicit RejectingCarver(TwoByteTrigger t) : trigger_(t) {}
  int64_t probes = 0;
  Trigger trigger() const override { return trigger_; }
  const char* openingText() const override { return ""; }
  const char* kindName() const override { return "none"; }
  ProbeResult probe(File&, int64_t, CopySpan&) override {
    ++probes;
    return ProbeResult::Reject;
  }
  std::string streamLine(int64_t, int64_t) override { return {}; }
  std::string outputName(const std::string& pattern, const std::string&, int64_t) override {
    return pattern;
  }

 private:
  TwoByteTrigger trigger_;
};

}  // namespace

int main(int argc, char** argv) {
  const int lanes = argc == 4 ? std::atoi(argv[1]) : 0;
  if (lanes < 1 || lanes > 8) {
    std::fprintf(stderr, "usage: lane_walk LANES(1-8) INPUT OUTPUT_PATTERN\n");
    return 2;
  }
  QuietHost host;
  std::vector<std::unique_ptr<Carver>> owned;
  owned.push_back(MakeMp3Carver(host));
  owned.push_back(MakeOggCarver(host));
  owned.push_back(MakeWavCarver(host));
  // MPEG Layer I/II, ADTS AAC, FLAC, AIFF, CRI ADX.
  for (TwoByteTrigger t : {TwoByteTrigger{0xFF, 0xE4, 0xE4}, TwoByteTrigger{0xFF, 0xF6, 0xF0},
                           TwoByteTrigger{'f', 0xFF, 'L'}, TwoByteTrigger{'F', 0xFF, 'O'},
                           TwoByteTrigger{0x80, 0xFF, 0x00}}) {
    owned.push_back(std::make_unique<RejectingCarver>(t));
  }
  std::vector<Carver*> carvers;
  for (int i = 0; i < lanes; ++i) carvers.push_back(owned[i].get());

  const auto t0 = std::chrono::steady_clock::now();
  const int64_t written = RunScanPasses(host, carvers, argv[2], argv[3]);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int64_t probes = 0;
  for (int i = 3; i < lanes; ++i) probes += static_cast<RejectingCarver*>(carvers[i])->probes;
  int64_t size = 0;
  try {
    size = File::OpenRead(argv[2]).size();
  } catch (const IoError&) {
  }
  std::printf("%d lanes: %.4f s, %.0f MB/s, %lld written, %lld probes of the rejecting lanes\n",
              lanes, seconds, static_cast<double>(size) / seconds / 1e6,
              static_cast<long long>(written), static_cast<long long>(probes));
  return 0;
}
