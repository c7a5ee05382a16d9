#include "cli/cli_options.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <istream>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "carve/engine/formats.h"
#include "cli/cli_option_rows.h"
#include "i18n/language.h"
#include "platform/folders.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace {

using Values = std::span<const std::string>;

// The options only `all` takes.
bool AllOnly(std::string_view o) { return o == "--formats" || o == "--classic-rules"; }

// Takes the option of a setting: a switch's value, or a number within its
// bounds.
bool ApplySetting(const SettingRow& row, CliOptions& o, Values values, std::string& error) {
  if (row.values.empty()) {
    o.settings.set(row.id, row.optionSets);
    return true;
  }
  return TakeSettingNumber(std::string(row.option), values[0], row.id, o, error);
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
