// The table of formats: one row a format. The command line's commands and
// usage, the window's popup menu, `all`, the fuzz target, the pass tests and
// the manual pages are all made from it; a new format is one carver file and
// one row here. The row (carve/engine/carver.h) gives the kind name, the opening
// line, and the naming of the outputs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/scan_pass.h"

class RunState;

// Every format, the three first ones first.
std::span<const FormatRow> Formats();
// The row whose command word is `command`, or null.
const FormatRow* FindFormat(std::string_view command);
// The rows `all` runs, in table order.
std::vector<const FormatRow*> AllFormatRows();

// One scan pass of one format; returns the number of streams written.
int64_t ExtractFormat(Host& host, const FormatRow& row, const std::string& input,
                      const std::string& pattern);
// The passes of several formats in one read of the input, with the results
// of the passes one after the other.
// `run`: the state of the run the pass belongs to; without it, the pass is a
// run of its own with the default options.
int64_t ExtractFormats(Host& host, const std::vector<const FormatRow*>& rows,
                       const std::string& input, const std::string& pattern);
int64_t ExtractFormats(Host& host, const std::vector<const FormatRow*>& rows,
                       const std::string& input, const std::string& pattern, RunState& run);
