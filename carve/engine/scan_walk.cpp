// The walk of a scan pass: its lanes over one read of the input, in blocks,
// from trigger to trigger, with their probes.
#include "carve/engine/scan_walk.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "carve/engine/run_state.h"
#include "carve/engine/scan_pages.h"
#include "carve/engine/stream_line.h"

namespace scan_walk {

bool ScanPass::atEof(int64_t pos) {
  // Short of the size the input had, the system is not asked again.
  return pos >= openSize_ && pos >= in_.size();
}

int64_t ScanPass::blockAt(int64_t pos) {
  const bool held = pos >= bufferStart() &&
                    (pos + kBlockSize <= bufferEnd() || (in_.loadedToEnd() && pos <= bufferEnd()));
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
    // pass are small and the size doubles up to the buffer's (a block, then
    // two, ...), so that a walk that ends early (a short window, a cancel)
    // reads little it never uses.
    const int64_t readSize =
        std::min(kChunkSize, kBlockSize << std::min<uint64_t>(in_.loads(), 20));
    int64_t want = std::min(readSize, std::max<int64_t>(end_ + 1 - from, 0));
    want = std::max(want, pos + kBlockSize - from);
    // Probes and copies read these bytes from the view rather than again.
    in_.load(from, want);
  }
  return std::clamp<int64_t>(bufferEnd() - pos, 0, kBlockSize);
}

void ScanPass::fillGroups(TriggerGroup& wanted) {
  // The group wanted and the others not yet searched in this load, up to
  // kMaxFused at once, in one pass over every pair the buffer holds whole.
  const uint64_t load = in_.loads();
  TriggerGroup* stale[TriggerSet::kMaxFused] = {&wanted};
  const TriggerSet* sets[TriggerSet::kMaxFused] = {&wanted.set};
  TriggerHit* outs[TriggerSet::kMaxFused] = {wanted.hits.get()};
  size_t found[TriggerSet::kMaxFused] = {};
  int n = 1;
  for (TriggerGroup& group : groups_) {
    if (&group == &wanted || group.load == load || n == TriggerSet::kMaxFused) continue;
    stale[n] = &group;
    sets[n] = &group.set;
    outs[n++] = group.hits.get();
  }
  if (in_.loadedLength() > 1) {
    TriggerSet::findAllOfSets(sets, n, in_.loaded(), static_cast<size_t>(in_.loadedLength() - 1),
                              outs, found);
  }
  for (int k = 0; k < n; ++k) sortHits(*stale[k], found[k]);
}

void ScanPass::sortHits(TriggerGroup& group, size_t n) {
  uint32_t* lists[TriggerGroup::kMaxLists];
  size_t* counts = group.counts;
  std::fill_n(counts, TriggerGroup::kMaxLists, 0);
  for (int j = 0; j < group.lists; ++j) {
    if (group.offsets[j].size() < n) group.offsets[j].resize(n);
    lists[j] = group.offsets[j].data();
  }
  for (size_t i = 0; i < n; ++i) {
    const TriggerHit hit = group.hits[i];
    for (unsigned bits = group.listsOf[hit.triggers]; bits != 0; bits &= bits - 1) {
      const int j = std::countr_zero(bits);
      lists[j][counts[j]++] = hit.at;
    }
  }
  group.load = in_.loads();
}

int64_t ScanPass::findTrigger(Lane& lane, int64_t from, int64_t to) {
  if (lane.group < 0) {
    return from + static_cast<int64_t>(
                      FindTrigger(at(from), static_cast<size_t>(to - from), lane.trigger));
  }
  TriggerGroup& group = groups_[lane.group];
  const uint64_t load = in_.loads();
  if (group.load != load) fillGroups(group);
  const uint32_t* offsets = group.offsets[lane.list].data();
  const size_t count = group.counts[lane.list];
  const int64_t bufferAt = bufferStart();
  const auto low = static_cast<uint32_t>(from - bufferAt);
  const auto high = static_cast<uint32_t>(to - bufferAt);
  // The lane's searches go forward through one load: on from where the last
  // one stopped, unless the buffer was read again or the lane went back.
  size_t c = lane.cursor;
  if (lane.cursorLoad != load || (c > 0 && offsets[c - 1] >= low)) {
    c = static_cast<size_t>(std::lower_bound(offsets, offsets + count, low) - offsets);
    lane.cursorLoad = load;
  }
  while (c < count && offsets[c] < low) ++c;
  lane.cursor = c;
  return c < count && offsets[c] < high ? bufferAt + offsets[c] : to;
}

void ScanPass::walk() {
  // The frontier of every lane, none for a lane that is done. A step changes
  // only the lane that takes it, so only its frontier is looked at again.
  constexpr int64_t kNone = std::numeric_limits<int64_t>::max();
  std::vector<int64_t> frontiers;
  for (const Lane& l : lanes_) frontiers.push_back(l.done ? kNone : l.frontier());
  if (frontiers.empty()) return;
  for (;;) {
    // The first of the lanes furthest behind takes the step.
    const auto next = std::min_element(frontiers.begin(), frontiers.end());
    if (*next == kNone) return;
    Lane& lane = lanes_[static_cast<size_t>(next - frontiers.begin())];
    if (lane.pending) {
      probe(lane);
    } else if (!guide(lane)) {
      scan(lane);
    }
    *next = lane.done ? kNone : lane.frontier();
  }
}

void ScanPass::scan(Lane& lane) {
  if (!enterBlock(lane)) {
    lane.done = true;
    return;
  }
  switch (searchStretch(lane)) {
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

bool ScanPass::enterBlock(Lane& lane) {
  if (lane.next >= end_) return false;
  if (lane.empty) {
    lane.blockStart = lane.next;
    lane.blockEnd = lane.next + blockAt(lane.next);
    lane.empty = false;
  } else if (lane.blockStart < bufferStart() || lane.blockEnd > bufferEnd()) {
    // The buffer moved on for another lane; read this lane's block again
    // (only what the input still holds of it).
    blockAt(lane.blockStart);
    lane.blockEnd = std::min(lane.blockEnd, bufferEnd());
  }
  if (lane.blockEnd <= lane.next) return false;  // the input shrank under us
  if (!host_.Running()) {
    ++lane.next;
    return false;
  }
  return true;
}

ScanPass::Stretch ScanPass::searchStretch(Lane& lane) {
  // Search the current block and the whole blocks after it that the buffer
  // holds, as far as the pump cannot be due at their ends: the steps in
  // between only change blocks.
  int64_t extra = 0;
  if (lane.blockEnd - lane.blockStart == kBlockSize) {
    extra = std::min<int64_t>(pacer_.quietSteps(), (bufferEnd() - lane.blockEnd) / kBlockSize);
  }
  const int64_t regionEnd = lane.blockEnd + extra * kBlockSize;
  // Triggers whose second byte lies in the region; the region's last byte is
  // examined at the block change below.
  const int64_t pairEnd = std::min(end_, regionEnd - 1);
  const int64_t k = lane.next < pairEnd ? nextCandidate(lane, lane.next, pairEnd) : pairEnd;
  const int64_t reached = k < pairEnd ? k + 1 : pairEnd;
  if (reached >= lane.blockEnd) {
    const int64_t blocks = (reached - lane.blockEnd) / kBlockSize + 1;
    pacer_.skip(static_cast<int>(blocks));
    lane.blockStart = lane.blockEnd + (blocks - 1) * kBlockSize;
    lane.blockEnd = lane.blockStart + kBlockSize;
  }
  lane.next = reached;
  if (k < pairEnd) {
    if (!host_.Running()) return Stretch::Done;
    lane.pending = true;
    lane.candidate = k;
    return Stretch::Stop;
  }
  if (lane.next >= end_) return Stretch::Done;  // the window ends inside the region
  // A lane that has passed another one lets it catch up first, so that the
  // buffer is moved on only once all lanes are done with it.
  return othersBehind(lane) ? Stretch::Stop : Stretch::BlockEnd;
}

int64_t ScanPass::nextCandidate(Lane& lane, int64_t from, int64_t to) {
  int64_t k = findTrigger(lane, from, to);
  if (lane.group < 0 || k == to) {
    while (k < to && leftOut(lane, k)) k = findTrigger(lane, k + 1, to);
    return k;
  }
  // A lane of a group goes on through its list, where findTrigger() left
  // its cursor at k.
  const TriggerGroup& group = groups_[lane.group];
  const uint32_t* offsets = group.offsets[lane.list].data();
  const size_t count = group.counts[lane.list];
  const int64_t bufferAt = bufferStart();
  size_t c = lane.cursor;
  while (leftOut(lane, k)) {
    if (++c == count || bufferAt + offsets[c] >= to) {
      k = to;
      break;
    }
    k = bufferAt + offsets[c];
  }
  lane.cursor = c;
  return k;
}

bool ScanPass::leftOut(Lane& lane, int64_t k) {
  // No lane's position goes back, and so neither does the position shown:
  // when the walk reaches k, the position shown is at least the one shown
  // now and at most that of k + 1, so where the offsets from k to k + 1 give
  // the one shown now, a probe that rejects shows nothing. Then only the
  // pacer would have counted it, and a pacer that goes by the clock may
  // count less; one due at every step sees every probe.
  // A page's walk shows nothing and pumps nothing: it passes over every
  // candidate the carver rules out.
  return (notes_ != nullptr || (progress_.shows(k) && pacer_.paced())) && ruledOut(lane, k);
}

bool ScanPass::ruledOut(Lane& lane, int64_t k) {
  // The buffer may have moved on past a candidate at the end of a block.
  if (k < bufferStart() || k >= bufferEnd()) return false;
  return lane.carver.ruledOut(at(k), bufferEnd() - k);
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
  if (const uint8_t pair[2] = {examined, *at(lane.blockStart)}; lane.triggersAt(pair)) {
    lane.pending = true;
    lane.candidate = candidate;
  }
}

const TagIni* ScanPass::tagIni() {
  const TagIni* ini = producer_.run().tagIni();
  return ini != nullptr && host_.TagIniOn() ? ini : nullptr;
}

void ScanPass::probe(Lane& lane) {
  lane.pending = false;
  const int64_t candidate = lane.candidate;
  // What a page's walk accepted here, when the lane was guided to it.
  std::shared_ptr<const Found> noted = std::exchange(lane.noted, nullptr);
  // A probe steps the pacer, and the pump has its turn when it is due. Where
  // it cannot be due, a candidate the carver rules out is rejected without
  // the probe's reads; a pump due at every step sees every probe made.
  const bool quiet = notes_ != nullptr || pacer_.quietSteps() >= probeWeight_;
  if (pacer_.due(probeWeight_)) host_.ProcessEvents();
  if (notes_ != nullptr && lane.alone) {
    // A page's walk lists the candidates of a lane whose verdicts owe to its
    // rejections without probing them: the walk that produces probes them all.
    if (!ruledOut(lane, candidate)) {
      notes_->lanes[(*noted_)[static_cast<size_t>(&lane - lanes_.data())]].push_back(
          {candidate, candidate + 1, false, nullptr});
    }
    return;
  }
  const Probed probed = quiet && ruledOut(lane, candidate)
                            ? Probed(ProbeResult::Reject)
                            : probeOrTakeNoted(lane, candidate, noted);
  if (notes_ != nullptr) {
    note(lane, probed);
    return;
  }
  if (probed.result == ProbeResult::EndPass) {
    lane.done = true;
    return;
  }
  if (probed.result == ProbeResult::Reject) {
    if (lane.progressPerProbe) showProgress();
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

Probed ScanPass::probeOrTakeNoted(Lane& lane, int64_t candidate,
                                  const std::shared_ptr<const Found>& noted) {
  // What a page's walk accepted is what the probe would find again, but for
  // its number, where the probe owes nothing to the streams accepted before
  // it (a lane whose rejections carry over has its candidates listed, none
  // accepted) and to no tag INI file (the pages' walks have none): it is
  // taken, renumbered, rather than probed again, which read and checked the
  // whole stream twice.
  if (noted != nullptr && lane.reach == 0 && tagIni() == nullptr) {
    Found found = *noted;
    if (Renumber(found.line, lane.found + 1)) return Probed(std::move(found));
  }
  return lane.carver.probe(in_, {candidate, lane.found + 1, tagIni()});
}

bool ScanPass::produce(Lane& lane, const Found& found) {
  const Produced produced = producer_.produce(lane.row, lane.found, lane.candidate, found);
  if (produced.status == Produced::Status::Aborted) return false;
  if (produced.written) ++lane.written;
  // The walk goes on past the stream, and never back to its candidate or
  // before it, so that the position shown only grows.
  lane.next = std::max(produced.next, lane.candidate + 1);
  lane.empty = true;
  if (produced.status == Produced::Status::Done && lane.carver.progressPerProbe()) showProgress();
  return true;
}

bool ScanPass::guide(Lane& lane) {
  if (pages_ == nullptr || !lane.paged || lane.next < lane.aloneUntil || lane.next >= end_ ||
      !host_.Running()) {
    return false;
  }
  const int64_t page = pages_->pageOf(lane.next);
  const PageNotes* notes = pages_->await(page, host_);
  if (notes == nullptr) {
    lane.aloneUntil = pages_->pageEnd(page);
    return false;
  }
  const std::vector<PageStop>& stops = notes->lanes[static_cast<size_t>(&lane - lanes_.data())];
  const auto stop = std::lower_bound(stops.begin(), stops.end(), lane.next,
                                     [](const PageStop& s, int64_t at) { return s.at < at; });
  // Where the page's walk searched from before that stop: the page's start,
  // or past its stream before it (and the reach of what it remembers of it).
  const int64_t searched =
      stop == stops.begin() ? pages_->pageStart(page) : std::prev(stop)->resume + lane.reach;
  if (lane.next < searched) {
    lane.aloneUntil = std::min(searched, pages_->pageEnd(page));
    return false;
  }
  lane.empty = true;
  if (stop == stops.end()) {
    lane.next = pages_->pageEnd(page);
  } else {
    lane.pending = true;
    lane.candidate = stop->at;
    lane.next = stop->at + 1;
    lane.noted = stop->found;
  }
  if (pacer_.due()) {
    showProgress();
    host_.ProcessEvents();
  }
  return true;
}

void ScanPass::note(Lane& lane, const Probed& probed) {
  std::vector<PageStop>& stops =
      notes_->lanes[(*noted_)[static_cast<size_t>(&lane - lanes_.data())]];
  if (probed.result == ProbeResult::EndPass) {
    stops.push_back({lane.candidate, lane.candidate, true, nullptr});
    lane.done = true;
    return;
  }
  if (probed.result == ProbeResult::Reject) return;
  // The walk goes on where the producer would take it: past what the input
  // holds of the range copied.
  const CopySpan span = probed.found.copied();
  const int64_t held = std::clamp<int64_t>(openSize_ - span.start, 0, span.length);
  const int64_t resume = std::max(held > 0 ? span.start + held : 0, lane.candidate + 1);
  stops.push_back({lane.candidate, resume, false, std::make_shared<Found>(probed.found)});
  ++lane.found;
  lane.next = resume;
  lane.empty = true;
}

}  // namespace scan_walk
