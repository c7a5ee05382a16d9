// What one run keeps while it carves, handed down to every pass and every
// stream of it as a parameter: how it writes (its options), the inputs it
// was given (no output is written over one of them), and the outputs it has
// written so far (no later stream replaces one: it takes a free name), and
// the Env (platform/env.h) every file, folder and name of the run goes
// through, and the tag INI file it gives streams new tags from.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "carve/engine/run_outputs.h"
#include "output/tag_ini.h"
#include "platform/folders.h"
#include "platform/name_list.h"

struct OutputTarget;
namespace scan_walk {
class PageWalks;
}

// How a run writes its outputs.
struct RunOptions {
  // Find and measure every stream, but create no folder and write no file.
  bool dryRun = false;
  // No output ever replaces a file, also one whose name was taken while the
  // stream was being copied (the stream fails instead).
  bool keepExisting = false;
  // An input named without a folder gives `%f` its base name as one in the
  // working folder ("./a.bin"); otherwise as typed.
  bool namesFromWorkingFolder = false;
  // The run is `all`'s: "%o" (the stream's offset) names the classic
  // formats' outputs too, as it always names the newer formats'.
  bool offsetNames = false;
  // The digests every output gets as it is written (HashKind bits).
  unsigned hashes = 0;
  // The threads that walk an input's pages ahead of the one that produces
  // (carve/engine/scan_pages.h); 1: the input is walked in one piece.
  int jobs = 1;
  // The size of those pages; an input no larger is walked in one piece.
  int64_t pageSize = int64_t{32} << 20;
};

class RunState {
 public:
  // `inputs`: the run's inputs, whose files are taken now, before any
  // output is written. `env`: the system as the run's files see it.
  explicit RunState(RunOptions options = {}, const NameList& inputs = {}, Env& env = Env::System())
      : env_(&env), options_(options), inputs_(inputs, env), outputs_(env) {}
  // A pass run on its own, outside any run of several inputs: its streams
  // are named as the pattern names them, a later one over an earlier one of
  // the same name, as a lone pass always did.
  static RunState PassAlone(RunOptions options = {}, Env& env = Env::System()) {
    RunState run(options, {}, env);
    run.keepsOutputs_ = false;
    return run;
  }

  const RunOptions& options() const { return options_; }
  Env& env() const { return *env_; }
  // Whether the run keeps its outputs apart: a stream whose name it wrote
  // already takes a free name beside it.
  bool keepsOutputs() const { return keepsOutputs_; }
  RunOutputs& outputs() { return outputs_; }
  const RunOutputs& outputs() const { return outputs_; }
  // True when the output's name leads to one of the run's inputs.
  bool isInput(const OutputTarget& target) const { return inputs_.contains(target); }
  // The size of the `index`th input as the run began, and of them all.
  int64_t inputSize(size_t index) const { return inputs_.sizeOf(index); }
  int64_t inputsSize() const { return inputs_.totalSize(); }
  // True when the run may not write `target` at all: a name taken while no
  // output may replace a file.
  bool refuses(const OutputTarget& target) const;
  // The input name that `%f` takes its base name from.
  std::string namingInput(const std::string& input) const;
  // The tag INI file the run read before its first input, or null when it
  // reads none.
  const TagIni* tagIni() const { return tagIni_ ? &*tagIni_ : nullptr; }
  void holdTagIni(TagIni ini) { tagIni_ = std::move(ini); }

  // The input the run carves after the one it carves now ("" for none):
  // with more than one job, its pages are walked ahead while this one's
  // streams are written.
  const std::string& nextInput() const { return nextInput_; }
  void setNextInput(std::string input) { nextInput_ = std::move(input); }
  // The walks of the pages of `input`'s window [start, end), begun ahead;
  // taken by its pass when it walks that window, else ended.
  void holdAhead(const std::string& input, int64_t start, int64_t end,
                 std::shared_ptr<scan_walk::PageWalks> walks) {
    ahead_ = {input, start, end, std::move(walks)};
  }
  std::shared_ptr<scan_walk::PageWalks> takeAhead(const std::string& input, int64_t start,
                                                  int64_t end) {
    Ahead ahead = std::move(ahead_);
    ahead_ = {};
    if (ahead.input != input || ahead.start != start || ahead.end != end) return nullptr;
    return std::move(ahead.walks);
  }

 private:
  Env* env_;
  RunOptions options_;
  FileIdentities inputs_;
  RunOutputs outputs_;
  std::optional<TagIni> tagIni_;
  bool keepsOutputs_ = true;
  std::string nextInput_;
  struct Ahead {
    std::string input;
    int64_t start = 0, end = 0;
    std::shared_ptr<scan_walk::PageWalks> walks;
  };
  Ahead ahead_;
};
