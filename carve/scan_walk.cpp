// The walk of a scan pass: its lanes over one read of the input, in blocks,
// from trigger to trigger, with their probes.
#include "carve/scan_walk.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace scan_walk {

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
    // Probes and copies read these bytes from the view rather than again.
    chunkLen_ = in_.load(from, want);
    chunk_ = in_.loaded();
    chunkAtEof_ = chunkLen_ < want;
    ++loads_;
  }
  return std::clamp<int64_t>(chunkStart_ + chunkLen_ - pos, 0, kBlockSize);
}

void ScanPass::fillGroup(TriggerGroup& group) {
  // Every pair the buffer holds whole.
  size_t n = 0;
  if (chunkLen_ > 1) {
    n = group.set.findAllInto(chunk_, static_cast<size_t>(chunkLen_ - 1), group.hits.get());
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

int64_t ScanPass::findTrigger(Lane& lane, int64_t from, int64_t to) {
  if (lane.group < 0) {
    return from + static_cast<int64_t>(
                      FindTrigger(at(from), static_cast<size_t>(to - from), lane.trigger));
  }
  TriggerGroup& group = groups_[lane.group];
  if (group.load != loads_) fillGroup(group);
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

namespace {

// The first of the lanes furthest behind, of their `frontiers`; `behind`
// becomes the lowest frontier of the others. That lane stays the one to walk
// while its frontier is below `behind` (at a tie with a lane after it, it
// would stay too: passing the turn then costs only time).
size_t FurthestBehind(const std::vector<int64_t>& frontiers, int64_t& behind) {
  size_t next = 0;
  for (size_t i = 1; i < frontiers.size(); ++i) {
    if (frontiers[i] < frontiers[next]) {
      behind = frontiers[next];
      next = i;
    } else {
      behind = std::min(behind, frontiers[i]);
    }
  }
  return next;
}

}  // namespace

void ScanPass::walk() {
  // The frontier of every lane, none for a lane that is done. A step changes
  // only the lane that takes it, so only its frontier is looked at again.
  constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
  std::vector<int64_t> frontiers;
  for (const Lane& l : lanes_) frontiers.push_back(l.done ? kNone : l.frontier());
  if (frontiers.empty()) return;
  for (;;) {
    int64_t behind = kNone;
    const size_t next = FurthestBehind(frontiers, behind);
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
  for (;;) {
    if (!enterBlock(lane)) {
      lane.done = true;
      return;
    }
    switch (searchStretch(lane, behind)) {
      case Stretch::Again:
        continue;
      case Stretch::Stop:
        return;
      case Stretch::Done:
        lane.done = true;
        return;
      case Stretch::BlockEnd:
        crossBlock(lane);
        return;
    }
  }
}

bool ScanPass::enterBlock(Lane& lane) {
  if (lane.next >= end_) return false;
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
  if (lane.blockEnd <= lane.next) return false;  // the input shrank under us
  if (!host_.Running()) {
    ++lane.next;
    return false;
  }
  return true;
}

ScanPass::Stretch ScanPass::searchStretch(Lane& lane, int64_t behind) {
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
  const int64_t k = lane.next < pairEnd ? audibleTrigger(lane, lane.next, pairEnd) : pairEnd;
  const int64_t reached = k < pairEnd ? k + 1 : pairEnd;
  if (reached >= lane.blockEnd) {
    const int64_t blocks = (reached - lane.blockEnd) / kBlockSize + 1;
    pacer_.skip(static_cast<int>(blocks));
    lane.blockStart = lane.blockEnd + (blocks - 1) * kBlockSize;
    lane.blockEnd = lane.blockStart + kBlockSize;
  }
  lane.next = reached;
  if (k < pairEnd) return atCandidate(lane, k, behind);
  if (lane.next >= end_) return Stretch::Done;  // the window ends inside the region
  // A lane that has passed another one lets it catch up first, so that the
  // buffer is moved on only once all lanes are done with it.
  return othersBehind(lane) ? Stretch::Stop : Stretch::BlockEnd;
}

int64_t ScanPass::audibleTrigger(Lane& lane, int64_t from, int64_t to) {
  int64_t k = findTrigger(lane, from, to);
  while (k < to && silent(lane, k)) k = findTrigger(lane, k + 1, to);
  return k;
}

ScanPass::Stretch ScanPass::atCandidate(Lane& lane, int64_t k, int64_t behind) {
  if (!host_.Running()) return Stretch::Done;
  if (k < behind && passesOver(lane, k)) {
    passOver(lane, behind);
    return lane.next < behind ? Stretch::Again : Stretch::Stop;
  }
  lane.pending = true;
  lane.candidate = k;
  return Stretch::Stop;
}

bool ScanPass::othersBehind(const Lane& lane) const {
  for (const Lane& other : lanes_) {
    if (&other != &lane && !other.done && other.frontier() < lane.next) return true;
  }
  return false;
}

void ScanPass::crossBlock(Lane& lane) {
  // The last byte of the block: its trigger takes its second byte from the
  // next block.
  const Carver::Trigger trig = lane.trigger;
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
}

bool ScanPass::passesOver(Lane& lane, int64_t k) {
  // A probe steps the pacer and looks at the clock when it is due.
  if (pacer_.quietSteps() < probeWeight_) return false;
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
  // may count less.
  if (!progress_.shows(k) || mayGoBack_ || !pacer_.paced()) return false;
  return lane.carver.ruledOut(at(k), chunkStart_ + chunkLen_ - k);
}

void ScanPass::passOver(Lane& lane, int64_t behind) {
  // What the rejected probe would do: a step of the pacer that cannot be
  // due, and the progress.
  pacer_.skip(probeWeight_);
  if (!lane.progressPerProbe) return;
  // Every other lane's offset is at or past its frontier, so at or past
  // `behind`: up to there, this lane's is the walk's position.
  if (lane.next <= behind) {
    progress_.showAt(lane.next);
  } else {
    showProgress();
  }
}

void ScanPass::probe(Lane& lane, int64_t behind) {
  lane.pending = false;
  const int64_t candidate = lane.candidate;
  if (passesOver(lane, candidate)) {
    passOver(lane, behind);
    if (lane.next < behind) scan(lane, behind);
    return;
  }
  if (pacer_.due(probeWeight_)) host_.ProcessEvents();
  const Probed probed = lane.carver.probe(in_, {candidate, lane.found + 1});
  if (probed.result == ProbeResult::EndPass) {
    lane.done = true;
    return;
  }
  if (probed.result == ProbeResult::Reject) {
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
  const Produced produced = producer_.produce(lane.row, lane.found, lane.candidate, found);
  if (produced.status == Produced::Status::Aborted) return false;
  if (produced.written) ++lane.written;
  lane.next = produced.next;
  lane.empty = true;
  if (produced.status == Produced::Status::Done && lane.carver.progressPerProbe()) showProgress();
  return true;
}

}  // namespace scan_walk
