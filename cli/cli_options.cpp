#include "cli/cli_options.h"

#include <charconv>
#include <cstddef>
#include <istream>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/file.h"

namespace {

// A whole argument as a decimal integer (an optional sign, then digits).
std::optional<int> ParseInt(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

class ArgReader {
 public:
  ArgReader(const std::vector<std::string>& args, CliOptions& options, std::string& error)
      : args_(args), o_(options), error_(error) {}

  bool run();

 private:
  bool option(const std::string& arg);
  // The value of an option: the text after "=" when the argument held one,
  // otherwise the next argument, whatever it looks like ("--range -1 50").
  bool value(const std::string& name, std::optional<std::string>& inlineValue, std::string& out);
  bool number(const std::string& name, const std::string& text, int low, int high, int& out);
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }

  const std::vector<std::string>& args_;
  CliOptions& o_;
  std::string& error_;
  size_t i_ = 0;
};

bool ArgReader::run() {
  if (!args_.empty()) {
    const std::string& first = args_[0];
    if (first == "mp3" || first == "ogg" || first == "wav" || first == "all" || first == "crc") {
      o_.command = first == "mp3"   ? CliCommand::Mp3
                   : first == "ogg" ? CliCommand::Ogg
                   : first == "wav" ? CliCommand::Wav
                   : first == "all" ? CliCommand::All
                                    : CliCommand::Crc;
      i_ = 1;
    }
  }
  bool optionsEnded = false;
  for (; i_ < args_.size(); ++i_) {
    const std::string& arg = args_[i_];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (!option(arg)) return false;
      if (o_.help || o_.version) return true;
    } else {
      o_.inputs.push_back(arg);
    }
  }
  if (o_.useTagIni && o_.command != CliCommand::Mp3 && o_.command != CliCommand::All) {
    return fail("--tag-ini is for the mp3 and all commands only");
  }
  if (o_.command == CliCommand::Crc) {
    for (auto [given, name] : {std::pair{o_.json, "--json"},
                               {o_.quiet, "--quiet"},
                               {o_.dryRun, "--dry-run"},
                               {o_.noClobber, "--no-clobber"}}) {
      if (given) return fail(std::string(name) + " is for the carving commands only");
    }
  }
  if (o_.inputs.empty() && o_.filesFrom.empty()) return fail("no input file");
  return true;
}

bool ArgReader::option(const std::string& arg) {
  std::string name = arg;
  std::optional<std::string> inlineValue;
  if (arg.starts_with("--")) {
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
  } else if (arg.starts_with("-o") && arg.size() > 2) {
    name = "-o";
    inlineValue = arg.substr(2);
  }

  auto flag = [&](bool& field, bool setting) {
    if (inlineValue) return fail("option " + name + " takes no value");
    field = setting;
    return true;
  };
  if (name == "-h" || name == "--help") return flag(o_.help, true);
  if (name == "--version") return flag(o_.version, true);
  if (name == "--no-version-break") return flag(o_.breakOnVersion, false);
  if (name == "--no-channel-break") return flag(o_.breakOnChannel, false);
  if (name == "--no-freq-break") return flag(o_.breakOnFreq, false);
  if (name == "--no-crc-break") return flag(o_.breakOnCrc, false);
  if (name == "--no-id3v2") return flag(o_.copyId3v2, false);
  if (name == "--no-id3v1") return flag(o_.copyId3v1, false);
  if (name == "--yes") return flag(o_.yes, true);
  if (name == "--abort-on-error") return flag(o_.abortOnError, true);
  if (name == "--json") return flag(o_.json, true);
  if (name == "-q" || name == "--quiet") return flag(o_.quiet, true);
  if (name == "-n" || name == "--dry-run") return flag(o_.dryRun, true);
  if (name == "--no-clobber") return flag(o_.noClobber, true);
  // The extended detection rules.
  if (name == "--full-id3v2") return flag(o_.fullId3v2, true);
  if (name == "--split-xing") return flag(o_.splitXing, true);
  if (name == "--wav-any-chunk") return flag(o_.wavAnyChunk, true);
  if (name == "--ogg-whole") return flag(o_.oggWhole, true);
  if (name == "--extended") {
    return flag(o_.fullId3v2, true) && flag(o_.splitXing, true) && flag(o_.wavAnyChunk, true) &&
           flag(o_.oggWhole, true);
  }

  std::string text;
  if (name == "-o" || name == "--output") {
    if (!value(name, inlineValue, o_.output)) return false;
    // An empty pattern would silently mean the default one.
    if (o_.output.empty()) return fail("option " + name + " needs a non-empty pattern");
    return true;
  }
  if (name == "--files-from") {
    return value(name, inlineValue, o_.filesFrom) &&
           (!o_.filesFrom.empty() || fail("option --files-from needs a file name"));
  }
  if (name == "--tag-ini") {
    o_.useTagIni = true;
    return value(name, inlineValue, o_.tagIni);
  }
  if (name == "--frames") {
    return value(name, inlineValue, text) && number(name, text, 2, 1000, o_.minFrames);
  }
  if (name == "--range") {
    if (inlineValue) return fail("option --range takes two values: --range LOWER UPPER");
    std::string upperText;
    if (!value(name, inlineValue, text) || !value(name, inlineValue, upperText)) return false;
    o_.limitRange = true;
    return number("--range LOWER", text, 0, 99, o_.lower) &&
           number("--range UPPER", upperText, 1, 100, o_.upper);
  }
  return fail("unknown option " + arg);
}

bool ArgReader::value(const std::string& name, std::optional<std::string>& inlineValue,
                      std::string& out) {
  if (inlineValue) {
    out = *inlineValue;
    inlineValue.reset();
    return true;
  }
  if (i_ + 1 >= args_.size()) return fail("option " + name + " needs a value");
  out = args_[++i_];
  return true;
}

bool ArgReader::number(const std::string& name, const std::string& text, int low, int high,
                       int& out) {
  std::optional<int> n = ParseInt(text);
  if (!n || *n < low || *n > high) {
    return fail(name + " must be a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + " (got \"" + text + "\")");
  }
  out = *n;
  return true;
}

}  // namespace

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
  for (std::string line; std::getline(standardInput, line);) {
    if (line.ends_with('\r')) line.pop_back();
    take(line);
  }
}

std::string CliUsageText() {
  return "Usage: zandrel-cli [mp3|ogg|wav|all|crc] [OPTION]... INPUT...\n"
         "Finds audio streams inside INPUT files and writes each to a file of its own.\n"
         "  mp3 (the default) carves MPEG audio Layer III streams, ogg Ogg Vorbis\n"
         "  streams, wav RIFF WAVE files; all carves all three in one read of each\n"
         "  INPUT; crc prints the CRC-32 of every INPUT.\n"
         "\n"
         "  -o, --output PATTERN  output name pattern (default: the working directory +\n"
         "                        \"output/%3.3d.mp3\"); %d number, %f base name,\n"
         "                        %e extension, %% a percent sign\n"
         "  --range LOWER UPPER   scan LOWER% to UPPER% of each input (0..99, 1..100;\n"
         "                        default: the whole file)\n"
         "  --frames N            minimum consecutive frames (Ogg: pages), 2..1000\n"
         "                        (default 4)\n"
         "  --no-version-break --no-channel-break --no-freq-break --no-crc-break\n"
         "                        let that change not end a stream (each default: it\n"
         "                        ends it)\n"
         "  --no-id3v2 --no-id3v1 do not copy that tag with a stream\n"
         "  --tag-ini FILE        new ID3v1 tags from a tag INI file (mp3 and all)\n"
         "  --yes                 answer Yes to the questions the window would ask\n"
         "  --abort-on-error      answer Abort instead of Ignore when writing a stream\n"
         "                        fails\n"
         "  --json                JSON Lines instead of the log lines: one object for\n"
         "                        the begin and the end of each pass, for every\n"
         "                        stream and for every failure outside a stream\n"
         "  -q, --quiet           no log lines and no progress (messages still go to\n"
         "                        standard error)\n"
         "  --files-from FILE     read more input names from FILE, one a line; - reads\n"
         "                        them from standard input\n"
         "  -n, --dry-run         find, measure and log every stream, write nothing\n"
         "  --no-clobber          fail a stream whose output file exists already or was\n"
         "                        written earlier in the run\n"
         "  --full-id3v2          find ID3v2 tags by their whole size, up to 16 MiB\n"
         "                        before a stream (mp3)\n"
         "  --split-xing          split MP3 streams at encoder (Xing/Info/VBRI) headers\n"
         "  --wav-any-chunk       find WAVE files whose \"fmt \" chunk is not the first\n"
         "  --ogg-whole           keep an Ogg stream from its first to its last page\n"
         "                        whatever its page count; log its real length\n"
         "  --extended            all four of the above\n"
         "  -h, --help            this usage\n"
         "  --version             print the version and exit\n"
         "  --                    the arguments after it are input names\n"
         "\n"
         "Log lines go to standard output, messages to standard error.\n"
         "Exit status: 0 all inputs scanned without failure; 1 an input missing or a\n"
         "failure reported; 2 a usage error or a run refused by a check.\n";
}

std::string CliVersionText() { return "zandrel " ZANDREL_VERSION; }
