#include "cli/cli_run.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "carve/engine/formats.h"
#include "carve/engine/run.h"
#include "carve/engine/scan_pass.h"
#include "cli/cli_host.h"
#include "cli/cli_json.h"
#include "cli/cli_options.h"
#include "cli/cli_record.h"
#include "i18n/language.h"
#include "output/crc.h"
#include "output/dfxml_report.h"
#include "output/naming.h"
#include "output/report_merge.h"
#include "output/tag_ini.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/pending_output.h"
#include "platform/translate.h"

namespace {

// A failure's message, after the file or directory it concerns when known.
std::string Describe(const IoError& e) {
  const std::string shown = EscapeControls(e.shown());
  return e.path().empty() ? shown : EscapeControls(e.path()) + ": " + shown;
}

// Where the catalogs are installed, beside the program's folder; empty
// when the program's own path cannot be read.
std::string InstalledTranslationsDir() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path().string() + "/" ZANDREL_TRANSLATIONS_FROM_BIN;
}

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitRefused = 2;

class Runner : public Prompt {
 public:
  Runner(const CliOptions& options, NameList inputs, std::ostream& out, std::ostream& err,
         const CliTerminal& terminal)
      : o_(options),
        inputs_(std::move(inputs)),
        out_(out),
        err_(err),
        terminal_(terminal),
        progress_(err, terminal.errIsTerminal && !options.quiet && !options.json) {}

  int crc();
  int carve();
  // The report of --report, which the run fills; null: none.
  DfxmlReport* record = nullptr;

 private:
  // The CRC-32 of one file; throws IoError.
  uint32_t fileCrc(const std::string& path);
  // The questions of the checks before a run, on the error stream; the
  // answers from --yes or the terminal.
  void Refuse(const std::string& reason) override;
  bool Confirm(const std::string& question) override;
  std::optional<std::string> InputCrcText(const std::string& input) override;
  // True, after saying so, when `input` is a folder, which is not read as a
  // file.
  bool refuseFolder(const std::string& input);
  // The pattern of the outputs: -o's, or the default one; empty after
  // saying why there is none.
  std::string outputPattern();

  const CliOptions& o_;
  // Those given and those of --files-from.
  NameList inputs_;
  std::ostream& out_;
  std::ostream& err_;
  const CliTerminal& terminal_;
  ProgressLine progress_;
};

uint32_t Runner::fileCrc(const std::string& path) {
  InputFile file = InputFile::OpenRead(path, *terminal_.files);
  uint32_t value = CalcFileCrc(
      file, [&](const std::string& text) { progress_.show(text + "  " + EscapeControls(path)); },
      [] {});
  file.close();
  return value;
}

bool Runner::refuseFolder(const std::string& input) {
  if (!DirectoryExists(input, *terminal_.files)) return false;
  constexpr const char* kFolder = "Is a folder, not a file";
  progress_.clear();
  if (o_.json) out_ << ErrorJsonLine(input, kFolder) << std::endl;
  err_ << "zandrel-cli: " << EscapeControls(input) << ": " << kFolder << std::endl;
  return true;
}

std::string Runner::outputPattern() {
  // A pattern that ends in '/' or names a folder is that folder.
  if (!o_.output.empty() &&
      (o_.output.back() == '/' || DirectoryExists(o_.output, *terminal_.files)))
    return FolderOutputPattern(o_.output);
  if (!o_.output.empty()) return o_.output;
  try {
    return DefaultOutputPattern(GetCurrentDir(*terminal_.files));
  } catch (const IoError&) {
    // Its error would name no file ("File not found").
    err_ << "zandrel-cli: the working directory cannot be determined; give an output pattern "
            "with -o"
         << std::endl;
    return {};
  }
}

int Runner::crc() {
  std::vector<uint32_t> values;
  for (std::string_view name : inputs_) {
    const std::string input(name);
    if (refuseFolder(input)) return kExitFailure;
    try {
      values.push_back(fileCrc(input));
    } catch (const IoError& e) {
      progress_.clear();
      err_ << Describe(e) << std::endl;
      return kExitFailure;
    }
  }
  progress_.clear();
  out_ << CrcListText(values) << std::endl;
  return kExitOk;
}

void Runner::Refuse(const std::string& reason) { err_ << reason << std::endl; }

bool Runner::Confirm(const std::string& question) {
  progress_.clear();
  err_ << question << std::endl;
  if (o_.yes) return true;
  if (terminal_.ask) return terminal_.ask(question);
  err_ << "zandrel-cli: no terminal to answer on; give --yes to go on" << std::endl;
  return false;
}

std::optional<std::string> Runner::InputCrcText(const std::string& input) {
  try {
    const uint32_t value = fileCrc(input);
    progress_.clear();
    return CrcListText({value});
  } catch (const IoError& e) {
    progress_.clear();
    err_ << Describe(e) << std::endl;
    return std::nullopt;
  }
}

int Runner::carve() {
  const std::string pattern = outputPattern();
  if (pattern.empty()) return kExitFailure;
  CliHost host(o_, out_, err_, progress_, terminal_.ask);
  host.setFiles(*terminal_.files);
  host.setRecord(record);
  // With --recursive, every folder among the inputs stands for the files
  // below it but the one the outputs go to.
  NameList expanded;
  if (o_.recursive) expanded = ExpandFolders(inputs_, host, &pattern, *terminal_.files);
  const NameList& runInputs = o_.recursive ? expanded : inputs_;
  bool folderGiven = false;
  host.setInputCheck([&](const std::string& input) {
    if (!refuseFolder(input)) return true;
    folderGiven = true;
    return false;
  });
  // An input typed without a folder names its outputs as one in the working
  // folder. A tag INI file that cannot be read gives an empty reader: no
  // check takes place and no stream gets a new tag, as in the window.
  const RunOptions options{.dryRun = o_.dryRun,
                           .keepExisting = o_.noClobber,
                           .namesFromWorkingFolder = true,
                           .offsetNames = o_.command == kAllCommand,
                           .hashes = o_.hashes,
                           .jobs = o_.jobs > 0 ? o_.jobs : DefaultJobs(),
                           .pageSize = o_.pageSize};
  // Ctrl-C stops the run where it is, which says so, and then ends the
  // program as Ctrl-C does.
  StopOnInterrupt(true);
  const RunOutcome outcome = CarveInputs(
      host, {.inputs = runInputs,
             .formats = o_.carvedFormats(),
             .pattern = [&pattern] { return pattern; },
             .options = options,
             .env = *terminal_.files,
             .tagIni = o_.useTagIni ? std::optional<std::string>(o_.tagIni) : std::nullopt,
             .prompt = this});
  StopOnInterrupt(false);
  if (InterruptAsked()) {
    out_.flush();
    EndAsInterrupted();
  }
  SetSignalNote("");
  progress_.clear();
  if (outcome.check == RunCheck::Refused) return kExitRefused;
  if (outcome.check == RunCheck::Failed) return kExitFailure;
  return host.failureReported() || folderGiven ? kExitFailure : kExitOk;
}

// With no command word given, a first input that looks like one but names
// no file (nor, with --recursive, a folder) is taken for a mistyped command
// ("mp4"). "mp3 -- mp3" scans a file named "mp3".
bool IsMistypedCommand(const CliOptions& options, Env& env) {
  if (options.commandGiven || options.inputs.empty()) return false;
  const std::string& word = options.inputs.front();
  return std::all_of(word.begin(), word.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; }) &&
         !FileExists(word, env) && !(options.recursive && DirectoryExists(word, env));
}

// The problem, in the reader's language, of settings that are each within
// their bounds but together leave nothing to do: a --range whose LOWER is
// not below its UPPER. Empty when there is none.
std::string SettingsProblem(const CliOptions& options) {
  const SettingValues& v = options.settings;
  const int lower = v[SettingId::LowerPercent], upper = v[SettingId::UpperPercent];
  if (v[SettingId::LimitRange] == 0 || lower < upper) return {};
  //: %1 LOWER, %2 UPPER of --range.
  return Tr("cli", "--range の下限(%1)が上限(%2)以上なので、調べる範囲がありません")
      .arg(lower)
      .arg(upper)
      .shown();
}

// The arguments as a shell would take them back: each in single quotes
// where it holds more than letters, digits and "-_./=,%+:@".
std::string CommandLine(const std::vector<std::string>& args) {
  std::string line = "zandrel-cli";
  for (const std::string& arg : args) {
    const bool plain = !arg.empty() && arg.find_first_not_of(
                                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                           "0123456789-_./=,%+:@") == std::string::npos;
    std::string quoted;
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += " " + (plain ? arg : "'" + quoted + "'");
  }
  return line;
}

// Writes the report of a run that ended with `status`; a report that cannot
// be written fails the run.
int WriteReport(const DfxmlReport& record, const std::string& path, int status, std::ostream& err,
                Env& env) {
  if (status == kExitRefused) return status;  // nothing was carved
  try {
    record.write(path, env);
  } catch (const IoError& e) {
    err << "zandrel-cli: cannot write the report: " << Describe(e) << std::endl;
    return kExitFailure;
  }
  return status;
}

// True, after saying why, when the report of --report cannot be written.
bool RefuseReport(const CliOptions& options, std::ostream& err, Env& env) {
  bool usage = false;
  const std::string problem = ReportProblem(options, env, usage);
  if (problem.empty()) return false;
  err << "zandrel-cli: " << problem
      << (usage ? "\nTry 'zandrel-cli --help' for more information." : "") << std::endl;
  return true;
}

// The language of --lang `option`, else of the terminal's environment.
void UseCliLanguage(const std::string& option, const CliTerminal& terminal) {
  UseLanguage(
      ChooseLanguage(
          option, terminal.env ? terminal.env : [](const char*) -> const char* { return nullptr; }),
      InstalledTranslationsDir());
}

bool IsMergeReports(const std::vector<std::string>& args) {
  return !args.empty() && args[0] == "merge-reports";
}

// The whole of the file `path`.
std::string ReadWhole(const std::string& path, Env& env) {
  InputFile file = InputFile::OpenRead(path, env);
  std::string text(static_cast<size_t>(std::max<int64_t>(file.size(), 0)), '\0');
  text.resize(static_cast<size_t>(file.read(text.data(), std::ssize(text))));
  file.close();
  return text;
}

// merge-reports OUT REPORT...: the reports of --report made one, in a new
// file OUT, whole or not at all.
int MergeReportsCommand(const std::vector<std::string>& args, std::ostream& err, Env& env) {
  if (args.size() < 3) {
    err << "zandrel-cli: merge-reports: an output and at least one report are needed"
        << "\nTry 'zandrel-cli --help' for more information." << std::endl;
    return kExitRefused;
  }
  std::vector<std::pair<std::string, ReportParts>> reports;
  try {
    for (size_t i = 2; i < args.size(); ++i) {
      reports.emplace_back(args[i], ReportParts{});
      if (!SplitReport(ReadWhole(args[i], env), reports.back().second)) {
        err << "zandrel-cli: " << EscapeControls(args[i]) << ": not a report of zandrel-cli"
            << std::endl;
        return kExitRefused;
      }
    }
    const std::string text =
        MergeReports(DfxmlReport(ZANDREL_VERSION, CommandLine(args)).text(), reports);
    OutputFile out = OutputFile::CreateOutput(args[1], OutputMode::Keep, env);
    out.write(text.data(), std::ssize(text));
    out.commit();
  } catch (const IoError& e) {
    err << "zandrel-cli: merge-reports: " << Describe(e) << std::endl;
    return kExitFailure;
  }
  return kExitOk;
}

// Runs the command; with --report, writes the report of the run after it.
int RunCommand(Runner& runner, const CliOptions& options, const std::vector<std::string>& args,
               std::ostream& err, Env& env) {
  if (options.command == kCrcCommand) return runner.crc();
  if (options.report.empty()) return runner.carve();
  DfxmlReport record(ZANDREL_VERSION, CommandLine(args));
  runner.record = &record;
  return WriteReport(record, options.report, runner.carve(), err, env);
}

// The command words, as a list for a message.
std::string CommandList() {
  std::string list;
  for (const std::string& word : CliCommandWords()) list += (list.empty() ? "" : ", ") + word;
  return list;
}

}  // namespace

int RunCliCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const CliTerminal& terminal) {
  if (IsMergeReports(args)) {
    UseCliLanguage({}, terminal);
    return MergeReportsCommand(args, err, *terminal.files);
  }
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, options, error)) {
    err << "zandrel-cli: " << error << "\nTry 'zandrel-cli --help' for more information."
        << std::endl;
    return kExitRefused;
  }
  UseCliLanguage(options.language, terminal);
  if (options.help) {
    out << CliUsageText() << std::flush;
    return kExitOk;
  }
  if (options.version) {
    out << CliVersionText() << std::endl;
    return kExitOk;
  }
  if (const std::string problem = SettingsProblem(options); !problem.empty()) {
    err << "zandrel-cli: " << problem << "\nTry 'zandrel-cli --help' for more information."
        << std::endl;
    return kExitRefused;
  }
  if (IsMistypedCommand(options, *terminal.files)) {
    err << "zandrel-cli: '" << options.inputs.front() << "' is neither a command (" << CommandList()
        << ") nor an existing file"
        << "\nTry 'zandrel-cli --help' for more information." << std::endl;
    return kExitRefused;
  }
  // The names are held as one list, those of --files-from after the others.
  NameList inputs(options.inputs);
  if (!options.filesFrom.empty()) {
    std::istringstream none;
    try {
      ReadInputList(options.filesFrom,
                    terminal.standardInput != nullptr ? *terminal.standardInput : none, inputs,
                    *terminal.files);
    } catch (const IoError& e) {
      if (options.json) out << ErrorJsonLine(options.filesFrom, e.what()) << std::endl;
      err << "zandrel-cli: cannot read the input list " << options.filesFrom << ": " << e.shown()
          << std::endl;
      return kExitRefused;
    }
    // An empty list leaves nothing to do, which is no failure.
    if (inputs.empty()) return kExitOk;
  }
  if (RefuseReport(options, err, *terminal.files)) return kExitRefused;
  int status;
  try {
    Runner runner(options, std::move(inputs), out, err, terminal);
    status = RunCommand(runner, options, args, err, *terminal.files);
  } catch (const std::exception& e) {
    // A failure that no pass handles ends the run, as it ends the window's.
    out.flush();
    err << "zandrel-cli: " << ShownMessage(e) << std::endl;
    return kExitFailure;
  }
  out.flush();
  if (!out) {
    err << "zandrel-cli: cannot write the standard output" << std::endl;
    return kExitFailure;
  }
  return status;
}

int RunCli(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  CliTerminal terminal;
  terminal.standardInput = &std::cin;
  terminal.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
  terminal.env = [](const char* name) -> const char* { return std::getenv(name); };
  if (::isatty(STDIN_FILENO) == 1) {
    terminal.ask = [](const std::string& /*question*/) {
      std::cerr << "[y/N] " << std::flush;
      std::string answer;
      if (!std::getline(std::cin, answer)) return false;
      return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    };
  }
  return RunCliCommand(args, std::cout, std::cerr, terminal);
}
