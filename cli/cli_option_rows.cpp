// The table of the command line's options (cli_options.h CliOptionRow):
// those that are no setting's, and a row made for every setting of the
// table of settings, in the order of --help.
#include "cli/cli_option_rows.h"

#include <charconv>
#include <deque>
#include <iterator>
#include <optional>
#include <string_view>

#include "carve/engine/formats.h"
#include "cli/cli_record.h"
#include "i18n/language.h"

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

}  // namespace

bool TakeSettingNumber(const std::string& name, const std::string& text, SettingId id,
                       CliOptions& o, std::string& error) {
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

namespace {

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
     return TakeSettingNumber("--range LOWER", v[0], SettingId::LowerPercent, o, error) &&
            TakeSettingNumber("--range UPPER", v[1], SettingId::UpperPercent, o, error);
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
  {'j', "--jobs", "N",
   "walk each input with N threads, the results those of one (default: one a core)", true,
   [](CliOptions& o, Values v, std::string& error) {
     const std::optional<int> n = ParseInt(v[0]);
     if (!n || *n < 1 || *n > 1024) error = "--jobs must be a whole number from 1 to 1024";
     o.jobs = n.value_or(0);
     return error.empty();
   }},
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
  {0, "--page-size", "BYTES", "the size of the pages of --jobs (default: 32 MiB)", true,
   [](CliOptions& o, Values v, std::string& error) {
     const std::optional<int> n = ParseInt(v[0]);
     if (!n || *n < 1) error = "--page-size must be a whole number of bytes";
     if (n && *n >= 1) o.pageSize = *n;
     return error.empty();
   }},
  {'h', "--help", "", "this usage", false, FLAG(help, true)},
  {0, "--version", "", "print the version and exit", false, FLAG(version, true)},
};
// clang-format on

#undef FLAG

}  // namespace

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
