// The outputs one run has written so far, kept by the run (CarveInputs) so
// that no later stream of the same run replaces one of them: a name the run
// has written already gives the later stream a free name beside it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

class RunOutputs {
 public:
  // True when the run has written `name` (by this spelling, or as the file
  // the name now leads to).
  bool wrote(const std::string& name) const;
  // Records an output written (or, in a dry run, named) under `name`.
  void add(const std::string& name);
  // The first of NameBeside(name, 2), NameBeside(name, 3)... that the run
  // has not written and that names nothing on disk (not even a link that
  // points nowhere), so no input and no file of another run either.
  std::string freeName(const std::string& name) const;

 private:
  std::set<std::string> names_;
  std::set<std::pair<uint64_t, uint64_t>> files_;  // device, inode
};
