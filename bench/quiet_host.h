// The host the benchmarks run the engine with: the command line's settings
// (whole file, four frames, every change ends a stream, tags copied), no log,
// no progress; a box's text goes to standard error and a failure is ignored.
#pragma once

#include <cstdio>
#include <string>

#include "carve/engine/host.h"

class QuietHost : public Host {
 public:
  bool Running() override { return true; }
  void AddLog(const std::string&) override {}
  void SetProgress(int) override {}
  void ProcessEvents() override {}
  BoxAnswer Failure(const FailureQuestion& question) override {
    std::fputs(question.text.c_str(), stderr);
    std::fputc('\n', stderr);
    return question.buttons == BoxButtons::AbortIgnore ? BoxAnswer::Ignore : BoxAnswer::Ok;
  }
  int PumpIntervalMs() override { return 100; }
};
