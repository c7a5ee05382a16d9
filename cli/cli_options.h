// The command line of zandrel-cli: the command word, the options that stand
// in for the window's settings, and the input names.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "carve/engine/settings.h"
#include "platform/env.h"
#include "platform/name_list.h"

struct FormatRow;

// The command words that are no format's: every format in one read, and
// the checksums of the inputs.
inline constexpr std::string_view kAllCommand = "all", kCrcCommand = "crc";

struct CliOptions {
  // The command word: a format's, kAllCommand or kCrcCommand.
  std::string command = "mp3";
  bool commandGiven = false;  // whether the arguments named it
  // The formats `all` runs (--formats); empty: every format it runs.
  std::vector<const FormatRow*> formats;
  // `all` with the classic rules (--classic-rules): it takes every extended
  // rule otherwise.
  bool classicRules = false;
  // Empty: the working directory + "/output/%3.3d.mp3".
  std::string output;
  // The carvers' settings (the table of settings), the defaults unless an
  // option says otherwise.
  SettingValues settings;
  bool useTagIni = false;
  std::string tagIni;
  bool yes = false;
  bool abortOnError = false;
  bool help = false;
  bool version = false;
  // JSON Lines on the output stream instead of the log lines.
  bool json = false;
  // No log lines.
  bool quiet = false;
  // Every member of a bank written as a file of its own too.
  bool members = false;
  bool decode = false;  // a WAVE beside every output FFmpeg decodes
  // The digests of every output (HashKind bits of output/digests.h).
  unsigned hashes = 0;
  // The file of the run's DFXML report; empty: none.
  std::string report;
  // Find and log every stream, write nothing.
  bool dryRun = false;
  // Fail a stream rather than replace a file.
  bool noClobber = false;
  // The threads that walk an input's pages ahead (-j); 0: one a core. The
  // size of the pages (for the tests: tiny pages on small inputs).
  int jobs = 0;
  int64_t pageSize = int64_t{32} << 20;
  // A folder given as input stands for every regular file below it.
  bool recursive = false;
  // A file naming further inputs, one a line; "-" is the standard input.
  std::string filesFrom;
  // The language of --lang; empty: the environment's.
  std::string language;
  std::vector<std::string> inputs;

  // The formats the command carves, in one read of each input: its own,
  // those of --formats or every format `all` runs; none for crc.
  std::vector<const FormatRow*> carvedFormats() const;
};

// One option of the command line. The parser, --help, the manual page and
// the completion are all made from the table of them.
struct CliOptionRow {
  char shortName;             // 0: none
  std::string_view longName;  // "--output"
  // The names of its values ("PATTERN", "LOWER UPPER"); empty for a flag.
  std::string_view values;
  std::string_view help;  // its text in --help
  // Whether it is for the carving commands only (not for crc).
  bool carvingOnly;
  // Takes the option into `options`; false with `error` set on a bad value.
  // Null for the option of a setting, which the parser takes by its row.
  bool (*apply)(CliOptions& options, std::span<const std::string> values, std::string& error);
  const SettingRow* setting = nullptr;
};

std::span<const CliOptionRow> CliOptionRows();

// The command words of zandrel-cli: the formats' in table order, then "all"
// and "crc".
std::vector<std::string> CliCommandWords();

// Reads the arguments after the program name. On a usage error returns false
// with `error` holding a one-line description; with --help returns true and
// `help` set (nothing else is checked then).
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// Reads the input list of --files-from, one name a line (empty lines are
// skipped, nothing else is changed), and appends the names to `inputs`; "-"
// reads it from `standardInput`. Throws IoError when the file cannot be read.
void ReadInputList(const std::string& path, std::istream& standardInput, NameList& inputs,
                   Env& env);

// The usage text printed by --help.
std::string CliUsageText();

// The line printed by --version: "zandrel X.Y.Z".
std::string CliVersionText();
