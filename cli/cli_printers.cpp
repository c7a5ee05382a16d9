#include "cli/cli_printers.h"

#include "cli/cli_host.h"
#include "cli/cli_json.h"

void LogPrinter::AddLog(const std::string& line) {
  progress_.clear();
  // Flushed line by line, so that the log and the messages on the error
  // stream keep their order when both reach one terminal.
  out_ << line << std::endl;
}

void JsonPrinter::PassReported(const PassReport& report) {
  progress_.clear();
  out_ << PassJsonLine(report) << std::endl;
}

void JsonPrinter::StreamDone(const StreamReport& report) {
  progress_.clear();
  out_ << StreamJsonLine(report) << std::endl;
}

void JsonPrinter::InputNotRead(const std::string& input) {
  progress_.clear();
  out_ << NotReadJsonLine(input) << std::endl;
}
