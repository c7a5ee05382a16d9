// What zandrel-cli records of the outputs for examiners: their digests
// (--hash) and the report of the run (--report, output/dfxml_report.h).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/cli_options.h"

class DfxmlReport;
class Env;
struct MemberOutcome;
struct StreamReport;

// The options --hash and --report, which --help lists after --lang.
std::span<const CliOptionRow> RecordOptionRows();

// Why the report of `options` cannot be written, checked before the run: a
// dry run writes nothing to report (`usage` set), or its name is taken (a
// report never replaces a file). Empty when it can.
std::string ReportProblem(const CliOptions& options, Env& env, bool& usage);

// Adds an input to the report, with its size as it is now; with `images`
// (--images), an image's size and every one of its segment files.
void RecordInput(DfxmlReport& report, const std::string& input, bool images, Env& env);
// Adds the output of a stream (or, for one that failed, a note) and those of
// the members written from it.
void RecordStream(DfxmlReport& report, const StreamReport& stream,
                  const std::vector<MemberOutcome>& members);
