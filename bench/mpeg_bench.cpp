// Micro-benchmarks of MPEG frame header decoding and stream measurement.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/mpeg/mpeg_header.h"
#include "carve/formats/mpeg/mpeg_measure.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "quiet_host.h"

namespace {

// A file in the temporary folder, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes)
      : path_((std::filesystem::temp_directory_path() /
               ("zandrel-bench-" + std::to_string(::getpid()) + "-" + std::to_string(next_++)))
                  .string()) {
    OutputFile out = OutputFile::Create(path_);
    out.write(bytes.data(), static_cast<int64_t>(bytes.size()));
    out.close();
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  static inline int next_ = 0;
  std::string path_;
};

// MPEG-1, 44100 Hz, joint stereo frames with the bit rate changing from frame
// to frame (bitrate indexes 1..14, padding on every other frame), as in a
// variable-bit-rate stream. The frame bodies are zero bytes.
std::vector<uint8_t> VbrFrames(int count) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < count; ++i) {
    uint8_t header[4] = {0xFF, 0xFB, uint8_t(((i % 14 + 1) << 4) | ((i & 1) << 1)), 0x44};
    TFrameInfo info{};
    DecodeMpegHeader(header, info);
    size_t at = bytes.size();
    bytes.resize(at + info.FrameLength, 0x00);
    std::copy(header, header + 4, bytes.begin() + at);
  }
  return bytes;
}

void BM_DecodeMpegHeader(benchmark::State& state) {
  // Every second byte and b2 value with a fixed b3: valid and invalid headers.
  std::vector<uint8_t> headers;
  for (int b1 = 0xE0; b1 < 0x100; ++b1) {
    for (int b2 = 0; b2 < 0x100; ++b2) {
      headers.insert(headers.end(), {0xFF, uint8_t(b1), uint8_t(b2), 0x44});
    }
  }
  const size_t n = headers.size() / 4;
  int64_t decoded = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < n; ++i) {
      TFrameInfo info;
      bool ok = DecodeMpegHeader(&headers[i * 4], info);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(info);
    }
    decoded += static_cast<int64_t>(n);
  }
  state.counters["headers/s"] = benchmark::Counter(double(decoded), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMpegHeader);

// A 10 000-frame run measured whole, through a view of the input.
void BM_MeasureLongStream(benchmark::State& state) {
  constexpr int kFrames = 10000;
  TempFile file(VbrFrames(kFrames));
  InputView input(InputFile::OpenRead(file.path()));
  QuietHost host;
  int64_t frames = 0;
  for (auto _ : state) {
    TStreamInfo info;
    int64_t count = MeasureMp3Stream(host, input, 0, info);
    if (count != kFrames) state.SkipWithError("wrong frame count");
    frames += count;
  }
  state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeasureLongStream)->Unit(benchmark::kMillisecond);

// Short runs deep in a file, as the scan pass probes them: each one also
// searches the 32 KiB before it for an ID3v2 tag.
void BM_MeasureShortRunWithTagSearch(benchmark::State& state) {
  const int64_t start = 65536;
  std::vector<uint8_t> bytes = VbrFrames(4);
  bytes.insert(bytes.begin(), start, 0x20);
  TempFile file(bytes);
  InputView input(InputFile::OpenRead(file.path()));
  QuietHost host;
  int64_t probes = 0;
  for (auto _ : state) {
    TStreamInfo info;
    benchmark::DoNotOptimize(MeasureMp3Stream(host, input, start, info));
    ++probes;
  }
  state.counters["probes/s"] = benchmark::Counter(double(probes), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeasureShortRunWithTagSearch);

}  // namespace
