// Program entry: --version and --help without any display, then the
// application object, its title and translations, the one window with the
// files of the command line in its input field, and the event loop until
// that window closes.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/app_setup.h"
#include "app/command_line.h"
#include "app/frm_main.h"
#include "i18n/language.h"
#include "platform/folders.h"
#include "platform/io_error.h"
#include "platform/pending_output.h"

int main(int argc, char** argv) {
  const WindowCommandLine early = ParseWindowCommandLine({argv + (argc > 0 ? 1 : 0), argv + argc});
  if (early.help || early.version) {
    std::cout << (early.help ? WindowUsageText() : WindowVersionText() + "\n") << std::flush;
    return 0;
  }

  if (early.languageGiven && !IsKnownLanguage(early.language)) {
    std::cerr << "zandrel: --lang takes ja or en, not '" << early.language << "'" << std::endl;
    return 2;
  }

  PrepareOutputSignals();
  QApplication app(argc, argv);
  InitApplication(app, early.language);
  // Read again: the application object has taken its own options out of argv.
  const WindowCommandLine commandLine =
      ParseWindowCommandLine({argv + (argc > 0 ? 1 : 0), argv + argc});
  if (!commandLine.unknownOption.empty()) {
    std::cerr << "zandrel: unknown option " << commandLine.unknownOption
              << "\nTry 'zandrel --help' for more information." << std::endl;
    return 2;
  }

  TfrmMain frmMain;
  std::vector<std::string> files;
  if (!commandLine.files.empty()) {
    // A working directory that is gone leaves the names as they were given.
    std::string workingDir;
    try {
      workingDir = GetCurrentDir(frmMain.env());
    } catch (const IoError&) {
    }
    for (const std::string& file : commandLine.files) {
      files.push_back(workingDir.empty() ? file : AbsoluteInputPath(file, workingDir));
    }
  }
  frmMain.SetInputFiles(files);
  frmMain.show();
  return QApplication::exec();
}
