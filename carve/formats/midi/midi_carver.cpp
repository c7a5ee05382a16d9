// MIDI files: standard MIDI files ("MThd" and its tracks), and RIFF MIDI
// files ("RIFF" of form "RMID") whose "data" chunk holds one. A standard
// MIDI file that is the data chunk of a RIFF MIDI file is left to that one's
// carver: the RIFF file is carved whole.
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "carve/engine/carver.h"
#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/stream_line.h"
#include "carve/formats/common/byte_order.h"
#include "carve/formats/midi/smf_time.h"
#include "carve/formats/midi/smf_walk.h"

namespace {

// The RIFF header and "data" chunk header in front of a standard MIDI file.
constexpr int64_t kRiffPrefix = 20;
// How many chunks of a RIFF MIDI file are walked at most.
constexpr int kMaxRiffChunks = 16;

StreamFacts TrackFacts(int64_t tracks) {
  StreamFacts f;
  f.frames = tracks;
  return f;
}

class SmfCarver : public Carver {
 public:
  explicit SmfCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'M', 0xFF, 'T'}; }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    return avail >= 14 && !SmfHeaderPlausible(bytes);
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    if (std::ssize(input.bytes(candidate, 14)) < 14) return ProbeResult::EndPass;
    const int64_t end = walk_.measure(input, candidate);
    if (end < 0 || InRiffMidi(input, candidate, end)) return ProbeResult::Reject;
    const CopySpan span{candidate, end - candidate};
    // The seconds are a fact of the report, not of the line.
    StreamFacts facts = TrackFacts(walk_.tracks());
    std::string line = StreamLine(where.number, span, "SMF", "Tracks", facts);
    facts.seconds = SmfSeconds(input, candidate, end);
    return Found{span, std::move(line), facts};
  }

 private:
  // The file [at, end) is the data chunk of a RIFF MIDI file that holds it.
  static bool InRiffMidi(InputView& input, int64_t at, int64_t end) {
    if (at < kRiffPrefix) return false;
    const auto b = input.bytes(at - kRiffPrefix, kRiffPrefix);
    if (std::ssize(b) < kRiffPrefix) return false;
    const uint8_t* p = b.data();
    return std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "RMIDdata", 8) == 0 &&
           at - kRiffPrefix + 8 + Le32(p + 4) >= end;
  }

  SmfWalk walk_;
};

class RmidCarver : public Carver {
 public:
  explicit RmidCarver(Host& /*host*/) {}

  Trigger trigger() const override { return {'R', 0xFF, 'I'}; }

  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    return avail >= 12 && std::memcmp(bytes + 8, "RMID", 4) != 0;
  }

  Probed probe(InputView& input, const Candidate& where) override {
    const int64_t candidate = where.offset;
    const auto header = input.bytes(candidate, 12);
    if (std::ssize(header) < 12) return ProbeResult::EndPass;
    const uint8_t* h = header.data();
    if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "RMID", 4) != 0) {
      return ProbeResult::Reject;
    }
    const int64_t riffEnd = candidate + 8 + Le32(h + 4);
    if (riffEnd > input.knownSize() || !ChunksHold(input, candidate + 12, riffEnd)) {
      return ProbeResult::Reject;
    }
    const CopySpan span{candidate, riffEnd - candidate};
    StreamFacts facts = TrackFacts(walk_.tracks());
    std::string line = StreamLine(where.number, span, "RMID", "Tracks", facts);
    facts.seconds = SmfSeconds(input, smfAt_, smfEnd_);
    return Found{span, std::move(line), facts};
  }

 private:
  // The chunks from `at` on fill the RIFF chunk up to `riffEnd`, each padded
  // to even length, and one of them is a "data" chunk holding exactly one
  // whole standard MIDI file.
  bool ChunksHold(InputView& input, int64_t at, int64_t riffEnd) {
    bool data = false;
    for (int i = 0; i < kMaxRiffChunks && at < riffEnd; ++i) {
      const auto head = input.bytes(at, 8);
      if (std::ssize(head) < 8) return false;
      const int64_t size = Le32(head.data() + 4);
      const int64_t end = at + 8 + size;
      if (end > riffEnd) return false;
      if (std::memcmp(head.data(), "data", 4) == 0) {
        if (data || walk_.measure(input, at + 8) != end) return false;
        data = true;
        smfAt_ = at + 8;
        smfEnd_ = end;
      }
      at = end + (size & 1);
    }
    return data && (at == riffEnd || at == riffEnd + 1);
  }

  SmfWalk walk_;
  int64_t smfAt_ = 0, smfEnd_ = 0;  // the standard MIDI file in the data chunk
};

}  // namespace

std::unique_ptr<Carver> MakeSmfCarver(Host& host) { return std::make_unique<SmfCarver>(host); }
std::unique_ptr<Carver> MakeRmidCarver(Host& host) { return std::make_unique<RmidCarver>(host); }
