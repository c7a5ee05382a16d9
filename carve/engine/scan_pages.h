// The pages of an input walked ahead of the walk that produces. Threads walk
// one page each with carvers of their own and the settings as the pass began,
// probing the candidates that begin in the page (a probe reads past its end
// as far as it needs), and note per lane each candidate their probe accepted
// or that ended the lane's pass, with where the lane went on. They write
// nothing and tell the host nothing. The walk that produces (scan_walk.cpp)
// takes a page's notes where its lane searches where theirs searched, and
// probes a noted candidate again itself, so that the streams, their numbers,
// names, lines and reports are those of a walk in one piece.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carve/engine/scan_pass.h"
#include "carve/engine/settings.h"

class Host;

namespace scan_walk {

// A candidate a page's walk stopped at: one its probe accepted, the lane
// going on at `resume`, or one that ended the lane's pass. What the probe
// accepted comes with it, numbered in the page.
struct PageStop {
  int64_t at = 0, resume = 0;
  bool endsPass = false;
  std::shared_ptr<const Found> found;
};

// What one page's walk noted: per lane of the pass, its stops in order of
// offset (none for a lane the pages leave out).
struct PageNotes {
  std::vector<std::vector<PageStop>> lanes;
  bool whole = false;  // the walk went through the page: no failure, no stop
};

class PageWalks {
 public:
  // Walks [start, end) of `input` in pages of `pageSize` bytes on `jobs`
  // threads, with the lanes `walked` of `lanes` (their rows: each page makes
  // carvers of its own) and the settings `host` has now.
  PageWalks(Host& host, const std::vector<PassLane>& lanes, const std::vector<size_t>& walked,
            const std::string& input, int64_t start, int64_t end, int64_t pageSize, int jobs);
  ~PageWalks();
  PageWalks(const PageWalks&) = delete;
  PageWalks& operator=(const PageWalks&) = delete;

  int64_t pageSize() const { return pageSize_; }
  // The page `offset` lies in, and where it begins and ends.
  int64_t pageOf(int64_t offset) const { return (offset - start_) / pageSize_; }
  int64_t pageStart(int64_t page) const { return start_ + page * pageSize_; }
  int64_t pageEnd(int64_t page) const;
  // The notes of `page`, waited for while the host runs (its events pumped
  // meanwhile); null when the page's walk failed, the host stopped running,
  // or a setting changed since the walks began: the walk goes on by itself.
  const PageNotes* await(int64_t page, Host& host);

 private:
  void work();
  PageNotes walkPage(int64_t page);
  bool settingsHold(Host& host) const;

  std::vector<PassLane> lanes_;
  std::vector<size_t> walked_;
  std::string input_;
  int64_t start_, end_, pageSize_, pages_;
  int lead_;  // the pages walked at most past the last one awaited
  std::vector<int> settings_;
  std::atomic<bool> stop_{false};
  bool given_up_ = false;  // a setting changed: no notes are taken any more

  std::mutex mutex_;
  std::condition_variable walked_cv_, ahead_cv_;
  int64_t next_ = 0, awaited_ = 0;
  std::vector<PageNotes> notes_;
  std::vector<char> ready_;
  std::vector<std::thread> threads_;
};

}  // namespace scan_walk
