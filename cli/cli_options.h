// The command line of zandrel-cli: the command word, the options that stand
// in for the window's settings, and the input names.
#pragma once

#include <string>
#include <vector>

enum class CliCommand { Mp3, Ogg, Wav, Crc };

struct CliOptions {
  CliCommand command = CliCommand::Mp3;
  // Empty: the working directory + "/output/%3.3d.mp3".
  std::string output;
  bool limitRange = false;
  int lower = 50, upper = 100;
  int minFrames = 4;
  bool breakOnVersion = true, breakOnChannel = true, breakOnFreq = true, breakOnCrc = true;
  bool copyId3v1 = true, copyId3v2 = true;
  bool useTagIni = false;
  std::string tagIni;
  bool yes = false;
  bool abortOnError = false;
  bool help = false;
  // The extended detection rules (--extended turns on all four).
  bool fullId3v2 = false, splitXing = false, wavAnyChunk = false, oggWhole = false;
  std::vector<std::string> inputs;
};

// Reads the arguments after the program name. On a usage error returns false
// with `error` holding a one-line description; with --help returns true and
// `help` set (nothing else is checked then).
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The usage text printed by --help.
std::string CliUsageText();
