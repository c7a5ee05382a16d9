#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "carve/carver.h"
#include "carve/host.h"
#include "carve/ogg_page.h"

namespace {

class OggCarver : public Carver {
 public:
  explicit OggCarver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {0x4F, 0xFF, 0x67}; }  // "O", "g"

  Probed probe(InputView& input, const Candidate& candidate) override {
    // A single page measures no length, and copying nothing would hand the
    // walk the same candidate again; so at least two pages make a stream.
    const int64_t minPages = std::max(host_.MinFrames(), 2);
    OggRunEnds ends;
    pages_ = MeasureOggStream(input, candidate.offset, info_, &ends);
    const bool whole = host_.OggWhole();
    // With the whole-stream rule, a run from a first page to a last page is
    // a complete stream whatever its page count.
    const bool complete = whole && ends.firstPageBegins && ends.lastPageEnds;
    if (pages_ < (complete ? 2 : minPages)) return ProbeResult::Reject;
    double seconds = info_.TotalDuration / 1000.0;
    if (whole) {
      // The real length: the last granule position counts samples from the
      // stream's start. A negative one (no packet ends on the page) or an
      // unknown rate shows no length.
      seconds = ends.lastGranule > 0 && info_.SampleRate > 0
                    ? static_cast<double>(ends.lastGranule) / info_.SampleRate
                    : 0.0;
    }
    const int64_t at = candidate.offset;
    Found found;
    found.span = {at, info_.StreamLength};
    char line[256];
    std::snprintf(line, sizeof line,
                  "[%3.3lld($%8.8llX-$%8.8llX)] OggVorbis%2d%6lldFrames%4dkbps%3dkHz%7.1fsec",
                  static_cast<long long>(candidate.number), static_cast<long long>(at),
                  static_cast<long long>(at + info_.StreamLength - 1), info_.MpegVersion,
                  static_cast<long long>(pages_), info_.Bitrate, info_.SampleRate / 1000, seconds);
    found.line = line;
    // The length the stream line shows.
    found.facts = {pages_, info_.Bitrate, info_.SampleRate, seconds};
    return found;
  }

 private:
  Host& host_;
  TStreamInfo info_{};
  int64_t pages_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeOggCarver(Host& host) { return std::make_unique<OggCarver>(host); }
