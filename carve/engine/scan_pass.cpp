// The scan pass: its set-up, its opening and summary lines, its reports and
// the failures of its input. The walk is scan_walk.cpp's.
#include "carve/engine/scan_pass.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "carve/engine/formats.h"
#include "carve/engine/run_state.h"
#include "carve/engine/scan_pages.h"
#include "carve/engine/scan_walk.h"
#include "output/naming.h"
#include "platform/folders.h"
#include "platform/image_input.h"
#include "platform/io_error.h"
#include "platform/translate.h"

namespace scan_walk {

ScanPass::ScanPass(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
                   const std::string& pattern, RunState& run)
    : host_(host),
      input_(input),
      pattern_(pattern),
      pacer_(host.PumpIntervalMs(),
             kStepsPerClockCheck * static_cast<int>(std::max<size_t>(carvers.size(), 1))),
      probeWeight_(static_cast<int>(std::max<size_t>(carvers.size(), 1))),
      progress_(host),
      producer_(host, run, input, pattern, in_, openSize_, pacer_) {
  lanes_.reserve(carvers.size());
  for (const PassLane& c : carvers) lanes_.emplace_back(c);
  // A lone lane of one trigger searches its stretches directly; otherwise
  // the lanes share groups, equal triggers one place.
  if (lanes_.size() < 2 && (lanes_.empty() || lanes_.front().triggers.size() < 2)) return;
  for (Lane& lane : lanes_) {
    size_t g = 0;
    while (g < groups_.size() && !groups_[g].take(lane)) ++g;
    if (g == groups_.size()) groups_.emplace_back().take(lane);
    lane.group = static_cast<int>(g);
  }
}

bool TriggerGroup::take(Lane& lane) {
  int fresh = 0;
  uint8_t bits = 0;
  for (const Carver::Trigger& t : lane.triggers) {
    const uint8_t held = set.bitOf(t);
    fresh += held == 0 ? 1 : 0;
    bits |= held;
  }
  if (set.size() + fresh > TriggerSet::kMaxTriggers) return false;
  // A trigger new to the set is in no list yet: the lane's list is new too.
  int list = 0;
  while (fresh == 0 && list < lists && listTriggers[list] != bits) ++list;
  if (fresh > 0) list = lists;
  if (list == kMaxLists) return false;
  for (const Carver::Trigger& t : lane.triggers) bits |= set.add(t);
  if (list == lists) {
    listTriggers[lists++] = bits;
    for (int found = 0; found < 256; ++found) {
      if ((found & bits) != 0) listsOf[found] |= static_cast<uint8_t>(1u << list);
    }
  }
  lane.list = list;
  return true;
}

int64_t ScanPass::run() {
  if (!FileExists(input_, producer_.env())) {
    // The box shows the name's control bytes escaped, the report the name;
    // the box names no path besides its text.
    auto missing = [](std::string_view name) {
      return Tr("scan", "入力ファイルが存在しません(%1)").arg(name);
    };
    const std::string shown = missing(EscapeControls(input_)).shown();
    // Logged too, but by a classic command alone (mp3, ogg, wav: the first
    // three rows), whose log stays as it always was.
    const auto rows = Formats();
    if (lanes_.size() != 1 || std::none_of(rows.begin(), rows.begin() + 3, [&](const FormatRow& r) {
          return &r == &lanes_[0].row;
        })) {
      host_.AddLog("* " + shown);
    }
    host_.Failure({shown, "", 0, BoxType::Warning, BoxButtons::Ok, true});
    reportInputFailure(IoError(kIoFileNotFound, missing(input_), input_));
    return 0;
  }
  for (const Lane& lane : lanes_) {
    //: %1 the input file's name, %2 a row's opening ("からMP3ファイルを探しますっ！").
    host_.AddLog(Tr("scan", "\"%1\"%2")
                     .arg(EscapeControls(input_))
                     .arg(Tr("formats", lane.row.opening).shown())
                     .shown());
    reportPass(lane, PassReport::Stage::Begin);
  }
  if (!setUp()) {
    reportPasses(PassReport::Stage::End);
    return 0;
  }
  const std::shared_ptr<PageWalks> pages = startPages();
  pages_ = pages.get();
  walkNextAhead();
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
    // A cancel that stopped the walk before the end of its window.
    if (const int64_t at = walkPosition(); !host_.Running() && at < end_) cancelledAt_ = at;
  } catch (const IoError& e) {
    reportFailure(e);
    in_.closeQuietly();
    reportPasses(PassReport::Stage::End);
    return totalWritten();
  }
  if (cancelledAt_ >= 0) {
    logCancelled(cancelledAt_);
    reportPasses(PassReport::Stage::End);
    return totalWritten();
  }
  logSummaries(false);
  reportPasses(PassReport::Stage::End);
  return totalWritten();
}

void ScanPass::logSummaries(bool cancelled) {
  for (const Lane& lane : lanes_) {
    if (lane.aborted) continue;
    if (lane.found > 0) {
      //: %1 the streams found, %2 the kind of stream (mp3, ogg, ...), %3 the streams written.
      host_.AddLog(Tr("scan", "%1個の%2を発見。うち%3個を抽出しました")
                       .arg(lane.found)
                       .arg(lane.row.kind)
                       .arg(lane.written)
                       .shown());
    } else if (cancelled) {
      //: %1 the kind of stream (mp3, ogg, ...), in a pass the user cancelled.
      host_.AddLog(Tr("cancel", "Not Found (T-T)").arg(lane.row.kind).shown());
    } else {
      //: %1 the kind of stream (mp3, ogg, ...): a translation names it, the source does not.
      host_.AddLog(Tr("scan", "Not Found (T-T)").arg(lane.row.kind).shown());
    }
  }
}

void ScanPass::logCancelled(int64_t offset) {
  // The classic lines of each lane, as a pass that ends says them (a lane
  // that found nothing says so up to the cancel where the texts are
  // translated), then where the walk stopped.
  logSummaries(true);
  char hex[24];
  std::snprintf(hex, sizeof hex, "%8.8llX", static_cast<unsigned long long>(offset));
  //: %1 the offset where the walk stopped, in hexadecimal.
  cancelText_ = Tr("scan", "$%1でキャンセルしました。その先は読んでいません").arg(hex).shown();
  host_.AddLog(cancelText_);
}

int64_t ScanPass::walkPosition() const {
  int64_t at = -1;
  for (const Lane& lane : lanes_) {
    if (at < 0 || lane.next < at) at = lane.next;
  }
  return std::max<int64_t>(at, start_);
}

int64_t ScanPass::totalWritten() const {
  int64_t n = 0;
  for (const Lane& lane : lanes_) n += lane.written;
  return n;
}

void ScanPass::reportFailure(const IoError& e) {
  const std::string shown = EscapeControls(e.shown());
  host_.AddLog("* " + shown);
  host_.Failure({shown, e.path(), e.code(), BoxType::Error, BoxButtons::Ok, false});
  reportInputFailure(e);
}

void ScanPass::reportPass(const Lane& lane, PassReport::Stage stage, const IoError* error) {
  PassReport report;
  report.stage = stage;
  report.input = input_;
  report.format = lane.row.kind;
  report.found = lane.found;
  report.written = lane.written;
  if (stage == PassReport::Stage::End && cancelledAt_ >= 0) {
    report.cancelled = true;
    report.offset = cancelledAt_;
    report.errorShown = cancelText_;
  }
  if (error != nullptr) {
    report.error = error->what();
    report.errorShown = error->shown();
  }
  host_.PassReported(report);
}

void ScanPass::reportPasses(PassReport::Stage stage) {
  for (const Lane& lane : lanes_) reportPass(lane, stage);
}

void ScanPass::reportInputFailure(const IoError& error) {
  // One failure of the input ends every lane at once: it is reported once,
  // as its box is shown and its line logged once.
  if (!lanes_.empty()) reportPass(lanes_.front(), PassReport::Stage::Error, &error);
}

std::vector<size_t> ScanPass::pagedLanes() const {
  // A lane whose row makes no carver is walked by the pass alone.
  std::vector<size_t> walked;
  for (size_t i = 0; i < lanes_.size(); ++i) {
    if (lanes_[i].row.make != nullptr) walked.push_back(i);
  }
  return walked;
}

std::shared_ptr<PageWalks> ScanPass::walksOf(const std::string& input, int64_t start, int64_t end,
                                             const std::vector<size_t>& walked) {
  const RunOptions& options = producer_.run().options();
  std::vector<PassLane> lanes;
  for (const Lane& lane : lanes_) lanes.push_back({&lane.row, &lane.carver});
  return std::make_shared<PageWalks>(host_, lanes, walked, input, start, end, options.pageSize,
                                     options.jobs);
}

std::shared_ptr<PageWalks> ScanPass::startPages() {
  RunState& run = producer_.run();
  const RunOptions& options = run.options();
  std::shared_ptr<PageWalks> ahead = run.takeAhead(input_, start_, end_);
  const std::vector<size_t> walked = pagedLanes();
  if (ahead == nullptr &&
      (options.jobs < 2 || end_ - start_ <= options.pageSize || walked.empty())) {
    return nullptr;
  }
  for (size_t i : walked) lanes_[i].paged = true;
  return ahead != nullptr ? ahead : walksOf(input_, start_, end_, walked);
}

void ScanPass::walkNextAhead() {
  RunState& run = producer_.run();
  const RunOptions& options = run.options();
  const std::string next = run.nextInput();
  // Only a regular file is opened ahead of its pass: a FIFO's bytes would
  // be taken from the pass.
  if (options.jobs < 2 || next.empty() || !RegularFileExists(next, producer_.env())) return;
  const std::vector<size_t> walked = pagedLanes();
  int64_t start = 0, end = 0;
  try {
    const int64_t size = OpenInput(next, host_.Images(), producer_.env()).size();
    std::tie(start, end) = windowOf(size);
  } catch (const IoError&) {
    return;  // its pass meets the failure itself
  }
  // An input no larger than a page is walked in one piece: its walk ahead
  // cost more than it saved (the threads' memory, made again for each one:
  // 24 inputs of 8 MiB took 1.4x the time of -j 1).
  if (walked.empty() || end - start <= options.pageSize) return;
  run.holdAhead(next, start, end, walksOf(next, start, end, walked));
}

void ScanPass::walkPage(int64_t from, int64_t to, PageNotes& notes,
                        const std::vector<size_t>& indexes) {
  notes_ = &notes;
  noted_ = &indexes;
  try {
    // The page host holds the settings of the pass: an image is read as the
    // walk that produces reads it.
    in_ = InputView(OpenInput(input_, host_.Images(), producer_.env()), kChunkSize);
    openSize_ = in_.size();
    start_ = from;
    end_ = to;
    for (Lane& lane : lanes_) lane.next = start_;
    progress_.setWindow(start_, end_);
    walk();
    notes.whole = host_.Running();
  } catch (const IoError&) {
    notes.whole = false;
  }
  in_.closeQuietly();
}

std::pair<int64_t, int64_t> ScanPass::windowOf(int64_t size) {
  if (!host_.LimitRange()) return {0, size - 1};
  const int64_t lower = host_.LowerPercent(), upper = host_.UpperPercent(), q = size / 100;
  return {lower * q, upper == 100 ? size : q * upper};
}

bool ScanPass::setUp() {
  try {
    in_ = InputView(OpenInput(input_, host_.Images(), producer_.env()), kChunkSize);
    openSize_ = in_.size();
    std::tie(start_, end_) = windowOf(openSize_);
    for (Lane& lane : lanes_) lane.next = start_;
    progress_.setWindow(start_, end_);
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
  progress_.showAt(next);
}

}  // namespace scan_walk

int64_t RunScanPasses(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
                      const std::string& pattern, RunState& run) {
  scan_walk::ScanPass pass(host, carvers, input, pattern, run);
  return pass.run();
}

int64_t RunScanPasses(Host& host, const std::vector<PassLane>& carvers, const std::string& input,
                      const std::string& pattern) {
  RunState run = RunState::PassAlone();
  return RunScanPasses(host, carvers, input, pattern, run);
}

int64_t RunScanPass(Host& host, const FormatRow& row, Carver& carver, const std::string& input,
                    const std::string& pattern) {
  return RunScanPasses(host, {{&row, &carver}}, input, pattern);
}
