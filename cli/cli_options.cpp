#include "cli/cli_options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <optional>
#include <string_view>
#include <utility>

#include "carve/formats.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace {

using Values = std::span<const std::string>;

// A whole argument as a decimal integer (an optional sign, then digits).
std::optional<int> ParseInt(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool Number(const std::string& name, const std::string& text, int low, int high, int& out,
            std::string& error) {
  std::optional<int> n = ParseInt(text);
  if (!n || *n < low || *n > high) {
    error = name + " must be a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + " (got \"" + text + "\")";
    return false;
  }
  out = *n;
  return true;
}

// The formats of --formats: command words of formats, separated by commas.
bool TakeFormats(CliOptions& o, const std::string& list, std::string& error) {
  o.formats.clear();
  size_t from = 0;
  for (;;) {
    const size_t comma = std::min(list.find(',', from), list.size());
    const std::string word = list.substr(from, comma - from);
    const FormatRow* row = FindFormat(word);
    if (row == nullptr) {
      error = "--formats: '" + word + "' is no format (" + [] {
        std::string words;
        for (const FormatRow& r : Formats())
          words += (words.empty() ? "" : ", ") + std::string(r.command);
        return words;
      }() + ")";
      return false;
    }
    if (std::find(o.formats.begin(), o.formats.end(), row) == o.formats.end()) {
      o.formats.push_back(row);
    }
    if (comma == list.size()) return true;
    from = comma + 1;
  }
}

#define FLAG(field, setting) \
  [](CliOptions& o, Values, std::string&) { return (o.field = setting, true); }

// clang-format off
constexpr CliOptionRow kOptions[] = {
  {'o', "--output", "PATTERN",
   "output name pattern (default: the working directory + \"output/%3.3d.mp3\"); %d number, "
   "%f base name, %e extension, %% a percent sign", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.output = v[0];
     // An empty pattern would silently mean the default one.
     if (o.output.empty()) error = "option --output needs a non-empty pattern";
     return !o.output.empty();
   }},
  {0, "--range", "LOWER UPPER",
   "scan LOWER% to UPPER% of each input (0..99, 1..100; default: the whole file)", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.limitRange = true;
     return Number("--range LOWER", v[0], kLowerPercentLowest, kLowerPercentHighest, o.lower,
                   error) &&
            Number("--range UPPER", v[1], kUpperPercentLowest, kUpperPercentHighest, o.upper,
                   error);
   }},
  {0, "--frames", "N",
   "minimum consecutive frames (Ogg: pages), 2..1000 (default 4)", false,
   [](CliOptions& o, Values v, std::string& error) {
     return Number("--frames", v[0], kMinFramesLowest, kMinFramesHighest, o.minFrames, error);
   }},
  {0, "--no-version-break", "", "a change of MPEG version or layer does not end a stream",
   false, FLAG(breakOnVersion, false)},
  {0, "--no-channel-break", "", "a change of channel mode does not end a stream", false,
   FLAG(breakOnChannel, false)},
  {0, "--no-freq-break", "", "a change of sampling frequency does not end a stream", false,
   FLAG(breakOnFreq, false)},
  {0, "--no-crc-break", "", "a change of CRC protection does not end a stream", false,
   FLAG(breakOnCrc, false)},
  {0, "--no-id3v2", "", "do not copy the ID3v2 tag before a stream", false,
   FLAG(copyId3v2, false)},
  {0, "--no-id3v1", "", "do not copy the ID3v1 tag after an MP3 stream", false,
   FLAG(copyId3v1, false)},
  {0, "--tag-ini", "FILE", "new ID3v1 tags from a tag INI file (mp3 and all)", false,
   [](CliOptions& o, Values v, std::string&) {
     o.useTagIni = true;
     o.tagIni = v[0];
     return true;
   }},
  {0, "--formats", "LIST",
   "the formats all runs, their command words separated by commas (default: every one)",
   true, [](CliOptions& o, Values v, std::string& error) { return TakeFormats(o, v[0], error); }},
  {0, "--yes", "", "answer Yes to the questions the window would ask", false, FLAG(yes, true)},
  {0, "--abort-on-error", "", "answer Abort instead of Ignore when writing a stream fails",
   false, FLAG(abortOnError, true)},
  {0, "--json", "",
   "JSON Lines instead of the log lines: one object for the begin and the end of each pass, "
   "for every stream and for every failure outside a stream", true, FLAG(json, true)},
  {'q', "--quiet", "",
   "no log lines and no progress (messages still go to standard error)", true,
   FLAG(quiet, true)},
  {0, "--files-from", "FILE",
   "read more input names from FILE, one a line; - reads them from standard input", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.filesFrom = v[0];
     if (o.filesFrom.empty()) error = "option --files-from needs a file name";
     return !o.filesFrom.empty();
   }},
  {'n', "--dry-run", "", "find, measure and log every stream, write nothing", true,
   FLAG(dryRun, true)},
  {0, "--no-clobber", "",
   "fail a stream whose output file exists already or was written earlier in the run", true,
   FLAG(noClobber, true)},
  {0, "--full-id3v2", "",
   "find ID3v2 tags by their whole size, up to 16 MiB before a stream (mp3)", false,
   FLAG(fullId3v2, true)},
  {0, "--split-xing", "", "split MP3 streams at encoder (Xing/Info/VBRI) headers", false,
   FLAG(splitXing, true)},
  {0, "--wav-any-chunk", "", "find WAVE files whose \"fmt \" chunk is not the first", false,
   FLAG(wavAnyChunk, true)},
  {0, "--ogg-whole", "",
   "keep an Ogg stream from its first to its last page whatever its page count; log its real "
   "length", false, FLAG(oggWhole, true)},
  {0, "--extended", "", "all four of the above", false,
   [](CliOptions& o, Values, std::string&) {
     o.fullId3v2 = o.splitXing = o.wavAnyChunk = o.oggWhole = true;
     return true;
   }},
  {'h', "--help", "", "this usage", false, FLAG(help, true)},
  {0, "--version", "", "print the version and exit", false, FLAG(version, true)},
};
// clang-format on

#undef FLAG

// How many values an option takes: the words of its value names.
size_t ValueCount(const CliOptionRow& row) {
  if (row.values.empty()) return 0;
  return 1 + std::count(row.values.begin(), row.values.end(), ' ');
}

const CliOptionRow* FindLong(std::string_view name) {
  for (const CliOptionRow& row : kOptions) {
    if (row.longName == name) return &row;
  }
  return nullptr;
}

const CliOptionRow* FindShort(char name) {
  for (const CliOptionRow& row : kOptions) {
    if (row.shortName != 0 && row.shortName == name) return &row;
  }
  return nullptr;
}

bool IsCommandWord(const std::string& word) {
  return word == "all" || word == "crc" || FindFormat(word) != nullptr;
}

class ArgReader {
 public:
  ArgReader(const std::vector<std::string>& args, CliOptions& options, std::string& error)
      : args_(args), o_(options), error_(error) {}

  bool run();

 private:
  // A long option, or a group of short ones ("-qn", "-oout/%d.mp3").
  bool longOption(const std::string& arg);
  bool shortOptions(const std::string& arg);
  // Applies `row` as given by the user as `name`; `inlineValue` is the text
  // after "=" or after a short option's letter, when there was any.
  bool apply(const CliOptionRow& row, const std::string& name,
             std::optional<std::string> inlineValue);
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }

  const std::vector<std::string>& args_;
  CliOptions& o_;
  std::string& error_;
  size_t i_ = 0;
  std::vector<const CliOptionRow*> given_;
};

bool ArgReader::run() {
  bool optionsEnded = false, commandGiven = false;
  for (; i_ < args_.size(); ++i_) {
    const std::string& arg = args_[i_];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (!(arg[1] == '-' ? longOption(arg) : shortOptions(arg))) return false;
      if (o_.help || o_.version) return true;
    } else if (!optionsEnded && !commandGiven && o_.inputs.empty() && IsCommandWord(arg)) {
      // The command word stands before the inputs, before or after options.
      o_.command = arg;
      commandGiven = o_.commandGiven = true;
    } else if (!optionsEnded && o_.inputs.empty() && IsCommandWord(arg)) {
      return fail("one command at a time: '" + o_.command + "' is given already, so '" + arg +
                  "' cannot be (after \"--\" it is an input name)");
    } else if (!optionsEnded && !o_.inputs.empty() && IsCommandWord(arg)) {
      return fail("the command word '" + arg +
                  "' must come before the inputs (after \"--\" it is an input name)");
    } else {
      o_.inputs.push_back(arg);
    }
  }
  const bool tagIniRead = o_.command == "all" || (FindFormat(o_.command) != nullptr &&
                                                  FindFormat(o_.command)->readsTagIni);
  if (o_.useTagIni && !tagIniRead) {
    std::string words;
    for (const FormatRow& row : Formats()) {
      if (row.readsTagIni) words += std::string(row.command) + " and ";
    }
    return fail("--tag-ini is for the " + words + "all commands only");
  }
  for (const CliOptionRow* row : given_) {
    if (row->carvingOnly && o_.command == "crc") {
      return fail(std::string(row->longName) + " is for the carving commands only");
    }
    if (row->longName == "--formats" && o_.command != "all") {
      return fail("--formats is for the all command only");
    }
  }
  if (o_.inputs.empty() && o_.filesFrom.empty()) return fail("no input file");
  return true;
}

bool ArgReader::longOption(const std::string& arg) {
  const size_t eq = arg.find('=');
  const std::string name = arg.substr(0, eq);
  const CliOptionRow* row = FindLong(name);
  if (row == nullptr) return fail("unknown option " + arg);
  return apply(*row, name,
               eq == std::string::npos ? std::nullopt : std::optional(arg.substr(eq + 1)));
}

bool ArgReader::shortOptions(const std::string& arg) {
  for (size_t k = 1; k < arg.size(); ++k) {
    const CliOptionRow* row = FindShort(arg[k]);
    if (row == nullptr) {
      return fail("unknown option " + (k == 1 ? arg : "-" + arg.substr(k, 1) + " in " + arg));
    }
    const std::string name = std::string("-") + arg[k];
    if (ValueCount(*row) > 0) {
      // The rest of the group is its value; none: the next argument is.
      return apply(*row, name,
                   k + 1 < arg.size() ? std::optional(arg.substr(k + 1)) : std::nullopt);
    }
    if (!apply(*row, name, std::nullopt)) return false;
    if (o_.help || o_.version) return true;
  }
  return true;
}

bool ArgReader::apply(const CliOptionRow& row, const std::string& name,
                      std::optional<std::string> inlineValue) {
  const size_t count = ValueCount(row);
  std::vector<std::string> values;
  if (count == 0 && inlineValue) return fail("option " + name + " takes no value");
  if (count > 1 && inlineValue) {
    return fail("option " + name + " takes " + std::to_string(count) + " values: " + name + " " +
                std::string(row.values));
  }
  if (inlineValue) values.push_back(*inlineValue);
  // The other values are the next arguments, whatever they look like
  // ("--range -1 50").
  while (values.size() < count) {
    if (i_ + 1 >= args_.size()) return fail("option " + name + " needs a value");
    values.push_back(args_[++i_]);
  }
  given_.push_back(&row);
  std::string error;
  if (!row.apply(o_, values, error)) {
    // The message names the option as the user gave it.
    if (error.starts_with("option " + std::string(row.longName)) && name != row.longName) {
      error.replace(7, row.longName.size(), name);
    }
    return fail(error);
  }
  return true;
}

// Breaks `text` into lines of at most `width` characters after `indent`
// blanks, the first line going on from `first`.
std::string Wrapped(std::string first, std::string_view text, size_t indent, size_t width) {
  std::string out;
  std::string line = std::move(first);
  if (line.size() + 1 > indent) {
    out += line + "\n";
    line.clear();
  }
  line.resize(indent, ' ');
  size_t from = 0;
  bool empty = true;
  while (from < text.size()) {
    size_t blank = text.find(' ', from);
    if (blank == std::string_view::npos) blank = text.size();
    const std::string_view word = text.substr(from, blank - from);
    if (!empty && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.assign(indent, ' ');
      empty = true;
    }
    if (!empty) line += ' ';
    line += word;
    empty = false;
    from = blank + 1;
  }
  return out + line + "\n";
}

}  // namespace

std::span<const CliOptionRow> CliOptionRows() { return kOptions; }

std::vector<std::string> CliCommandWords() {
  std::vector<std::string> words;
  for (const FormatRow& row : Formats()) words.emplace_back(row.command);
  words.emplace_back("all");
  words.emplace_back("crc");
  return words;
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                     std::string& error) {
  options = CliOptions();
  error.clear();
  return ArgReader(args, options, error).run();
}

void ReadInputList(const std::string& path, std::istream& standardInput,
                   std::vector<std::string>& inputs) {
  auto take = [&](const std::string& line) {
    if (!line.empty()) inputs.push_back(line);
  };
  if (path != "-") {
    ReadTextLines(path, take);
    return;
  }
  // Standard input is bounded as a list file is, and read in pieces, so
  // that no line longer than the bound is ever held whole.
  std::string line;
  int64_t total = 0;
  char block[4096];
  while (standardInput.read(block, sizeof block) || standardInput.gcount() > 0) {
    const std::streamsize n = standardInput.gcount();
    total += n;
    if (total > kMaxTextFileSize) throw IoError(kIoOsBase + EFBIG, std::strerror(EFBIG), path);
    for (std::streamsize i = 0; i < n; ++i) {
      if (block[i] != '\n') {
        line += block[i];
        continue;
      }
      if (line.ends_with('\r')) line.pop_back();
      take(line);
      line.clear();
    }
  }
  if (line.ends_with('\r')) line.pop_back();
  take(line);
}

std::string CliUsageText() {
  constexpr size_t kIndent = 24, kWidth = 79;
  std::string words;
  for (const std::string& word : CliCommandWords()) words += (words.empty() ? "" : "|") + word;
  std::string text = "Usage: zandrel-cli [" + words + "] [OPTION]... INPUT...\n" +
                     "Finds audio streams inside INPUT files and writes each to a file of its "
                     "own.\nThe command word may come before or after the options, before the "
                     "inputs.\n\n";
  for (const FormatRow& row : Formats()) {
    text += Wrapped("  " + std::string(row.command), row.usage, 8, kWidth);
  }
  text +=
      Wrapped("  all", "every format in one read of each INPUT (--formats limits it)", 8, kWidth);
  text += Wrapped("  crc", "print the CRC-32 of every INPUT", 8, kWidth);
  text += "\n";
  for (const CliOptionRow& row : kOptions) {
    std::string names = "  ";
    names += row.shortName != 0 ? std::string("-") + row.shortName + ", " : "";
    names += std::string(row.longName);
    if (!row.values.empty()) {
      names += ' ';
      names += row.values;
    }
    text += Wrapped(names, row.help, kIndent, kWidth);
  }
  text += Wrapped("  --", "the arguments after it are input names", kIndent, kWidth);
  text +=
      "\n"
      "Short options may be combined (-qn).\n"
      "Log lines go to standard output, messages to standard error.\n"
      "Exit status: 0 all inputs scanned without failure; 1 an input missing or a\n"
      "failure reported; 2 a usage error or a run refused by a check.\n";
  return text;
}

std::string CliVersionText() { return "zandrel " ZANDREL_VERSION; }
