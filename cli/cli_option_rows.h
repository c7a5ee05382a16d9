// The rows of the command line's options, and the taking of a number for a
// setting, which the parser shares with them.
#pragma once

#include <string>
#include <vector>

#include "carve/engine/settings.h"
#include "cli/cli_options.h"

// Every option in the order of --help.
const std::vector<CliOptionRow>& AllOptions();

// Takes `text` as the value of the setting `id` of the option `name`,
// within its bounds; false with `error` set when it is no whole number
// inside them.
bool TakeSettingNumber(const std::string& name, const std::string& text, SettingId id,
                       CliOptions& o, std::string& error);
