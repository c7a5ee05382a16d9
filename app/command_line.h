// The window program's own command line: --version and --help, answered
// before any window or display is needed, and the files that fill the input
// field at start. Qt's options (-platform, -style, ...) are taken out by the
// application object before the files are read.
#pragma once

#include <string>
#include <vector>

struct WindowCommandLine {
  bool help = false;
  bool version = false;
  // The value of --lang LANG (or --lang=LANG); empty when not given.
  std::string language;
  bool languageGiven = false;
  std::vector<std::string> files;
  // The first unknown option, as given; empty when there is none.
  std::string unknownOption;
};

// Reads the arguments after the program name. "--" ends the options; a lone
// "-" is a file name. Every argument is looked at, so that --version and
// --help are found behind options that only Qt knows.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args);

// "zandrel X.Y.Z".
std::string WindowVersionText();
// The text printed by --help.
std::string WindowUsageText();

// A file name as the input field holds it: relative names are taken from
// `workingDir`, the directory the program was started in.
std::string AbsoluteInputPath(const std::string& path, const std::string& workingDir);
