#include "cli/cli_options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <istream>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "carve/engine/formats.h"
#include "cli/cli_record.h"
#include "i18n/language.h"
#include "platform/folders.h"
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

// Takes `text` as the value of the setting `id`, within its bounds.
bool Number(const std::string& name, const std::string& text, SettingId id, CliOptions& o,
            std::string& error) {
  const SettingRow& row = SettingOf(id);
  std::optional<int> n = ParseInt(text);
  if (!n || *n < row.lowest || *n > row.highest) {
    error = name + " must be a whole number from " + std::to_string(row.lowest) + " to " +
            std::to_string(row.highest) + " (got \"" + text + "\")";
    return false;
  }
  o.settings.set(id, *n);
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

bool AllOnly(std::string_view o) { return o == "--formats" || o == "--classic-rules"; }

#define FLAG(field, setting) \
  [](CliOptions& o, Values, std::string&) { return (o.field = setting, true); }

// The options that are no setting's, in three groups: the options of the
// settings go after the first (those of the extended rules after the
// second), in the order of the table of settings.
// clang-format off
constexpr CliOptionRow kFirstOptions[] = {
  {'o', "--output", "PATTERN",
   "output name pattern (default: the working directory + \"output/%3.3d.mp3\"); %d number, "
   "%f base name, %e extension, %o the offset in hexadecimal (newer formats, all), %% a percent "
   "sign; a folder (ending in / or existing) takes every output inside as %f_%3.3d.%e", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.output = v[0];
     // An empty pattern would silently mean the default one.
     if (o.output.empty()) error = "option --output needs a non-empty pattern";
     return !o.output.empty();
   }},
  {0, "--range", "LOWER UPPER",
   "scan LOWER% to UPPER% of each input (0..99, 1..100, LOWER below UPPER; default: the whole "
   "file)", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.settings.set(SettingId::LimitRange, 1);
     return Number("--range LOWER", v[0], SettingId::LowerPercent, o, error) &&
            Number("--range UPPER", v[1], SettingId::UpperPercent, o, error);
   }},
};
constexpr CliOptionRow kMiddleOptions[] = {
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
  {0, "--members", "",
   "write every member of a bank (fsb, awb, wwise, pck, xwb) as a file of its own too, in a "
   "folder named after the bank's output without its extension", true, FLAG(members, true)},
  {0, "--decode", "",
   "a 16-bit PCM WAVE of each output written (stream or member) FFmpeg decodes, named after "
   "it with .wav appended (001.mp3.wav), never over a file", true, FLAG(decode, true)},
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
  {'r', "--recursive", "",
   "a folder given as input stands for every regular file below it (links not followed)", true,
   FLAG(recursive, true)},
  {'n', "--dry-run", "", "find, measure and log every stream, write nothing", true,
   FLAG(dryRun, true)},
  {0, "--no-clobber", "",
   "fail a stream whose output file exists already instead of replacing it", true,
   FLAG(noClobber, true)},
  {0, "--lang", "LANG",
   "the language of the log lines and messages: ja or en (default: from LANGUAGE, LC_ALL, "
   "LC_MESSAGES and LANG; the JSON Lines are never translated)", false,
   [](CliOptions& o, Values v, std::string& error) {
     o.language = v[0];
     if (!IsKnownLanguage(o.language)) error = "--lang: '" + o.language + "' is no language (ja, en)";
     return IsKnownLanguage(o.language);
   }},
};
constexpr CliOptionRow kLastOptions[] = {
  {0, "--extended", "", "", false,
   [](CliOptions& o, Values, std::string&) { return (o.settings.takeExtendedRules(), true); }},
  {0, "--classic-rules", "", "all with the classic rules: the extended rules off unless given",
   false, FLAG(classicRules, true)},
  {'h', "--help", "", "this usage", false, FLAG(help, true)},
  {0, "--version", "", "print the version and exit", false, FLAG(version, true)},
};
// clang-format on

#undef FLAG

// The options of the command line in the order of --help.
const std::vector<CliOptionRow>& AllOptions() {
  static const std::vector<CliOptionRow> rows = [] {
    // The texts made here live as long as the rows.
    static std::deque<std::string> texts;
    auto settingRows = [](std::vector<CliOptionRow>& into, bool extended) {
      for (const SettingRow& row : Settings()) {
        if (row.option.empty() || row.extended != extended) continue;
        std::string_view help = row.help;
        if (!row.values.empty()) {
          help = texts.emplace_back(std::string(row.help) + ", " + std::to_string(row.lowest) +
                                    ".." + std::to_string(row.highest) + " (default " +
                                    std::to_string(row.defaultValue) + ")");
        }
        into.push_back({0, row.option, row.values, help, false, nullptr, &row});
      }
    };
    std::vector<CliOptionRow> all(std::begin(kFirstOptions), std::end(kFirstOptions));
    settingRows(all, false);
    all.insert(all.end(), std::begin(kMiddleOptions), std::end(kMiddleOptions));
    all.insert(all.end(), RecordOptionRows().begin(), RecordOptionRows().end());
    const size_t firstRule = all.size();
    settingRows(all, true);
    const size_t rules = all.size() - firstRule;
    all.insert(all.end(), std::begin(kLastOptions), std::end(kLastOptions));
    static const char* const kCounts[] = {"none", "one", "two",   "three", "four",
                                          "five", "six", "seven", "eight", "nine"};
    all[firstRule + rules].help =
        texts.emplace_back(std::string("all ") +
                           (rules < std::size(kCounts) ? kCounts[rules] : std::to_string(rules)) +
                           " of the above (all takes them unless --classic-rules)");
    return all;
  }();
  return rows;
}

// Takes the option of a setting: a switch's value, or a number within its
// bounds.
bool ApplySetting(const SettingRow& row, CliOptions& o, Values values, std::string& error) {
  if (row.values.empty()) {
    o.settings.set(row.id, row.optionSets);
    return true;
  }
  return Number(std::string(row.option), values[0], row.id, o, error);
}

// How many values an option takes: the words of its value names.
size_t ValueCount(const CliOptionRow& row) {
  if (row.values.empty()) return 0;
  return 1 + std::count(row.values.begin(), row.values.end(), ' ');
}

const CliOptionRow* FindLong(std::string_view name) {
  for (const CliOptionRow& row : AllOptions()) {
    if (row.longName == name) return &row;
  }
  return nullptr;
}

const CliOptionRow* FindShort(char name) {
  for (const CliOptionRow& row : AllOptions()) {
    if (row.shortName != 0 && row.shortName == name) return &row;
  }
  return nullptr;
}

bool IsCommandWord(const std::string& word) {
  return word == kAllCommand || word == kCrcCommand || FindFormat(word) != nullptr;
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
  // A word that is no option: the command word or an input.
  bool word(const std::string& arg);
  // The options given that do not go with the command.
  bool checkCombination();
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }

  const std::vector<std::string>& args_;
  CliOptions& o_;
  std::string& error_;
  size_t i_ = 0;
  bool optionsEnded_ = false;
  std::vector<const CliOptionRow*> given_;
};

bool ArgReader::run() {
  for (; i_ < args_.size(); ++i_) {
    const std::string& arg = args_[i_];
    if (optionsEnded_) {
      o_.inputs.push_back(arg);
    } else if (arg == "--") {
      optionsEnded_ = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      if (!(arg[1] == '-' ? longOption(arg) : shortOptions(arg))) return false;
      if (o_.help || o_.version) return true;
    } else if (!word(arg)) {
      return false;
    }
  }
  return checkCombination();
}

bool ArgReader::word(const std::string& arg) {
  if (!IsCommandWord(arg)) {
    o_.inputs.push_back(arg);
  } else if (!o_.inputs.empty()) {
    return fail("the command word '" + arg +
                "' must come before the inputs (after \"--\" it is an input name)");
  } else if (o_.commandGiven) {
    return fail("one command at a time: '" + o_.command + "' is given already, so '" + arg +
                "' cannot be (after \"--\" it is an input name)");
  } else {
    // The command word stands before the inputs, before or after options.
    o_.command = arg;
    o_.commandGiven = true;
  }
  return true;
}

bool ArgReader::checkCombination() {
  const FormatRow* row = FindFormat(o_.command);
  const bool tagIniRead = o_.command == kAllCommand || (row != nullptr && row->readsTagIni);
  if (o_.useTagIni && !tagIniRead) {
    std::string words;
    for (const FormatRow& format : Formats()) {
      if (format.readsTagIni) words += std::string(format.command) + " and ";
    }
    return fail("--tag-ini is for the " + words + "all commands only");
  }
  for (const CliOptionRow* given : given_) {
    if (given->carvingOnly && o_.command == kCrcCommand) {
      return fail(std::string(given->longName) + " is for the carving commands only");
    }
    if (AllOnly(given->longName) && o_.command != kAllCommand) {
      return fail(std::string(given->longName) + " is for the all command only");
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
  if (row.setting != nullptr ? !ApplySetting(*row.setting, o_, values, error)
                             : !row.apply(o_, values, error)) {
    // The message names the option as the user gave it.
    if (error.starts_with("option " + std::string(row.longName)) && name != row.longName) {
      error.replace(7, row.longName.size(), name);
    }
    return fail(error);
  }
  return true;
}

}  // namespace

std::span<const CliOptionRow> CliOptionRows() { return AllOptions(); }

std::vector<const FormatRow*> CliOptions::carvedFormats() const {
  if (command == kCrcCommand) return {};
  if (command != kAllCommand) return {FindFormat(command)};
  return formats.empty() ? AllFormatRows() : formats;
}

std::vector<std::string> CliCommandWords() {
  std::vector<std::string> words;
  for (const FormatRow& row : Formats()) words.emplace_back(row.command);
  words.emplace_back(kAllCommand);
  words.emplace_back(kCrcCommand);
  return words;
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                     std::string& error) {
  options = CliOptions();
  error.clear();
  if (!ArgReader(args, options, error).run()) return false;
  // `all` takes the extended rules unless told otherwise.
  if (options.command == kAllCommand && !options.classicRules) options.settings.takeExtendedRules();
  return true;
}

namespace {

// The lines of a list read as a stream, bounded as a list file is, and read
// in pieces, so that no line longer than the bound is ever held whole.
void ReadListStream(std::istream& stream, const std::string& path,
                    const std::function<void(const std::string&)>& take) {
  std::string line;
  int64_t total = 0;
  char block[4096];
  while (stream.read(block, sizeof block) || stream.gcount() > 0) {
    const std::streamsize n = stream.gcount();
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

}  // namespace

void ReadInputList(const std::string& path, std::istream& standardInput, NameList& inputs,
                   Env& env) {
  auto take = [&](const std::string& line) {
    if (!line.empty()) inputs.push_back(line);
  };
  if (path == "-") {
    ReadListStream(standardInput, path, take);
  } else if (IsPipeOrDevice(path, env)) {
    // A pipe ("<(find …)") or a device has no size to check first: it is
    // read as standard input is.
    std::ifstream stream(path, std::ios::binary);
    if (!stream) ThrowOsError(errno, path);
    ReadListStream(stream, path, take);
  } else {
    ReadTextLines(path, take, env);
  }
  inputs.shrink_to_fit();
}
