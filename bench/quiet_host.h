// The host the benchmarks run the engine with: the command line's settings
// (whole file, four frames, every change ends a stream, tags copied), no log,
// no progress; a box's text goes to standard error and a failure is ignored.
#pragma once

#include <cstdio>
#include <string>

#include "carve/host.h"

class QuietHost : public Host {
 public:
  bool LimitRange() override { return false; }
  int LowerPercent() override { return 0; }
  int UpperPercent() override { return 100; }
  int MinFrames() override { return 4; }
  bool SensitizeOn(Sensitize) override { return true; }
  bool CopyID3v1() override { return true; }
  bool CopyID3v2() override { return true; }
  const TagIni* ActiveTagIni() override { return nullptr; }
  bool Running() override { return true; }
  void AddLog(const std::string&) override {}
  void SetProgress(int) override {}
  void ProcessEvents() override {}
  void Beep() override {}
  BoxAnswer MessageBox(BoxType, const std::string& text, BoxButtons buttons, int) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == BoxButtons::AbortIgnore ? BoxAnswer::Ignore : BoxAnswer::Ok;
  }
  int PumpIntervalMs() override { return 100; }
};
