#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/ogg/ogg_codec.h"
#include "carve/formats/ogg/ogg_page.h"
#include "carve/formats/ogg/ogg_streams.h"

namespace {

// The stream that the line shows: the first audio stream, else the first.
const OggLogicalStream* Shown(const OggGroup& group) {
  for (const OggLogicalStream& s : group.streams) {
    if (s.codec.codec != OggCodec::Theora && s.codec.codec != OggCodec::Unknown) return &s;
  }
  return group.streams.empty() ? nullptr : &group.streams.front();
}

bool HasTheora(const OggGroup& group) {
  return std::any_of(group.streams.begin(), group.streams.end(),
                     [](const OggLogicalStream& s) { return s.codec.codec == OggCodec::Theora; });
}

// The output's extension by what the group holds: video, Opus, other audio
// that is not Vorbis, or Vorbis and anything unknown.
const char* Extension(const OggGroup& group, OggCodec audio) {
  if (HasTheora(group)) return "ogv";
  if (audio == OggCodec::Opus) return "opus";
  if (audio == OggCodec::Flac || audio == OggCodec::Speex) return "oga";
  return "ogg";
}

// The format the line names: "OggOpus", "Theora+Vorbis", "OggTheora", "Ogg".
std::string FormatName(const OggGroup& group, OggCodec audio) {
  const std::string codec = OggCodecName(audio);
  if (HasTheora(group) && audio != OggCodec::Theora) {
    return codec.empty() ? "OggTheora" : "Theora+" + codec;
  }
  return "Ogg" + codec;
}

// The length of the stream at `at` from the last granule position its
// measure saw, read by the codec of its first packet; 0 when the run does
// not begin with a first page or its codec is unknown or video.
double GranuleSeconds(InputView& input, int64_t at, const OggRunEnds& ends) {
  constexpr int kHeader = 27;
  if (!ends.firstPageBegins || ends.lastGranule < 0) return 0.0;
  uint8_t page[kHeader + 255 + 128];
  const int64_t got = input.read(at, page, sizeof page);
  if (got < kHeader || got < kHeader + page[26]) return 0.0;
  const OggCodecInfo codec =
      ReadOggCodec(OggFirstPacket(std::span<const uint8_t>(page, static_cast<size_t>(got))));
  if (codec.codec == OggCodec::Theora) return 0.0;
  return OggSeconds(codec, ends.lastGranule);
}

class OggCarver : public Carver {
 public:
  explicit OggCarver(Host& host) : host_(host) {}

  Trigger trigger() const override { return {0x4F, 0xFF, 0x67}; }  // "O", "g"

  Probed probe(InputView& input, const Candidate& candidate) override {
    if (host_.OggCodecs()) return probeGroup(input, candidate);
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
    // The length the stream line shows; where it shows none, the length by
    // the codec's last granule position (the line stays as it is).
    found.facts = {pages_, info_.Bitrate, info_.SampleRate, seconds};
    if (seconds <= 0) found.facts.seconds = GranuleSeconds(input, at, ends);
    return found;
  }

 private:
  // With the codec rule: the logical streams followed by serial number, each
  // page checked by its CRC, and the line, the facts and the output's
  // extension of the codec.
  Probed probeGroup(InputView& input, const Candidate& candidate) {
    const OggGroup group = FollowOggGroup(input, candidate.offset, crcs_);
    const bool complete = host_.OggWhole() && group.complete();
    if (group.pages < (complete ? 2 : std::max(host_.MinFrames(), 2))) return ProbeResult::Reject;
    const OggLogicalStream* shown = Shown(group);
    const OggCodec audio = shown != nullptr ? shown->codec.codec : OggCodec::Unknown;
    StreamFacts facts;
    facts.frames = group.pages;
    facts.seconds = group.seconds();
    if (shown != nullptr && audio != OggCodec::Theora) {
      facts.sampleRateHz = shown->codec.sampleRate;
      facts.channels = shown->codec.channels;
    }
    facts.bitrateKbps =
        facts.seconds > 0
            ? std::llround(static_cast<double>(group.length) * 8 / facts.seconds / 1000)
            : 0;
    const CopySpan span{candidate.offset, group.length};
    Found found(span, StreamLine(candidate.number, span, FormatName(group, audio), "Frames", facts),
                facts);
    found.extension = Extension(group, audio);
    return found;
  }

  Host& host_;
  OggCrcCache crcs_;
  TStreamInfo info_{};
  int64_t pages_ = 0;
};

}  // namespace

std::unique_ptr<Carver> MakeOggCarver(Host& host) { return std::make_unique<OggCarver>(host); }
