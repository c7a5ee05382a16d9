#include "carve/engine/run_state.h"

#include "platform/output_target.h"

bool RunState::refuses(const OutputTarget& target) const {
  // A link that points nowhere is taken too: writing through it would make
  // a file elsewhere.
  return options_.keepExisting && target.exists;
}

std::string RunState::namingInput(const std::string& input) const {
  if (!options_.namesFromWorkingFolder || input.find('/') != std::string::npos) return input;
  return "./" + input;
}
