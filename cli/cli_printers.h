// The command line's sinks: the log printer writes the log lines, the JSON
// Lines printer an object for every report; each on the output stream,
// after wiping the progress line.
#pragma once

#include <ostream>
#include <string>

#include "carve/engine/sink.h"

class ProgressLine;

class LogPrinter : public Sink {
 public:
  LogPrinter(std::ostream& out, ProgressLine& progress) : out_(out), progress_(progress) {}
  void AddLog(const std::string& line) override;

 private:
  std::ostream& out_;
  ProgressLine& progress_;
};

class JsonPrinter : public Sink {
 public:
  JsonPrinter(std::ostream& out, ProgressLine& progress) : out_(out), progress_(progress) {}
  void AddLog(const std::string& /*line*/) override {}
  void PassReported(const PassReport& report) override;
  void StreamDone(const StreamReport& report) override;
  void InputNotRead(const std::string& input) override;

 private:
  std::ostream& out_;
  ProgressLine& progress_;
};

// A sink that takes nothing (--quiet).
class QuietPrinter : public Sink {
 public:
  void AddLog(const std::string& /*line*/) override {}
};
