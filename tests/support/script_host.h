// A Host for tests: settings in plain fields, everything the engine shows
// recorded, message boxes answered from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "carve/engine/host.h"
#include "platform/io_error.h"

struct ShownBox {
  BoxType type;
  std::string text;
  BoxButtons buttons;
  int helpContext;
  std::string path;  // what the failure concerns
};

class ScriptHost : public Host {
 public:
  bool limitRange = false;
  int lower = 50, upper = 100, minFrames = 4;
  bool sensitizeVersion = true, sensitizeChannel = true, sensitizeFreq = true, sensitizeCrc = true;
  bool copyId3v1 = true, copyId3v2 = true;
  bool tagIniOn = true;
  int runsBegun = 0;
  std::vector<std::string> tagIniProblems;  // "path: problem"
  bool running = true;
  int pumpIntervalMs = 0;
  bool fullId3v2 = false, splitXing = false, wavAnyChunk = false, oggWhole = false;
  bool oggCodecs = false, riffCodecs = false, wavSound = false, mp3Reservoir = false;
  bool images = false;

  std::vector<std::string> log;
  std::vector<int> progress;
  std::vector<int64_t> walked;  // the offsets WalkedTo was told
  std::vector<ShownBox> boxes;
  std::vector<StreamReport> streams;
  std::vector<std::string> unreadableFolders;
  std::deque<BoxAnswer> answers;  // consumed in order; then `defaultAnswer`
  BoxAnswer defaultAnswer = BoxAnswer::Ignore;
  int beeps = 0;
  int pumps = 0;
  std::function<void()> onPump;                   // runs inside ProcessEvents
  std::function<void(const std::string&)> onLog;  // runs after a line is logged

  int Setting(SettingId id) override {
    switch (id) {
      case SettingId::LimitRange:
        return limitRange;
      case SettingId::LowerPercent:
        return lower;
      case SettingId::UpperPercent:
        return upper;
      case SettingId::MinFrames:
        return minFrames;
      case SettingId::BreakOnVersion:
        return sensitizeVersion;
      case SettingId::BreakOnChannel:
        return sensitizeChannel;
      case SettingId::BreakOnFreq:
        return sensitizeFreq;
      case SettingId::BreakOnCrc:
        return sensitizeCrc;
      case SettingId::CopyId3v2:
        return copyId3v2;
      case SettingId::CopyId3v1:
        return copyId3v1;
      case SettingId::FullId3v2:
        return fullId3v2;
      case SettingId::SplitXing:
        return splitXing;
      case SettingId::WavAnyChunk:
        return wavAnyChunk;
      case SettingId::OggWhole:
        return oggWhole;
      case SettingId::OggCodecs:
        return oggCodecs;
      case SettingId::RiffCodecs:
        return riffCodecs;
      case SettingId::WavSound:
        return wavSound;
      case SettingId::Mp3Reservoir:
        return mp3Reservoir;
      case SettingId::Images:
        return images;
      case SettingId::kCount:
        break;
    }
    return 0;
  }
  bool TagIniOn() override { return tagIniOn; }
  bool Running() override { return running; }
  void AddLog(const std::string& line) override {
    log.push_back(line);
    if (onLog) onLog(line);
  }
  void SetProgress(int position) override { progress.push_back(position); }
  void WalkedTo(int64_t offset, int64_t /*start*/, int64_t /*end*/) override {
    walked.push_back(offset);
  }
  void ProcessEvents() override {
    ++pumps;
    if (onPump) onPump();
  }
  BoxAnswer Failure(const FailureQuestion& q) override {
    beeps += q.beep;
    boxes.push_back({q.type, q.text, q.buttons, q.code, q.path});
    if (!answers.empty()) {
      BoxAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    if (q.buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    return defaultAnswer;
  }
  int PumpIntervalMs() override { return pumpIntervalMs; }
  void StreamDone(const StreamReport& report) override { streams.push_back(report); }
  void FolderUnreadable(const IoError& error) override {
    unreadableFolders.push_back(error.path());
  }
  void TagIniUnreadable(const std::string& path, const std::string& problem) override {
    tagIniProblems.push_back(path + ": " + problem);
  }
  void RunBegins() override { ++runsBegun; }
  void InputPlace(const JobPlace& place) override { places.push_back(place); }
  std::vector<JobPlace> places;
};
