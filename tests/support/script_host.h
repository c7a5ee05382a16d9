// A Host for tests: settings in plain fields, everything the engine shows
// recorded, message boxes answered from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "carve/host.h"

struct ShownBox {
  BoxType type;
  std::string text;
  BoxButtons buttons;
  int helpContext;
};

class ScriptHost : public Host {
 public:
  bool limitRange = false;
  int lower = 50, upper = 100, minFrames = 4;
  bool sensitizeVersion = true, sensitizeChannel = true, sensitizeFreq = true, sensitizeCrc = true;
  bool copyId3v1 = true, copyId3v2 = true;
  const TagIni* tagIni = nullptr;
  bool running = true;
  int pumpIntervalMs = 0;
  bool fullId3v2 = false, splitXing = false, wavAnyChunk = false, oggWhole = false;
  bool dryRun = false;

  std::vector<std::string> log;
  std::vector<int> progress;
  std::vector<ShownBox> boxes;
  std::vector<StreamReport> streams;
  std::deque<BoxAnswer> answers;  // consumed in order; then `defaultAnswer`
  BoxAnswer defaultAnswer = BoxAnswer::Ignore;
  int beeps = 0;
  int pumps = 0;
  std::function<void()> onPump;                   // runs inside ProcessEvents
  std::function<void(const std::string&)> onLog;  // runs after a line is logged

  bool LimitRange() override { return limitRange; }
  int LowerPercent() override { return lower; }
  int UpperPercent() override { return upper; }
  int MinFrames() override { return minFrames; }
  bool SensitizeOn(Sensitize what) override {
    switch (what) {
      case Sensitize::Version:
        return sensitizeVersion;
      case Sensitize::Channel:
        return sensitizeChannel;
      case Sensitize::Freq:
        return sensitizeFreq;
      case Sensitize::Crc:
        return sensitizeCrc;
    }
    return true;
  }
  bool CopyID3v1() override { return copyId3v1; }
  bool CopyID3v2() override { return copyId3v2; }
  const TagIni* ActiveTagIni() override { return tagIni; }
  bool Running() override { return running; }
  void AddLog(const std::string& line) override {
    log.push_back(line);
    if (onLog) onLog(line);
  }
  void SetProgress(int position) override { progress.push_back(position); }
  void ProcessEvents() override {
    ++pumps;
    if (onPump) onPump();
  }
  void Beep() override { ++beeps; }
  BoxAnswer MessageBox(BoxType type, const std::string& text, BoxButtons buttons,
                       int helpContext) override {
    boxes.push_back({type, text, buttons, helpContext});
    if (!answers.empty()) {
      BoxAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    return defaultAnswer;
  }
  int PumpIntervalMs() override { return pumpIntervalMs; }
  bool FullId3v2() override { return fullId3v2; }
  bool SplitXing() override { return splitXing; }
  bool WavAnyChunk() override { return wavAnyChunk; }
  bool OggWhole() override { return oggWhole; }
  bool DryRun() override { return dryRun; }
  void StreamDone(const StreamReport& report) override { streams.push_back(report); }
};
