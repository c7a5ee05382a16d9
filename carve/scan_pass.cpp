#include "carve/scan_pass.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "output/naming.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "platform/pacer.h"

namespace {

// The walk examines the input in blocks of this many bytes: the event pump
// gets its turn, and the run flag is looked at, where one block ends and the
// next begins. The blocks are views into one large buffer, not copies.
constexpr int64_t kBlockSize = 512;
// The large buffer: the input is read in chunks of this size. Most streams
// fit in one, so that their probes read them from there.
constexpr int64_t kChunkSize = kScanBufferSize;
// While walking, the clock is looked at once every this many blocks or
// probes: in a walk of several lanes, blocks of each lane, so that each
// lane examines as many between two looks as a lone one does, and a probe
// weighs as much as a block of every lane.
constexpr int kStepsPerClockCheck = 128;

// One carver's walk: its own position, its own current block and its own
// counters, so that several carvers can walk one read of the input as each
// would walk it alone.
struct Lane {
  explicit Lane(const PassLane& l)
      : row(*l.row),
        carver(*l.carver),
        trigger(carver.trigger()),
        progressPerProbe(carver.progressPerProbe()) {}

  // The offset the walk examines next, or (pending) its candidate.
  int64_t frontier() const { return pending ? candidate : next; }

  const FormatRow& row;
  Carver& carver;
  const Carver::Trigger trigger;
  const bool progressPerProbe;
  int64_t next = 0;  // the byte the next step examines
  // The current block [blockStart, blockEnd); `empty` when the next step
  // begins a new one at `next`.
  int64_t blockStart = 0, blockEnd = 0;
  bool empty = true;
  bool pending = false;  // a trigger at `candidate` waits for its probe
  int64_t candidate = 0;
  bool done = false, aborted = false;
  int64_t found = 0, written = 0;
  // In a walk of several lanes: the trigger group it searches through, the
  // place of its trigger there, and where it is in that trigger's offsets
  // of the load `cursorLoad` of the buffer.
  int group = -1;
  int slot = 0;
  size_t cursor = 0;
  uint64_t cursorLoad = 0;
};

// The triggers of up to eight lanes, searched for in one pass over each load
// of the buffer, the first time one of them searches it: each lane then
// finds its triggers among the offsets of its own, and the cost of a search
// barely grows with the number of lanes.
struct TriggerGroup {
  TriggerSet set;
  // Room for the hits of a whole buffer.
  std::unique_ptr<TriggerHit[]> hits =
      std::make_unique_for_overwrite<TriggerHit[]>(kChunkSize + TriggerSet::kHitSlack);
  // Per trigger, the offsets from the start of the buffer where it begins:
  // the first `counts` of them.
  std::vector<uint32_t> offsets[TriggerSet::kMaxTriggers];
  size_t counts[TriggerSet::kMaxTriggers] = {};
  uint64_t load = 0;  // the load of the buffer the offsets are of; 0: none
};

class ScanPass {
 public:
  ScanPass(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
           const std::string& pattern)
      : host_(host),
        input_(input),
        pattern_(pattern),
        pacer_(host.PumpIntervalMs(),
               kStepsPerClockCheck * static_cast<int>(std::max<size_t>(carvers.size(), 1))),
        probeWeight_(static_cast<int>(std::max<size_t>(carvers.size(), 1))),
        chunk_(kChunkSize) {
    lanes_.reserve(carvers.size());
    for (const PassLane& c : carvers) {
      lanes_.emplace_back(c);
      mayGoBack_ = mayGoBack_ || c.carver->mayEndBeforeCandidate();
    }
    // A lone lane searches its stretches directly; several share groups,
    // equal triggers one place.
    if (lanes_.size() > 1) {
      for (Lane& lane : lanes_) {
        uint8_t bit = 0;
        for (size_t g = 0; bit == 0; ++g) {
          if (g == groups_.size()) groups_.emplace_back();
          bit = groups_[g].set.add(lane.trigger);
          lane.group = static_cast<int>(g);
        }
        lane.slot = std::countr_zero(bit);
      }
    }
  }

  int64_t run();

 private:
  bool setUp();
  // Walks all lanes, always the one furthest behind, so that streams are
  // met in order of offset.
  void walk();
  // Moves the lane on by one stretch of blocks, or to its next candidate, or
  // to the end of its walk. While the lane stays the one furthest behind
  // (its frontier below `behind`), it goes on past the candidates its
  // carver rules out, doing just what their rejected probes would do.
  void scan(Lane& lane, int64_t behind);
  // Whether the lane's candidate `k` may be passed over without its probe.
  bool passesOver(Lane& lane, int64_t k);
  // Whether the lane's candidate `k` may be left out of the walk altogether:
  // its carver rules it out, so its probe would do nothing but show the
  // progress, and the progress shows already what it would show then.
  bool silent(Lane& lane, int64_t k);
  void passOver(Lane& lane, int64_t behind);
  // Probes the lane's candidate, or passes over it as scan() does, and
  // then goes on as scan() while the lane stays furthest behind.
  void probe(Lane& lane, int64_t behind);
  // Produces the lane's stream `found`; false when the user chose Abort.
  bool produce(Lane& lane, const Found& found);
  // Makes the block at `pos` available in the buffer; returns its fill
  // (0 to kBlockSize: what the input holds there).
  int64_t blockAt(int64_t pos);
  // The lowest offset in [from, to) where the lane's trigger begins, or
  // `to`; both lie in the buffer, and so does the byte at `to`.
  int64_t findTrigger(Lane& lane, int64_t from, int64_t to);
  const uint8_t* at(int64_t pos) const { return chunk_.data() + (pos - chunkStart_); }
  bool atEof(int64_t pos);
  void showProgress();
  // The same when the walk's position is known to be `next`.
  void showProgressAt(int64_t next);
  // The position shown for the walk at offset `next`.
  int progressAt(int64_t next) const;
  void reportFailure(const IoError& e);
  // The pass's reports to the host beside its log lines: every lane's
  // start, end and failures outside a stream, and each stream.
  void reportPass(const Lane& lane, PassReport::Stage stage, const std::string& error = {});
  void reportPasses(PassReport::Stage stage, const std::string& error = {});
  void reportInputFailure(const std::string& error);
  void reportStream(const Lane& lane, StreamReport& report, const Found& found);
  int64_t totalWritten() const;

  Host& host_;
  const std::string& input_;
  const std::string& pattern_;
  Pacer pacer_;
  const int probeWeight_;  // the pacer's steps of a probe
  std::vector<Lane> lanes_;
  std::vector<TriggerGroup> groups_;

  File in_;
  int64_t start_ = 0, end_ = 0;
  int64_t knownSize_ = 0;
  int64_t openSize_ = 0;  // the input's size when the pass began
  // The failure of an input that lost bytes while the pass read it.
  IoError InputShrank() const {
    return IoError(kIoInputShrank, "Input file shrank while it was read", input_);
  }
  std::vector<uint8_t> chunk_;
  int64_t chunkStart_ = 0, chunkLen_ = 0;
  bool chunkAtEof_ = false;
  uint64_t loads_ = 0;             // how many times the buffer was read into
  int64_t readSize_ = kBlockSize;  // the size of the next read
  int lastProgress_ = -1;
  // A carver's streams may end before their candidates: the walk's
  // position may go back.
  bool mayGoBack_ = false;
  // The offsets that give the position shown last: [low, high).
  int64_t progressLow_ = 0, progressHigh_ = 0;
};

int64_t ScanPass::run() {
  if (!FileExists(input_)) {
    host_.Beep();
    const std::string message = "入力ファイルが存在しません(" + input_ + ")";
    host_.MessageBox(BoxType::Warning, message, BoxButtons::Ok, 0);
    reportInputFailure(message);
    return 0;
  }
  for (const Lane& lane : lanes_) {
    host_.AddLog("\"" + input_ + "\"" + std::string(lane.row.opening));
    reportPass(lane, PassReport::Stage::Begin);
  }
  if (!setUp()) {
    reportPasses(PassReport::Stage::End);
    return 0;
  }
  try {
    walk();
    if (std::all_of(lanes_.begin(), lanes_.end(), [](const Lane& l) { return l.aborted; })) {
      reportPasses(PassReport::Stage::End);
      return totalWritten();
    }
    if (std::any_of(lanes_.begin(), lanes_.end(),
                    [](const Lane& l) { return !l.carver.progressPerProbe(); })) {
      showProgress();
    }
    in_.close();
  } catch (const IoError& e) {
    reportFailure(e);
    in_.closeQuietly();
    reportPasses(PassReport::Stage::End);
    return totalWritten();
  }
  for (const Lane& lane : lanes_) {
    if (lane.aborted) continue;
    if (lane.found == 0) {
      host_.AddLog("Not Found (T-T)");
    } else {
      host_.AddLog(std::to_string(lane.found) + "個の" + std::string(lane.row.kind) +
                   "を発見。うち" + std::to_string(lane.written) + "個を抽出しました");
    }
  }
  reportPasses(PassReport::Stage::End);
  return totalWritten();
}

int64_t ScanPass::totalWritten() const {
  int64_t n = 0;
  for (const Lane& lane : lanes_) n += lane.written;
  return n;
}

void ScanPass::reportFailure(const IoError& e) {
  host_.AddLog(std::string("* ") + e.what());
  host_.FailureConcerns(e.path());
  host_.MessageBox(BoxType::Error, e.what(), BoxButtons::Ok, e.code());
  reportInputFailure(e.what());
}

void ScanPass::reportPass(const Lane& lane, PassReport::Stage stage, const std::string& error) {
  PassReport report;
  report.stage = stage;
  report.input = input_;
  report.format = lane.row.kind;
  report.found = lane.found;
  report.written = lane.written;
  report.error = error;
  host_.PassReported(report);
}

void ScanPass::reportPasses(PassReport::Stage stage, const std::string& error) {
  for (const Lane& lane : lanes_) reportPass(lane, stage, error);
}

void ScanPass::reportInputFailure(const std::string& error) {
  // One failure of the input ends every lane at once: it is reported once,
  // as its box is shown and its line logged once.
  if (!lanes_.empty()) reportPass(lanes_.front(), PassReport::Stage::Error, error);
}

void ScanPass::reportStream(const Lane& lane, StreamReport& report, const Found& found) {
  const StreamFacts& facts = found.facts;
  report.input = input_;
  report.format = lane.row.kind;
  report.number = lane.found;
  report.offset = found.span.start;
  report.length = found.span.length;
  report.frames = facts.frames;
  report.bitrateKbps = facts.bitrateKbps;
  report.sampleRateHz = facts.sampleRateHz;
  report.seconds = facts.seconds;
  report.channels = facts.channels;
  host_.StreamDone(report);
}

bool ScanPass::setUp() {
  try {
    in_ = File::OpenRead(input_);
    int64_t size = in_.size();
    knownSize_ = openSize_ = size;
    if (!host_.LimitRange()) {
      start_ = 0;
      end_ = size - 1;
    } else {
      int64_t lower = host_.LowerPercent();
      int64_t upper = host_.UpperPercent();
      int64_t q = size / 100;
      start_ = lower * q;
      end_ = upper == 100 ? size : q * upper;
    }
    in_.seek(start_);
    for (Lane& lane : lanes_) lane.next = start_;
    chunkStart_ = start_;
    chunkLen_ = 0;
    chunkAtEof_ = false;
    return true;
  } catch (const IoError& e) {
    reportFailure(e);
    in_.closeQuietly();
    return false;
  }
}

void ScanPass::showProgress() {
  // The position of the walk: in a pass of several carvers, that of the one
  // furthest behind.
  int64_t next = -1;
  for (const Lane& lane : lanes_) {
    if (!lane.done && (next < 0 || lane.next < next)) next = lane.next;
  }
  if (next < 0) {
    for (const Lane& lane : lanes_) next = std::max(next, lane.next);
  }
  showProgressAt(next);
}

void ScanPass::showProgressAt(int64_t next) {
  if (next >= progressLow_ && next < progressHigh_) return;  // shown already
  const int position = progressAt(next);
  if (position != lastProgress_) {
    lastProgress_ = position;
    host_.SetProgress(position);
  }
  // The position grows with the offset, so the offsets around `next` that
  // give the same one form a range: found by doubling steps, then halving,
  // it spares the calls that follow the sums while the walk stays in it.
  auto edge = [&](int64_t direction) {
    constexpr int64_t kFar = int64_t{1} << 61;
    int64_t same = next, step = 1;
    while (step < kFar && progressAt(next + direction * step) == position) {
      same = next + direction * step;
      step *= 2;
    }
    int64_t other = next + direction * step;
    if (step >= kFar) return same + direction;  // none so near: the range ends here
    while (std::abs(other - same) > 1) {
      const int64_t mid = same + (other - same) / 2;
      (progressAt(mid) == position ? same : other) = mid;
    }
    return other;  // the nearest offset with another position
  };
  progressHigh_ = edge(1);
  progressLow_ = edge(-1) + 1;
}

int ScanPass::progressAt(int64_t next) const {
  if (end_ - start_ == 0) return 0;
  double share = static_cast<double>(next - start_) / static_cast<double>(end_ - start_) * 100.0;
  return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
}

bool ScanPass::atEof(int64_t pos) {
  if (pos < knownSize_) return false;
  knownSize_ = in_.size();
  return pos >= knownSize_;
}

int64_t ScanPass::blockAt(int64_t pos) {
  const int64_t chunkEnd = chunkStart_ + chunkLen_;
  const bool held =
      pos >= chunkStart_ && (pos + kBlockSize <= chunkEnd || (chunkAtEof_ && pos <= chunkEnd));
  if (!held) {
    // Read from the block that the lane furthest behind still needs, so
    // that every lane's block lies in the one buffer and the input is read
    // once.
    int64_t from = pos;
    for (const Lane& lane : lanes_) {
      if (lane.done) continue;
      from = std::min(from, lane.empty ? lane.next : lane.blockStart);
    }
    if (pos + kBlockSize > from + kChunkSize) from = pos;
    // Nothing past the byte after the window is read. The first reads of a
    // pass are small and the size doubles up to the buffer's, so that a walk
    // that ends early (a short window, a cancel) reads little it never uses.
    int64_t want = std::min(readSize_, std::max<int64_t>(end_ + 1 - from, 0));
    want = std::max(want, pos + kBlockSize - from);
    readSize_ = std::min(readSize_ * 2, kChunkSize);
    chunkStart_ = from;
    chunkLen_ = in_.readAt(from, chunk_.data(), want);
    chunkAtEof_ = chunkLen_ < want;
    ++loads_;
    // Probes and copies read these bytes from here rather than again.
    in_.lend(chunk_.data(), chunkStart_, chunkLen_);
  }
  return std::clamp<int64_t>(chunkStart_ + chunkLen_ - pos, 0, kBlockSize);
}

int64_t ScanPass::findTrigger(Lane& lane, int64_t from, int64_t to) {
  if (lane.group < 0) {
    return from + static_cast<int64_t>(
                      FindTrigger(at(from), static_cast<size_t>(to - from), lane.trigger));
  }
  TriggerGroup& group = groups_[lane.group];
  if (group.load != loads_) {
    // Every pair the buffer holds whole.
    size_t n = 0;
    if (chunkLen_ > 1) {
      n = group.set.findAllInto(chunk_.data(), static_cast<size_t>(chunkLen_ - 1),
                                group.hits.get());
    }
    uint32_t* lists[TriggerSet::kMaxTriggers];
    size_t* counts = group.counts;
    std::fill_n(counts, TriggerSet::kMaxTriggers, 0);
    for (int j = 0; j < group.set.size(); ++j) {
      if (group.offsets[j].size() < n) group.offsets[j].resize(n);
      lists[j] = group.offsets[j].data();
    }
    for (size_t i = 0; i < n; ++i) {
      const TriggerHit hit = group.hits[i];
      for (unsigned bits = hit.triggers; bits != 0; bits &= bits - 1) {
        const int j = std::countr_zero(bits);
        lists[j][counts[j]++] = hit.at;
      }
    }
    group.load = loads_;
  }
  const uint32_t* offsets = group.offsets[lane.slot].data();
  const size_t count = group.counts[lane.slot];
  const auto low = static_cast<uint32_t>(from - chunkStart_);
  const auto high = static_cast<uint32_t>(to - chunkStart_);
  // The lane's searches go forward through one load: on from where the last
  // one stopped, unless the buffer was read again or the lane went back.
  size_t c = lane.cursor;
  if (lane.cursorLoad != loads_ || (c > 0 && offsets[c - 1] >= low)) {
    c = static_cast<size_t>(std::lower_bound(offsets, offsets + count, low) - offsets);
    lane.cursorLoad = loads_;
  }
  while (c < count && offsets[c] < low) ++c;
  lane.cursor = c;
  return c < count && offsets[c] < high ? chunkStart_ + offsets[c] : to;
}

void ScanPass::walk() {
  // The frontier of every lane, none for a lane that is done. A step changes
  // only the lane that takes it, so only its frontier is looked at again.
  constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
  std::vector<int64_t> frontiers;
  for (const Lane& l : lanes_) frontiers.push_back(l.done ? kNone : l.frontier());
  if (frontiers.empty()) return;
  for (;;) {
    // The first of the lanes furthest behind. It stays the one to walk while
    // its frontier is below those of all the others (at a tie with a lane
    // after it, it would stay too: passing the turn then costs only time).
    size_t next = 0;
    int64_t behind = kNone;
    for (size_t i = 1; i < frontiers.size(); ++i) {
      if (frontiers[i] < frontiers[next]) {
        behind = frontiers[next];
        next = i;
      } else {
        behind = std::min(behind, frontiers[i]);
      }
    }
    if (frontiers[next] == kNone) return;
    Lane& lane = lanes_[next];
    if (lane.pending) {
      probe(lane, behind);
    } else {
      scan(lane, behind);
    }
    frontiers[next] = lane.done ? kNone : lane.frontier();
  }
}

void ScanPass::scan(Lane& lane, int64_t behind) {
  const Carver::Trigger trig = lane.trigger;
  for (;;) {
    if (lane.next >= end_) {
      lane.done = true;
      return;
    }
    if (lane.empty) {
      lane.blockStart = lane.next;
      lane.blockEnd = lane.next + blockAt(lane.next);
      lane.empty = false;
    } else if (lane.blockStart < chunkStart_ || lane.blockEnd > chunkStart_ + chunkLen_) {
      // The buffer moved on for another lane; read this lane's block again
      // (only what the input still holds of it).
      blockAt(lane.blockStart);
      lane.blockEnd = std::min(lane.blockEnd, chunkStart_ + chunkLen_);
    }
    if (lane.blockEnd <= lane.next) {  // the input shrank under us
      lane.done = true;
      return;
    }
    if (!host_.Running()) {
      ++lane.next;
      lane.done = true;
      return;
    }
    // Search the current block and the whole blocks after it that the buffer
    // holds, as far as the pump cannot be due at their ends: the steps in
    // between only change blocks.
    int64_t extra = 0;
    if (lane.blockEnd - lane.blockStart == kBlockSize) {
      extra = std::min<int64_t>(pacer_.quietSteps(),
                                (chunkStart_ + chunkLen_ - lane.blockEnd) / kBlockSize);
    }
    const int64_t regionEnd = lane.blockEnd + extra * kBlockSize;
    // Triggers whose second byte lies in the region; the region's last byte is
    // examined at the block change below.
    const int64_t pairEnd = std::min(end_, regionEnd - 1);
    int64_t k = pairEnd;
    if (lane.next < pairEnd) {
      k = findTrigger(lane, lane.next, pairEnd);
      while (k < pairEnd && silent(lane, k)) k = findTrigger(lane, k + 1, pairEnd);
    }
    const int64_t reached = k < pairEnd ? k + 1 : pairEnd;
    if (reached >= lane.blockEnd) {
      const int64_t blocks = (reached - lane.blockEnd) / kBlockSize + 1;
      pacer_.skip(static_cast<int>(blocks));
      lane.blockStart = lane.blockEnd + (blocks - 1) * kBlockSize;
      lane.blockEnd = lane.blockStart + kBlockSize;
    }
    lane.next = reached;
    if (k < pairEnd) {
      if (!host_.Running()) {
        lane.done = true;
        return;
      }
      if (k < behind && passesOver(lane, k)) {
        passOver(lane, behind);
        if (lane.next < behind) continue;
        return;
      }
      lane.pending = true;
      lane.candidate = k;
      return;
    }
    if (lane.next >= end_) {  // the window ends inside the region
      lane.done = true;
      return;
    }
    // A lane that has passed another one lets it catch up first, so that the
    // buffer is moved on only once all lanes are done with it.
    for (const Lane& other : lanes_) {
      if (&other != &lane && !other.done && other.frontier() < lane.next) return;
    }

    // The last byte of the block: its trigger takes its second byte from the
    // next block.
    const uint8_t examined = *at(lane.next);
    const int64_t candidate = lane.next;
    lane.next = lane.blockEnd;
    if (atEof(lane.blockEnd)) {  // no byte follows: the examined byte is not tested
      lane.done = true;
      return;
    }
    lane.blockStart = lane.blockEnd;
    lane.blockEnd = lane.blockStart + blockAt(lane.blockStart);
    if (pacer_.due()) {
      showProgress();
      host_.ProcessEvents();
    }
    if (lane.blockEnd == lane.blockStart || !host_.Running()) {
      lane.done = true;
      return;
    }
    if (examined == trig.first && (*at(lane.blockStart) & trig.mask) == trig.value) {
      lane.pending = true;
      lane.candidate = candidate;
    }
    return;
  }
}

bool ScanPass::passesOver(Lane& lane, int64_t k) {
  // A probe steps the pacer and looks at the clock when it is due; and
  // under a fault plan its reads are steps of the plan.
  if (pacer_.quietSteps() < probeWeight_ || g_faultPlan != nullptr) return false;
  // The buffer may have moved on past a candidate at the end of a block.
  if (k < chunkStart_ || k >= chunkStart_ + chunkLen_) return false;
  return lane.carver.ruledOut(at(k), chunkStart_ + chunkLen_ - k);
}

bool ScanPass::silent(Lane& lane, int64_t k) {
  // The walk's position only grows (unless a lane may go back), and with it
  // the position shown: when the walk reaches k, the position shown is at
  // least the one shown now and at most that of k + 1, so where the offsets
  // from k to k + 1 give the one shown now, the probe shows nothing. Then
  // only the pacer would have counted it, and a pacer that goes by the clock
  // may count less; a fault plan counts the probe's reads.
  if (k < progressLow_ || k + 1 >= progressHigh_ || mayGoBack_) return false;
  if (!pacer_.paced() || g_faultPlan != nullptr) return false;
  return lane.carver.ruledOut(at(k), chunkStart_ + chunkLen_ - k);
}

void ScanPass::passOver(Lane& lane, int64_t behind) {
  // What the rejected probe would do: a step of the pacer that cannot be
  // due, and the progress. (It would put the input back after the lane's
  // block too, but every use of the input's position begins with a seek.)
  pacer_.skip(probeWeight_);
  if (!lane.progressPerProbe) return;
  // Every other lane's offset is at or past its frontier, so at or past
  // `behind`: up to there, this lane's is the walk's position.
  if (lane.next <= behind) {
    showProgressAt(lane.next);
  } else {
    showProgress();
  }
}

void ScanPass::probe(Lane& lane, int64_t behind) {
  lane.pending = false;
  // The input's position after the last block read, restored after a
  // rejected probe.
  const int64_t saved = lane.blockEnd;
  const int64_t candidate = lane.candidate;
  if (passesOver(lane, candidate)) {
    passOver(lane, behind);
    if (lane.next < behind) scan(lane, behind);
    return;
  }
  in_.seek(candidate);
  if (pacer_.due(probeWeight_)) host_.ProcessEvents();
  const Probed probed = lane.carver.probe(in_, {candidate, lane.found + 1});
  if (probed.result == ProbeResult::EndPass) {
    lane.done = true;
    return;
  }
  if (probed.result == ProbeResult::Reject) {
    in_.seek(saved);
    if (lane.carver.progressPerProbe()) showProgress();
    return;
  }
  ++lane.found;
  host_.AddLog(probed.found.line);
  if (!produce(lane, probed.found)) {
    lane.aborted = true;
    lane.done = true;
    if (lanes_.size() == 1) in_.closeQuietly();
  }
}

bool ScanPass::produce(Lane& lane, const Found& found) {
  const CopySpan span = found.copied();
  File out;
  StreamReport report;
  try {
    const bool dryRun = host_.DryRun();
    bool hasDir = false;
    std::string dir = PatternDirectory(pattern_, hasDir);
    if (!dryRun && hasDir && !dir.empty() && !DirectoryExists(dir)) CreateDir(dir);
    std::string name = lane.row.name(pattern_, ExtractBaseName(host_.NamingInput(input_)),
                                     lane.found, std::string(lane.row.extension));
    report.output = name;
    report.outputOffset = span.start;
    const auto taken = [&name] {
      return IoError(kIoOutputExists, "出力ファイルが既に存在します(" + name + ")");
    };
    // One look at the name serves the checks and the output's creation.
    const OutputTarget target = OutputTarget::Look(name);
    if (in_.isSameFileAs(target) || (host_.RunInputs() && host_.RunInputs()->contains(target)))
      throw IoError(kIoSameAsInput, "出力ファイルが入力ファイルと同じです", name);
    if (host_.OutputTaken(name)) throw taken();
    // What the input held of the range when the pass began: a copy that
    // gets less lost bytes to an input that shrank under the pass.
    const int64_t held = std::clamp<int64_t>(openSize_ - span.start, 0, span.length);
    if (dryRun) {
      // The input is left where the copy would leave it: past the range, or
      // at its end when it ends first.
      report.outputLength = std::clamp<int64_t>(in_.size() - span.start, 0, span.length);
      if (report.outputLength < held) throw InputShrank();
      report.status = StreamReport::Status::DryRun;
      in_.seek(span.start + report.outputLength);
    } else {
      // The stream appears under its name only once it is whole; a failure
      // below leaves the name as it was.
      const OutputMode mode = host_.KeepExistingOutputs() ? OutputMode::Keep : OutputMode::Replace;
      try {
        out = File::CreateOutput(target, mode);
        CopyRange(in_, span.start, span.length, out);
        report.outputLength = in_.position() - span.start;
        // Bytes copied from what the walk held of an input that has since
        // lost them are no more the input's than bytes never copied.
        if (report.outputLength < held || in_.size() < in_.position()) throw InputShrank();
        if (!found.appended.empty())
          out.write(found.appended.data(), static_cast<int64_t>(found.appended.size()));
        // Committing flushes the output; a full disk shows here and fails
        // this stream rather than passing for success.
        out.commit();
      } catch (const IoError& e) {
        if (e.code() == kIoOutputExists) throw taken();
        throw;
      }
      ++lane.written;
    }
    report.appendedBytes = static_cast<int64_t>(found.appended.size());
    reportStream(lane, report, found);
    // A stream of no bytes moves the walk on past its candidate, so that the
    // same candidate is not taken again.
    lane.next = in_.position() > span.start ? in_.position() : lane.candidate + 1;
    lane.empty = true;
    if (lane.progressPerProbe) showProgress();
    return true;
  } catch (const IoError& e) {
    out.discard();
    report.status = StreamReport::Status::Failed;
    report.error = e.what();
    if (e.code() == kIoInputShrank) {
      // The input is not what the walk holds any more: the stream fails, and
      // the failure of the input ends the pass.
      reportStream(lane, report, found);
      throw;
    }
    host_.AddLog(std::string("* ") + e.what());
    host_.FailureConcerns(e.path());
    reportStream(lane, report, found);
    BoxAnswer answer = host_.MessageBox(BoxType::Error,
                                        std::string(e.what()) + "\n" + std::to_string(lane.found) +
                                            "番目のファイルの処理中にエラーが起こりました",
                                        BoxButtons::AbortIgnore, e.code());
    if (answer != BoxAnswer::Ignore) return false;  // Abort, or the box closed without a button
    lane.next = span.length > 0 ? span.start + span.length : lane.candidate + 1;
    in_.seek(lane.next);
    lane.empty = true;
    return true;
  }
}

}  // namespace

std::string PatternDirectory(const std::string& pattern, bool& found) {
  auto slash = pattern.find_last_of('/');
  found = slash != std::string::npos;
  if (!found) return std::string();
  std::string dir = pattern.substr(0, slash);
  // A directory part whose every '%' is doubled is plain text (the default
  // pattern below a folder with '%' in its name): it names the directory
  // the outputs go to. Any other is taken as typed.
  std::string plain;
  for (size_t i = 0; i < dir.size(); ++i) {
    if (dir[i] == '%') {
      if (i + 1 >= dir.size() || dir[i + 1] != '%') return dir;
      ++i;
    }
    plain += dir[i];
  }
  return plain;
}

int64_t RunScanPasses(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
                      const std::string& pattern) {
  ScanPass pass(host, carvers, input, pattern);
  return pass.run();
}

int64_t RunScanPass(Host& host, const FormatRow& row, Carver& carver, const std::string& input,
                    const std::string& pattern) {
  return RunScanPasses(host, {{&row, &carver}}, input, pattern);
}
