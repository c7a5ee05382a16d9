// The outputs one run has written so far, kept by the run (CarveInputs) so
// that no later stream of the same run replaces one of them: a name the run
// has written already gives the later stream a free name beside it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/env.h"

class RunOutputs {
 public:
  // Names are looked at through `env`.
  explicit RunOutputs(Env& env = Env::System()) : env_(&env) {}

  // True when the run has written `name` (by this spelling, or as the file
  // the name now leads to).
  bool wrote(const std::string& name) const;
  // Records an output written (or, in a dry run, named) under `name`.
  void add(const std::string& name);
  // The first of NameBeside(name, 2), NameBeside(name, 3)... that the run
  // has not written and that names nothing on disk (not even a link that
  // points nowhere), so no input and no file of another run either. Each
  // name's count is remembered: the next call for it goes on from the name
  // it gave, so that n streams of one name cost n looks, not n * n / 2.
  // A free name whose last part would be longer than a directory entry
  // takes a base cut short to fit (see FitNameBeside).
  std::string freeName(const std::string& name);
  // How many names freeName() has looked at so far.
  int64_t namesTried() const { return tried_; }

 private:
  std::set<std::string> names_;
  std::set<std::pair<uint64_t, uint64_t>> files_;  // device, inode
  std::map<std::string, int64_t> counts_;          // the count each name's search stands at
  int64_t tried_ = 0;
  Env* env_;
};

// NameBeside(name, n), its last part cut before the "_n" where the whole
// would be longer than NAME_MAX bytes; the extension is kept, and a base
// that is valid UTF-8 is not cut inside a character.
std::string FitNameBeside(const std::string& name, int64_t n);
