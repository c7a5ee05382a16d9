// What a format puts into the scan pass: a carver, which says where the walk
// probes and what a probe finds there, and the row of the table of formats,
// which names the kind, the outputs and the opening line. The pass does the
// rest: the walk, the stream line, the output's name, the copy, the reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "carve/engine/member.h"
#include "carve/engine/stream_facts.h"
#include "carve/engine/trigger_search.h"

class InputView;
class Host;
class TagIni;

// The byte range of one stream to copy.
struct CopySpan {
  int64_t start = 0;
  int64_t length = 0;
};

enum class ProbeResult { Reject, Accept, EndPass };

// Where the walk asks for a probe.
struct Candidate {
  int64_t offset = 0;  // the trigger's first byte
  int64_t number = 0;  // the number the stream gets when the probe accepts it
  // The run's tag INI file while the host's tag INI option is on
  // (Host::TagIniOn), or null.
  const TagIni* tagIni = nullptr;
};

// One stream a probe accepted.
struct Found {
  Found() = default;
  Found(CopySpan s, std::string l, StreamFacts f) : span(s), line(std::move(l)), facts(f) {}

  CopySpan span;     // the stream as measured: its line and its report
  std::string line;  // the stream line
  StreamFacts facts;
  // The tags kept around the stream: bytes before and after `span` that its
  // output gets too (MP3, FLAC: ID3 tags).
  int64_t tagBefore = 0, tagAfter = 0;
  // Written to the output after the copy (MP3: a new ID3v1 tag).
  std::vector<uint8_t> appended;
  // The output's extension when the stream's codec names it ("opus",
  // "wem"); empty: the row's.
  std::string extension;
  // The stream claims more than `span` holds: the input ends inside what
  // it claims, or what follows does not hold. The span then ends where its
  // whole content ends, and the walk goes on there.
  bool truncated = false;
  // The members of a bank, whole inside `span` (each range from its start):
  // those its tables name, none past its end.
  std::vector<Member> members;

  // The range of the input the output gets.
  CopySpan copied() const { return {span.start - tagBefore, span.length + tagBefore + tagAfter}; }
};

// The outcome of a probe, with the stream when it accepts one.
struct Probed {
  Probed(ProbeResult r) : result(r) {}  // Reject or EndPass
  Probed(Found f) : result(ProbeResult::Accept), found(std::move(f)) {}

  ProbeResult result;
  Found found;
};

class Carver {
 public:
  // The trigger: examined byte == first and (next byte & mask) == value.
  using Trigger = TwoByteTrigger;

  virtual ~Carver() = default;
  virtual Trigger trigger() const = 0;
  // Every trigger the walk searches for: trigger() first, then any other
  // its format begins with (at most TriggerSet::kMaxTriggers in all). A
  // candidate is the first byte of whichever of them matched: probe() and
  // ruledOut() tell them apart by the bytes.
  virtual std::vector<Trigger> triggers() const { return {trigger()}; }
  // MP3 and Ogg show progress after a rejected probe and after a stream is
  // written; WAVE shows it once when the walk ends.
  virtual bool progressPerProbe() const { return true; }

  // Probes the candidate, reading the input by offset. Every setting is
  // asked of the host here, at the moment it counts: nothing is processed
  // between an accepting probe and the stream's output. The walk goes on
  // after the range its output gets, and never before the byte after the
  // candidate: a stream that ends before its candidate does not take the
  // walk back.
  virtual Probed probe(InputView& input, const Candidate& candidate) = 0;
  // True when the candidate's first `avail` bytes, as the walk's buffer
  // holds them, show that probe() would reject it and change nothing else
  // on the way (not even what a later probe remembers); false when they do
  // not tell. Most triggers in data that is not of the format fail at their
  // first header or the one after it: those the walk passes over without a
  // probe.
  virtual bool ruledOut(const uint8_t* /*bytes*/, int64_t /*avail*/) { return false; }

  // What a probe's verdict may owe to the probes before it, for a walk that
  // probes the pages of an input apart (carve/engine/scan_pages.h). A carver
  // whose probe rejects a candidate for what an earlier probe that rejected
  // saw says so: the pages' walks only list its candidates that ruledOut()
  // does not rule out, and the walk that produces probes every one of them.
  virtual bool rejectsFromRejected() const { return false; }
  // A candidate at k may be rejected for a stream accepted before it only
  // where that stream ended after k - acceptedReach().
  virtual int64_t acceptedReach() const { return 0; }
};

// The name of the output of stream `number`: from the pattern, the base
// name of the input and the row's extension.
using OutputNamer = std::string (*)(const std::string& pattern, const std::string& baseName,
                                    int64_t number, const std::string& extension);

// One row of the table of formats (carve/engine/formats.h): one format.
struct FormatRow {
  std::string_view command;    // the command word of zandrel-cli
  std::string_view kind;       // the kind name: summary lines, reports
  std::string_view extension;  // of the output names
  std::string_view opening;    // after the quoted input name in the opening line
  OutputNamer name;
  // The window's popup-menu entry and its object name; empty: none (the MP3
  // pass runs from the Execute button).
  std::string_view menuText, menuObject;
  bool readsTagIni;        // whether the run reads the tag INI file
  bool inAll;              // whether `all` runs it
  std::string_view usage;  // what the command carves, for --help and the manual
  std::unique_ptr<Carver> (*make)(Host& host);
};
