// A run of the carvers, as the window and the command line make it: the
// checks before it, then every input through the passes of its formats.
// What a run asks the user goes through a Prompt; what it finds goes to the
// Host (the log, the reports, the boxes of failures).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "carve/engine/run_state.h"
#include "platform/name_list.h"

class Host;
class Sink;
class TagIni;
struct FormatRow;

// The questions of the checks before a run, put to the user as the program
// puts them: the window's boxes, the terminal's lines.
class Prompt {
 public:
  virtual ~Prompt() = default;
  // Says why the run cannot begin; nothing is carved.
  virtual void Refuse(const std::string& reason) = 0;
  // A Yes/No question; true: the run goes on.
  virtual bool Confirm(const std::string& question) = 0;
  // The CRC-32 of `input` as the checksum list shows it ("1A2B3C4D"), or
  // nothing once the failure to read it has been reported.
  virtual std::optional<std::string> InputCrcText(const std::string& input) = 0;
};

enum class RunCheck {
  Go,       // the run begins
  Refused,  // the user, or a rule, said no
  Failed    // an input could not be read, or there is none
};

// The checks of a run that gives streams new tags from the tag INI file
// `ini`: a single input, whose base name and CRC-32 are the ones the file
// names, where it names them; a mismatch is a question to the user.
RunCheck CheckTagIniRun(const NameList& inputs, const TagIni& ini, Prompt& prompt);

// The files `inputs` stand for: each as given, but a folder, which stands
// for the regular files below it (platform/folders.h FilesBelow). With an
// `outputPattern`, the folder its outputs go to is left out, so that a run
// over a tree that holds it finds only what the first found. A folder that
// cannot be read is reported to `sink` and passed over. `env`: the system as
// the folders are seen.
NameList ExpandFolders(const NameList& inputs, Sink& sink,
                       const std::string* outputPattern = nullptr, Env& env = Env::System());

// What a front end asks of a run: its inputs, its formats, its output
// pattern and how it writes.
struct RunRequest {
  const NameList& inputs;
  std::vector<const FormatRow*> formats;
  // The output pattern, asked again as each input begins (the window's
  // field may change during a run).
  std::function<std::string()> pattern;
  RunOptions options;
  // The system as the run's files, folders and names see it.
  Env& env = Env::System();
  // The tag INI file streams get new tags from, when one of the formats
  // reads one (FormatRow::readsTagIni); none: no tag INI. The run reads it
  // before its first input and makes the checks of CheckTagIniRun, whose
  // questions go to `prompt`.
  std::optional<std::string> tagIni = std::nullopt;
  Prompt* prompt = nullptr;
};

// What became of a run: whether its checks let it begin, and the number of
// streams it wrote.
struct RunOutcome {
  RunCheck check = RunCheck::Go;
  int64_t written = 0;
};

// The jobs of a run by default (RunOptions::jobs): one a core.
int DefaultJobs();

// Makes the checks of the request's run, then carves every input with its
// formats, in one read of each, while the host runs; an input the host
// refuses (Host::InputBegins) is passed over, and so is a file this run has
// written. The host is told when the run begins (Sink::RunBegins), after its
// checks. The run keeps its own state (carve/engine/run_state.h) and hands it
// down: no stream replaces an output written earlier in the run (it takes a
// free name beside it) nor any input of it.
RunOutcome CarveInputs(Host& host, const RunRequest& request);
