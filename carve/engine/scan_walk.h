// The walk of a scan pass, for the files that make it (scan_pass.cpp: the
// pass, its set-up and reports; scan_walk.cpp: the walk of its lanes over
// one read of the input). Producing a stream is carve/engine/producer.h's, the
// progress carve/engine/progress.h's, the pacing platform/pacer.h's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/input_view.h"
#include "carve/engine/producer.h"
#include "carve/engine/progress.h"
#include "carve/engine/scan_pass.h"
#include "platform/input_file.h"
#include "platform/pacer.h"

namespace scan_walk {

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
struct PageNotes;
class PageWalks;

struct Lane {
  explicit Lane(const PassLane& l)
      : row(*l.row),
        carver(*l.carver),
        triggers(carver.triggers()),
        trigger(triggers.empty() ? carver.trigger() : triggers.front()),
        progressPerProbe(carver.progressPerProbe()),
        alone(carver.rejectsFromRejected()),
        reach(carver.acceptedReach()) {
    if (triggers.empty()) triggers.push_back(trigger);
  }

  // The offset the walk examines next, or (pending) its candidate.
  int64_t frontier() const { return pending ? candidate : next; }

  // Whether the pair at `p` is one of the lane's triggers.
  bool triggersAt(const uint8_t* p) const {
    for (const Carver::Trigger& t : triggers) {
      if (p[0] == t.first && (p[1] & t.mask) == t.value) return true;
    }
    return false;
  }

  const FormatRow& row;
  Carver& carver;
  std::vector<Carver::Trigger> triggers;
  const Carver::Trigger trigger;  // the first of them
  const bool progressPerProbe;
  // Whether the walks of pages only list the lane's candidates, and how far
  // after a stream its carver may reject for it (Carver::rejectsFromRejected,
  // acceptedReach).
  const bool alone;
  const int64_t reach;
  bool paged = false;      // the walks of pages walk the lane too
  int64_t aloneUntil = 0;  // the lane walks by itself up to here
  int64_t next = 0;        // the byte the next step examines
  // The current block [blockStart, blockEnd); `empty` when the next step
  // begins a new one at `next`.
  int64_t blockStart = 0, blockEnd = 0;
  bool empty = true;
  bool pending = false;  // a trigger at `candidate` waits for its probe
  // What a page's walk accepted at `candidate`, when the lane was guided
  // there (taken by the probe of `candidate`).
  std::shared_ptr<const Found> noted;
  int64_t candidate = 0;
  bool done = false, aborted = false;
  int64_t found = 0, written = 0;
  // In a walk of several lanes, or of a lane of several triggers: the
  // trigger group it searches through, its list of offsets there, and where
  // it is in that list for the load `cursorLoad` of the buffer.
  int group = -1;
  int list = 0;
  size_t cursor = 0;
  uint64_t cursorLoad = 0;
};

// The triggers of up to eight lanes, searched for in one pass over each load
// of the buffer, the first time one of them searches it: each lane then
// finds its triggers among the offsets of its own list, and the cost of a
// search barely grows with the number of lanes.
struct TriggerGroup {
  static constexpr int kMaxLists = TriggerSet::kMaxTriggers;

  // Takes the lane's triggers into the set and gives the lane its list:
  // that of a lane with the same triggers, else a new one. False, and the
  // group unchanged, when there is no room for them.
  bool take(Lane& lane);

  TriggerSet set;
  // Room for the hits of a whole buffer.
  std::unique_ptr<TriggerHit[]> hits =
      std::make_unique_for_overwrite<TriggerHit[]>(kChunkSize + TriggerSet::kHitSlack);
  // Per list, the bits of the triggers it holds the offsets of; and for the
  // bits of the triggers at one offset, the lists that take it.
  uint8_t listTriggers[kMaxLists] = {};
  int lists = 0;
  uint8_t listsOf[256] = {};
  // Per list, the offsets from the start of the buffer where one of its
  // triggers begins: the first `counts` of them.
  std::vector<uint32_t> offsets[kMaxLists];
  size_t counts[kMaxLists] = {};
  uint64_t load = 0;  // the load of the buffer the offsets are of; 0: none
};

class ScanPass {
 public:
  ScanPass(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
           const std::string& pattern, RunState& run);

  int64_t run();
  // The walk of one page, [from, to), for the walks of pages: notes what the
  // probes of the lanes find in `notes`, at the lanes `indexes` name.
  void walkPage(int64_t from, int64_t to, PageNotes& notes, const std::vector<size_t>& indexes);

 private:
  // The walks of pages for this pass, when its options ask for more than one
  // job and its window holds more than one page; null otherwise.
  std::shared_ptr<PageWalks> startPages();
  // The lanes the walks of pages walk too (those whose rows make carvers),
  // and those walks, begun over [start, end) of `input`.
  std::vector<size_t> pagedLanes() const;
  std::shared_ptr<PageWalks> walksOf(const std::string& input, int64_t start, int64_t end,
                                     const std::vector<size_t>& walked);
  // Begins the walks of the pages of the run's next input, where they pay.
  void walkNextAhead();
  // The window of an input of `size` bytes: [first, second).
  std::pair<int64_t, int64_t> windowOf(int64_t size);
  // Moves the lane, where it searches where a page's walk searched, on to the
  // next candidate that walk stopped at, or to the end of the page; false
  // where it has to walk by itself.
  bool guide(Lane& lane);
  // Notes what a page's probe found.
  void note(Lane& lane, const Probed& probed);
  bool setUp();
  // Walks all lanes, always the one furthest behind, so that streams are
  // met in order of offset.
  void walk();
  // Moves the lane on by one stretch of blocks, to its next candidate that
  // the walk cannot leave out, or to the end of its walk.
  void scan(Lane& lane);
  // The steps of scan(): sets up the lane's block, false when its walk ends
  // there; searches the rest of the block and the whole ones after it that
  // the pump cannot be due in; takes the block change after its last byte.
  enum class Stretch { Stop, Done, BlockEnd };
  bool enterBlock(Lane& lane);
  Stretch searchStretch(Lane& lane);
  void crossBlock(Lane& lane);
  // The step from trigger to trigger: the lane's first candidate in
  // [from, to) that the walk cannot leave out, or `to`.
  int64_t nextCandidate(Lane& lane, int64_t from, int64_t to);
  // Whether the walk may leave out the lane's candidate at `k` altogether:
  // its carver rules it out, so that its probe would do nothing but show the
  // progress, and the progress shows already what it would show then.
  bool leftOut(Lane& lane, int64_t k);
  // Whether the buffer's bytes at `k` show the lane's carver would reject
  // the candidate there.
  bool ruledOut(Lane& lane, int64_t k);
  // Whether another lane's walk is behind `lane`'s.
  bool othersBehind(const Lane& lane) const;
  // Probes the lane's candidate: one its carver rules out where the pump
  // cannot be due is rejected without a look at the input.
  void probe(Lane& lane);
  // Produces the lane's stream `found`; false when the user chose Abort.
  // The probe of `candidate`, or what a page's walk accepted there
  // (`noted`, may be null) where that is sure to be the same.
  Probed probeOrTakeNoted(Lane& lane, int64_t candidate, const std::shared_ptr<const Found>& noted);
  bool produce(Lane& lane, const Found& found);
  // Finds every trigger of the group in the load of the buffer, and those
  // of the other groups not yet searched in it in the same pass.
  void fillGroups(TriggerGroup& wanted);
  // Sorts the group's `n` hits into the offsets of its lists.
  void sortHits(TriggerGroup& group, size_t n);
  // Makes the block at `pos` available in the buffer; returns its fill
  // (0 to kBlockSize: what the input holds there).
  int64_t blockAt(int64_t pos);
  // The buffer, as the view last loaded it: [bufferStart, bufferEnd).
  int64_t bufferStart() const { return in_.loadedStart(); }
  int64_t bufferEnd() const { return in_.loadedStart() + in_.loadedLength(); }
  // The lowest offset in [from, to) where the lane's trigger begins, or
  // `to`; both lie in the buffer, and so does the byte at `to`.
  int64_t findTrigger(Lane& lane, int64_t from, int64_t to);
  const uint8_t* at(int64_t pos) const { return in_.loaded() + (pos - in_.loadedStart()); }
  bool atEof(int64_t pos);
  void showProgress();
  void reportFailure(const IoError& e);
  // The pass's reports to the host beside its log lines: every lane's
  // start, end and failures outside a stream, and each stream.
  void reportPass(const Lane& lane, PassReport::Stage stage, const IoError* error = nullptr);
  void reportPasses(PassReport::Stage stage);
  void reportInputFailure(const IoError& error);
  // The summary lines of a pass the run's cancel stopped at `offset`.
  void logCancelled(int64_t offset);
  // The summary line of every lane not aborted: its streams, or that it found
  // none (with `cancelled`, in the words of a cancelled pass).
  void logSummaries(bool cancelled);
  // Where the walk stands: the position of the lane furthest behind.
  int64_t walkPosition() const;
  int64_t totalWritten() const;
  // The run's tag INI file while the host's option is on, or null.
  const TagIni* tagIni();

  Host& host_;
  const std::string& input_;
  const std::string& pattern_;
  Pacer pacer_;
  const int probeWeight_;  // the pacer's steps of a probe
  std::vector<Lane> lanes_;
  std::vector<TriggerGroup> groups_;

  // The input and the buffer the walk reads it into: the view holds where
  // the buffer is and how many loads it had.
  InputView in_;
  int64_t start_ = 0, end_ = 0;
  int64_t openSize_ = 0;  // the input's size when the pass began
  // Where a cancel stopped the walk, and what the summary says of it; -1
  // and empty for a pass that was not cancelled.
  int64_t cancelledAt_ = -1;
  std::string cancelText_;
  PassProgress progress_;
  Producer producer_;
  PageWalks* pages_ = nullptr;  // the walks of pages the walk takes notes of
  // A page's walk: the notes it takes, and the lane of the pass each lane is.
  PageNotes* notes_ = nullptr;
  const std::vector<size_t>* noted_ = nullptr;
};

}  // namespace scan_walk
