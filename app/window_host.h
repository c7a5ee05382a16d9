// The window as the engine sees it: the Host of the window's runs. Every
// setting is read from its control at the moment the engine asks; what the
// engine finds goes to the window's log, table of results, progress bar and
// picture of the inputs, and its failures to the window's boxes. Nothing is
// copied: the host holds the window and forwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "carve/engine/host.h"

class TfrmMain;

class WindowHost : public Host {
 public:
  explicit WindowHost(TfrmMain& window) : window_(window) {}

  // The value of the control that holds the setting, read now.
  int Setting(SettingId id) override;
  // Whether the tag INI box is ticked now.
  bool TagIniOn() override;
  // The window's progress shows the run from here, after its checks.
  void RunBegins() override;
  bool Running() override;
  // Appends a line to the log, shows it as the bottom row and repaints; in a
  // run, at the next turn of the event pump.
  void AddLog(const std::string& line) override;
  void SetProgress(int position) override;
  // The run's progress text on the bar and its picture of the inputs.
  bool InputBegins(const std::string& input) override;
  // With several inputs the bar shows the whole run.
  void InputPlace(const JobPlace& place) override;
  // A row "not read" in the table of results.
  void InputNotRead(const std::string& input) override;
  void WalkedTo(int64_t offset, int64_t start, int64_t end) override;
  void PassReported(const PassReport& report) override;
  void StreamDone(const StreamReport& report) override;
  void ProcessEvents() override;
  // The box of a failure: a stream's names the path and offers to give the
  // same answer for the rest of the run; any other is a plain box.
  BoxAnswer Failure(const FailureQuestion& question) override;
  int PumpIntervalMs() override;

  // The run now beginning is All's: the extended rules are on for it unless
  // the window keeps All to the classic rules.
  void RunIsAll(bool every) { allRun_ = every; }
  // The run has ended: an answer kept for the rest of it is forgotten.
  void RunEnds() {
    sameAnswer_.reset();
    allRun_ = false;
    cancelledInput_.clear();
  }

 private:
  TfrmMain& window_;
  std::optional<BoxAnswer> sameAnswer_;  // the answer for the rest of the run
  bool allRun_ = false;
  std::string cancelledInput_;          // the input of the last cancelled pass's row
  int64_t pumpedAtMs_ = INT64_MIN / 2;  // the last turn of the pump in a run
};
