#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "carve/mpeg_measure.h"
#include "carve/scan_pass.h"
#include "output/id3v1.h"
#include "output/naming.h"
#include "output/tag_ini.h"
#include "platform/clock.h"
#include "platform/input_file.h"
#include "platform/output_file.h"

namespace {

class Mp3Carver : public Carver {
 public:
  explicit Mp3Carver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {0xFF, 0xE6, 0xE2}; }
  const char* openingText() const override { return "からMP3ファイルを探しますっ！"; }
  const char* kindName() const override { return "mp3"; }

  ProbeResult probe(InputFile& input, int64_t candidate, CopySpan& span) override {
    // No events are processed between here and the end of the measurement,
    // so the threshold read now is the one in force when it ends.
    int64_t minFrames = host_.MinFrames();
    frames_ = MeasureMp3Stream(host_, input, info_, std::max<int64_t>(minFrames, 2));
    if (frames_ < minFrames) return ProbeResult::Reject;
    if (host_.FullId3v2()) {
      // The tag is looked for between the end of this pass's previous run
      // (with its ID3v1 tag) and this run: those stretches never overlap, so
      // a pass reads each byte of its input at most once more.
      const int64_t from = std::max(previousEnd_, candidate - kFullId3v2Reach);
      FindFullId3v2(input, from, candidate, info_, block_);
    }
    previousEnd_ = candidate + info_.StreamLength + (info_.HasID3v1 ? 128 : 0);
    span = {candidate, info_.StreamLength};
    return ProbeResult::Accept;
  }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    // A run shorter than the minimum is rejected; the probe's other work
    // begins only with a run that long.
    return Mp3RunShorterThan(host_, bytes, avail, std::min(host_.MinFrames(), 2));
  }

  std::string streamLine(int64_t number, int64_t candidate) override {
    char line[256];
    std::snprintf(line, sizeof line,
                  "[%3.3lld($%8.8llX-$%8.8llX)] mpeg%2.1flayer%d%6lldFrames%4dkbps%3dkHz%7.1fsec",
                  static_cast<long long>(number), static_cast<long long>(candidate),
                  static_cast<long long>(candidate + info_.StreamLength - 1),
                  info_.MpegVersion / 10.0, info_.Layer, static_cast<long long>(frames_),
                  info_.Bitrate, info_.SampleRate / 1000, info_.TotalDuration / 1000.0);
    return line;
  }

  void settleRange(int64_t number, CopySpan& span) override {
    // Whether the tag INI file names this stream is decided once, here, and
    // the same decision governs the tag appended after the copy.
    iniApplies_ = false;
    ini_ = host_.ActiveTagIni();
    if (ini_ != nullptr) iniApplies_ = ini_->SectionExists("Track" + std::to_string(number));
    if (iniApplies_) return;
    if (host_.CopyID3v1() && info_.HasID3v1) span.length += 128;
    if (host_.CopyID3v2() && info_.HasID3v2) {
      span.start -= info_.ID3v2Size;
      span.length += info_.ID3v2Size;
    }
  }

  std::string outputName(const std::string& pattern, const std::string& input,
                         int64_t number) override {
    return ExpandOutputName(pattern, ExtractBaseName(input), number, "mp3");
  }

  void afterCopy(OutputFile& output, int64_t number) override {
    if (!iniApplies_) return;
    auto tag = BuildId3v1Tag(ReadTagFromIni(*ini_, number, CurrentLocalYear()));
    output.write(tag.data(), static_cast<int64_t>(tag.size()));
  }

  StreamFacts facts() const override {
    return {frames_, info_.Bitrate, info_.SampleRate, info_.TotalDuration / 1000.0,
            iniApplies_ ? int64_t{128} : 0};  // an ID3v1 tag is 128 bytes
  }

 private:
  // How far before a run the full-size tag search reaches.
  static constexpr int64_t kFullId3v2Reach = 16 << 20;

  Host& host_;
  int64_t previousEnd_ = 0;
  std::vector<uint8_t> block_;
  TStreamInfo info_{};
  int64_t frames_ = 0;
  const TagIni* ini_ = nullptr;
  bool iniApplies_ = false;
};

}  // namespace

std::unique_ptr<Carver> MakeMp3Carver(Host& host) { return std::make_unique<Mp3Carver>(host); }
