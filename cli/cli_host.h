// The engine's host on the command line: settings from the options, log
// lines on the output stream, message boxes and progress on the error stream.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "carve/engine/host.h"
#include "carve/engine/progress_meter.h"
#include "cli/cli_options.h"
#include "export/member_files.h"

struct WavExport;
class DfxmlReport;

// Writes a transient progress text on a terminal line and wipes it before
// any other text goes to the same terminal. Writes nothing when `enabled` is
// false (the error stream is no terminal).
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  void show(const std::string& text);
  void clear();
  bool enabled() const { return enabled_; }

 private:
  std::ostream& err_;
  bool enabled_;
  size_t shownLength_ = 0;
};

class CliHost : public Host {
 public:
  // `ask` answers a Yes/No question (true: Yes); it is only consulted when
  // the options do not answer it already.
  CliHost(const CliOptions& options, std::ostream& out, std::ostream& err, ProgressLine& progress,
          std::function<bool(const std::string&)> ask, SteadyClock clock = SteadyMilliseconds);

  // True once an error or warning box has been shown, or a folder could
  // not be read.
  bool failureReported() const { return failureReported_; }
  // Asked of every input before its passes (false passes it over); the
  // input is then the one shown with the progress.
  // The system the members of banks are written through (--members).
  void setFiles(Env& files) { files_ = &files; }
  // The report (--report) every input and output is added to; null: none.
  void setRecord(DfxmlReport* record) { record_ = record; }
  void setInputCheck(std::function<bool(const std::string&)> check) {
    inputCheck_ = std::move(check);
  }

  int Setting(SettingId id) override { return options_.settings[id]; }
  // False once Ctrl-C has asked the run to stop.
  bool Running() override;
  bool InputBegins(const std::string& input) override;
  void InputPlace(const JobPlace& place) override { meter_.placeInput(place); }
  void InputNotRead(const std::string& input) override { printer_->InputNotRead(input); }

  void AddLog(const std::string& line) override;
  // The progress line: percent, rate, elapsed and remaining time, input;
  // redrawn at most every PumpIntervalMs().
  void WalkedTo(int64_t offset, int64_t start, int64_t end) override;
  void ProcessEvents() override {}
  // The text on the error stream, after the path of the failure when it
  // names one; no beep.
  BoxAnswer Failure(const FailureQuestion& question) override;
  // Progress is redrawn at most this often; there are no events to pump.
  int PumpIntervalMs() override { return 100; }

  void PassReported(const PassReport& report) override;
  // The stream's report, then with --members its members', after writing
  // them; with --decode each written one decoded into a WAVE beside it
  // first, and in the log a line for the WAVE or why none was written (no
  // failure of the run: a codec FFmpeg does not decode is no fault).
  void StreamDone(const StreamReport& report) override;
  // A JSON Lines error record (with --json) and the failure on the error
  // stream.
  void FolderUnreadable(const IoError& error) override;
  // A warning on the error stream: the run goes on without tags from it.
  void TagIniUnreadable(const std::string& path, const std::string& problem) override;
  // The progress figures count from here, after the checks' questions; on
  // a terminal, Ctrl-C's end of the program is said on the progress line.
  void RunBegins() override;

 private:
  // Writes the members of the bank `report` wrote (and decodes them), and
  // reports each.
  void MembersDone(const StreamReport& report, const std::vector<MemberOutcome>& members);
  // The log line of a decoding (none with --json or --quiet).
  void DecodeLogged(const std::string& output, const WavExport& decoded);

  const CliOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  ProgressLine& progress_;
  std::function<bool(const std::string&)> ask_;
  bool failureReported_ = false;
  ProgressMeter meter_;
  int64_t shownAtMs_ = -1;
  std::function<bool(const std::string&)> inputCheck_;
  Env* files_ = &Env::System();
  DfxmlReport* record_ = nullptr;
  // The log printer, the JSON Lines printer, or none (--quiet).
  std::unique_ptr<Sink> printer_;
};
