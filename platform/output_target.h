// A name an output is to be written under, as it stands before the output.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

// Taken with one look at the name, and one more through a link, and shared
// by the checks before the output and its creation. The look is one Look of
// `env`.
struct OutputTarget {
  static OutputTarget Look(const std::string& path, Env& env = Env::System());

  std::string path;
  bool exists = false;  // the name is taken (by a file, a link, anything)
  bool link = false;    // by a symbolic link
  // The failure of the look, other than finding no entry; for a link, that
  // of looking through it (ENOENT: a dangling link). 0 when it worked.
  int err = 0;
  // The file the name leads to, when it exists and err is 0.
  uint32_t mode = 0;
  uint64_t device = 0, inode = 0;
};
