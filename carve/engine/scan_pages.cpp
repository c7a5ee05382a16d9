// The pages of an input walked ahead of the walk that produces: the threads,
// their host and the notes they hand over.
#include "carve/engine/scan_pages.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "carve/engine/host.h"
#include "carve/engine/run_state.h"
#include "carve/engine/scan_walk.h"

namespace scan_walk {

namespace {

// The host of a page's walk: the settings as the pass began, running until
// the walks stop; it shows, logs and asks nothing.
class PageHost final : public Host {
 public:
  PageHost(const std::vector<int>& settings, const std::atomic<bool>& stop)
      : settings_(settings), stop_(stop) {}

  int Setting(SettingId id) override { return settings_[static_cast<size_t>(id)]; }
  bool TagIniOn() override { return false; }
  bool Running() override { return !stop_.load(std::memory_order_relaxed); }
  void ProcessEvents() override {}
  BoxAnswer Failure(const FailureQuestion& /*question*/) override { return BoxAnswer::Abort; }
  void AddLog(const std::string& /*line*/) override {}

 private:
  const std::vector<int>& settings_;
  const std::atomic<bool>& stop_;
};

}  // namespace

PageWalks::PageWalks(Host& host, const std::vector<PassLane>& lanes,
                     const std::vector<size_t>& walked, const std::string& input, int64_t start,
                     int64_t end, int64_t pageSize, int jobs)
    : lanes_(lanes),
      walked_(walked),
      input_(input),
      start_(start),
      end_(end),
      pageSize_(std::max<int64_t>(pageSize, 1)),
      pages_((end - start + pageSize_ - 1) / pageSize_),
      lead_(2 * jobs + 2) {
  for (size_t id = 0; id < kSettingCount; ++id) {
    settings_.push_back(host.Setting(static_cast<SettingId>(id)));
  }
  notes_.resize(static_cast<size_t>(pages_));
  ready_.resize(static_cast<size_t>(pages_));
  // The threads take no signal: a signal meets the thread that runs the
  // pass, as it does without them (a second SIGINT right after the first
  // is taken as one there).
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  for (int t = 0; t < jobs; ++t) threads_.emplace_back([this] { work(); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

PageWalks::~PageWalks() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  ahead_cv_.notify_all();
  for (std::thread& t : threads_) t.join();
}

int64_t PageWalks::pageEnd(int64_t page) const {
  return std::min(end_, pageStart(page) + pageSize_);
}

bool PageWalks::settingsHold(Host& host) const {
  for (size_t id = 0; id < kSettingCount; ++id) {
    if (host.Setting(static_cast<SettingId>(id)) != settings_[id]) return false;
  }
  return true;
}

const PageNotes* PageWalks::await(int64_t page, Host& host) {
  if (given_up_ || page < 0 || page >= pages_) return nullptr;
  if (!settingsHold(host)) {
    given_up_ = true;
    return nullptr;
  }
  std::unique_lock lock(mutex_);
  if (page > awaited_) {
    awaited_ = page;
    ahead_cv_.notify_all();
  }
  const auto i = static_cast<size_t>(page);
  // While it waits, the signals that stop a run are held and then taken
  // at once, as by a thread at work: two sent together count as one.
  sigset_t held, before;
  sigemptyset(&held);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, sig);
  while (!ready_[i]) {
    pthread_sigmask(SIG_BLOCK, &held, &before);
    walked_cv_.wait_for(lock, std::chrono::milliseconds(25));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (ready_[i]) break;
    lock.unlock();
    host.ProcessEvents();
    const bool running = host.Running();
    lock.lock();
    if (!running) return nullptr;
  }
  return notes_[i].whole ? &notes_[i] : nullptr;
}

void PageWalks::work() {
  for (;;) {
    int64_t page = 0;
    {
      std::unique_lock lock(mutex_);
      ahead_cv_.wait(lock,
                     [this] { return stop_ || next_ >= pages_ || next_ <= awaited_ + lead_; });
      if (stop_ || next_ >= pages_) return;
      page = next_++;
    }
    PageNotes notes = walkPage(page);
    {
      std::lock_guard lock(mutex_);
      notes_[static_cast<size_t>(page)] = std::move(notes);
      ready_[static_cast<size_t>(page)] = 1;
    }
    walked_cv_.notify_all();
  }
}

PageNotes PageWalks::walkPage(int64_t page) {
  PageNotes notes;
  notes.lanes.resize(lanes_.size());
  PageHost host(settings_, stop_);
  try {
    std::vector<std::unique_ptr<Carver>> carvers;
    std::vector<PassLane> lanes;
    for (size_t i : walked_) {
      carvers.push_back(lanes_[i].row->make(host));
      lanes.push_back({lanes_[i].row, carvers.back().get()});
    }
    RunState run = RunState::PassAlone();
    const std::string noPattern;
    ScanPass pass(host, lanes, input_, noPattern, run);
    pass.walkPage(pageStart(page), pageEnd(page), notes, walked_);
  } catch (...) {
    // Whatever befell the page's walk, the walk that produces meets it
    // there itself.
    notes.whole = false;
  }
  return notes;
}

}  // namespace scan_walk
