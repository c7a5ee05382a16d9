#include "app/command_line.h"

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args) {
  WindowCommandLine result;
  bool optionsEnded = false;
  bool languageNext = false;
  for (const std::string& arg : args) {
    if (languageNext) {
      result.language = arg;
      languageNext = false;
    } else if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      result.files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      result.help = true;
    } else if (arg == "--lang" || arg.starts_with("--lang=")) {
      result.languageGiven = true;
      languageNext = arg == "--lang";
      if (!languageNext) result.language = arg.substr(7);
    } else if (arg == "--version") {
      result.version = true;
    } else if (result.unknownOption.empty()) {
      result.unknownOption = arg;
    }
  }
  return result;
}

std::string WindowVersionText() { return "zandrel " ZANDREL_VERSION; }

std::string WindowUsageText() {
  return "Usage: zandrel [OPTION]... [FILE]...\n"
         "Opens the zandrel window, which finds audio streams inside files and writes\n"
         "each to a file of its own. The FILEs given fill its input field; nothing\n"
         "runs until Execute is pressed.\n"
         "\n"
         "  -h, --help  this usage\n"
         "  --version   print the version and exit\n"
         "  --lang LANG the language of the window: ja or en (default: from LANGUAGE,\n"
         "              LC_ALL, LC_MESSAGES and LANG)\n"
         "  --          the arguments after it are file names\n"
         "\n"
         "Qt's own options, such as -platform NAME or -style NAME, are accepted too.\n"
         "zandrel-cli runs the same search without a window.\n";
}

std::string AbsoluteInputPath(const std::string& path, const std::string& workingDir) {
  if (path.starts_with('/') || workingDir.empty()) return path;
  return workingDir.ends_with('/') ? workingDir + path : workingDir + '/' + path;
}
