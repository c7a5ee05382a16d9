// Where what a run finds goes as it happens: its log lines, the reports of
// its passes and streams, its progress. The window shows them; on the
// command line the log printer or the JSON Lines printer writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carve/engine/member.h"
#include "carve/engine/stream_facts.h"
#include "output/digests.h"

class IoError;

// The start, the end, or a failure outside any stream of one scan pass.
struct PassReport {
  enum class Stage { Begin, End, Error };
  Stage stage = Stage::Begin;
  std::string input;
  std::string format;              // the kind name: "mp3", "ogg", "wav"...
  int64_t found = 0, written = 0;  // at the end
  // At the end: the run was cancelled with the walk at byte `offset` (the
  // rest of the input not read).
  bool cancelled = false;
  int64_t offset = -1;
  // A failure: in the source language (the JSON Lines) and as the reader is
  // shown it (the window's table).
  std::string error, errorShown;
};

// What became of one stream a pass found. Numbers a format does not measure
// are negative.
struct StreamReport {
  enum class Status { Written, Failed, DryRun };
  std::string input;
  std::string format;  // the kind name: "mp3", "ogg", "wav"...
  int64_t number = 0;
  int64_t offset = 0, length = 0;  // the stream itself, as in its log line
  // The output's name (empty when the failure came before it was known) and
  // the range of the input copied into it, tags included, with the bytes
  // appended after the copy (a new ID3v1 tag).
  std::string output;
  // The name the pattern gave, when this run had written it already and the
  // output took `output` beside it instead; empty when not renamed.
  std::string renamedFrom;
  int64_t outputOffset = 0, outputLength = 0, appendedBytes = 0;
  StreamFacts facts;       // frames: MPEG frames, Ogg pages, blocks...
  bool truncated = false;  // the stream claims more than its output holds
  // The digests of the output written, as RunOptions::hashes asks.
  Digests digests;
  // A bank's members, each range from the stream's first byte (`offset`).
  std::vector<Member> members;
  Status status = Status::Written;
  // A failure: in the source language (the JSON Lines) and as the reader is
  // shown it (the window's table).
  std::string error, errorShown;
};

// Where an input stands in its run: the `index`th (from 1) of `count`, after
// `bytesBefore` bytes of the inputs before it, `bytes` of its own, of
// `totalBytes` in all (the sizes as the run began).
struct JobPlace {
  int64_t index = 0, count = 0;
  int64_t bytesBefore = 0, bytes = 0, totalBytes = 0;
};

class Sink {
 public:
  virtual ~Sink() = default;
  // A line of the log.
  virtual void AddLog(const std::string& line) = 0;
  // Shows a progress position 0..100 at once.
  virtual void SetProgress(int /*position*/) {}
  // Told with each change of the position: the walk is at byte `offset` of
  // the window [start, end) it goes through.
  virtual void WalkedTo(int64_t /*offset*/, int64_t /*start*/, int64_t /*end*/) {}
  // Every pass reports its start, its end and its failures outside a stream,
  // and every stream it found, besides the log lines. A failure outside a
  // stream ends every pass of a one-read run of several carvers together and
  // is reported once, by the first of them.
  virtual void PassReported(const PassReport& /*report*/) {}
  virtual void StreamDone(const StreamReport& /*report*/) {}
  // A folder given as input, or one below it, could not be read: the files
  // it holds are passed over (ExpandFolders in carve/run.h).
  virtual void FolderUnreadable(const IoError& /*error*/) {}
  // The tag INI file `path` of a run could not be read (`problem`, in the
  // source language): no stream gets a tag from it.
  virtual void TagIniUnreadable(const std::string& /*path*/, const std::string& /*problem*/) {}
  // The run's checks are made and its first input is next.
  virtual void RunBegins() {}
  // The input told next to Host::InputBegins stands at `place` in the run.
  virtual void InputPlace(const JobPlace& /*place*/) {}
  // The run was cancelled before `input` was begun: it is not read.
  virtual void InputNotRead(const std::string& /*input*/) {}
};
