#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/mpeg/mpeg_measure.h"
#include "output/id3v1.h"
#include "output/tag_ini.h"
#include "platform/clock.h"
#include "platform/output_file.h"

namespace {

class Mp3Carver : public Carver {
 public:
  explicit Mp3Carver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {0xFF, 0xE6, 0xE2}; }

  Probed probe(InputView& input, const Candidate& candidate) override {
    const int64_t at = candidate.offset;
    // No events are processed between here and the end of the measurement,
    // so the threshold read now is the one in force when it ends.
    int64_t minFrames = host_.MinFrames();
    TStreamInfo info{};
    const int64_t frames =
        MeasureMp3Stream(host_, input, at, info, std::max<int64_t>(minFrames, 2));
    if (frames < minFrames) return ProbeResult::Reject;
    if (host_.FullId3v2()) {
      // The tag is looked for between the end of this pass's previous run
      // (with its ID3v1 tag) and this run: those stretches never overlap, so
      // a pass reads each byte of its input at most once more.
      const int64_t from = std::max(previousEnd_, at - kFullId3v2Reach);
      FindFullId3v2(input, from, at, info);
    }
    previousEnd_ = at + info.StreamLength + (info.HasID3v1 ? 128 : 0);
    Found found;
    found.span = {at, info.StreamLength};
    found.line = Line(candidate, info, frames);
    found.facts = {frames, info.Bitrate, info.SampleRate, info.TotalDuration / 1000.0};
    // When the tag INI file names the stream, it gets a new ID3v1 tag from
    // there instead of the tags around it.
    const TagIni* ini = candidate.tagIni;
    if (ini != nullptr && ini->SectionExists("Track" + std::to_string(candidate.number))) {
      const auto tag = BuildId3v1Tag(ReadTagFromIni(*ini, candidate.number, CurrentLocalYear()));
      found.appended.assign(tag.begin(), tag.end());
      return found;
    }
    if (host_.CopyID3v1() && info.HasID3v1) found.tagAfter = 128;
    if (host_.CopyID3v2() && info.HasID3v2) found.tagBefore = info.ID3v2Size;
    return found;
  }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    // A run shorter than the minimum is rejected; the probe's other work
    // begins only with a run that long.
    return Mp3RunShorterThan(host_, bytes, avail, std::min(host_.MinFrames(), 2));
  }

 private:
  // How far before a run the full-size tag search reaches.
  static constexpr int64_t kFullId3v2Reach = 16 << 20;

  static std::string Line(const Candidate& candidate, const TStreamInfo& info, int64_t frames) {
    const int64_t at = candidate.offset;
    char line[256];
    std::snprintf(line, sizeof line,
                  "[%3.3lld($%8.8llX-$%8.8llX)] mpeg%2.1flayer%d%6lldFrames%4dkbps%3dkHz%7.1fsec",
                  static_cast<long long>(candidate.number), static_cast<long long>(at),
                  static_cast<long long>(at + info.StreamLength - 1), info.MpegVersion / 10.0,
                  info.Layer, static_cast<long long>(frames), info.Bitrate, info.SampleRate / 1000,
                  info.TotalDuration / 1000.0);
    return line;
  }

  Host& host_;
  int64_t previousEnd_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeMp3Carver(Host& host) { return std::make_unique<Mp3Carver>(host); }
