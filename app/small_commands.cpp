// The commands that are not runs: the input choosers, clearing the log,
// opening the output folder and filling the readme tab.
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextCursor>
#include <vector>

#include "app/frm_main.h"
#include "app/log_model.h"
#include "app/text_conv.h"
#include "carve/engine/scan_pass.h"
#include "output/naming.h"
#include "platform/folders.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/text_file.h"

void TfrmMain::SpeedButton1Click() {
  Guarded([this] {
    FileDialogRequest request;
    request.allowMultiple = true;
    request.mustExist = true;
    request.filter = "All files (*.*)|*.*";
    request.filterIndex = 1;
    auto chosen = FSeam->openFiles(this, request);
    if (chosen) SetInputFiles(*chosen);
  });
}

void TfrmMain::btnInputFolderClick() {
  Guarded([this] {
    auto chosen = FSeam->chooseFolder(this, std::string());
    if (chosen) SetInputFilesAndFolders({*chosen});
  });
}

void TfrmMain::N1Click() {
  Guarded([this] { FLog->clear(); });
}

void TfrmMain::CopyLogClick() {
  Guarded([this] { FSeam->copyText(FLog->text()); });
}

// The log goes into the file whole or not at all: a failure leaves the file
// there before as it was, and says so in one box.
void TfrmMain::SaveLogClick() {
  Guarded([this] {
    const std::optional<std::string> path = FSeam->saveFile(this, FBaseDir + "zandrel.log");
    if (!path) return;
    try {
      OutputFile out = OutputFile::CreateOutput(*path, OutputMode::Replace, *FEnv);
      const std::string text = FLog->text();
      out.write(text.data(), static_cast<int64_t>(text.size()));
      out.commit();
    } catch (const IoError& e) {
      ShowBox(BoxType::Error, ShownMessage(e) + "\n" + EscapeControls(*path), BoxButtons::Ok);
    }
  });
}

void TfrmMain::N2Click() {
  Guarded([this] {
    bool found = false;
    const std::string dir = PatternDirectory(FromQ(edtOutput->text()), found);
    if (!found) {
      ShowBox(BoxType::Warning, FromQ(tr("フォルダが探せませんでした")), BoxButtons::Ok);
      return;
    }
    // The directory is taken literally: conversions in it are not expanded.
    // A pattern right below the root names the root.
    if (dir.empty()) {
      FSeam->openFolder(this, std::string(1, '/'));
      return;
    }
    if (!DirectoryExists(dir, *FEnv)) CreateDir(dir, *FEnv);
    FSeam->openFolder(this, dir);
  });
}

namespace {

// The user guide in the reader's language: readme.txt, or its translation
// beside it (readme_en.txt).
std::string GuideName() {
  //: The file name of the user guide in this language, shown on the last tab.
  return FromQ(QCoreApplication::translate("TfrmMain", "readme.txt"));
}

// The copies that go with the program: beside it (its build tree), then
// where it is installed.
std::vector<std::string> ProgramReadmePaths() {
  const std::string bin = FromQ(QCoreApplication::applicationDirPath());
  return {bin + "/" + GuideName(), bin + "/" ZANDREL_DOC_FROM_BIN "/" + GuideName()};
}

}  // namespace

void TfrmMain::PageControl1Change(int index) {
  Guarded([this, index] {
    if (FReadmeLoaded || PageControl1->widget(index) != Memo1->parentWidget()) return;
    Memo1->clear();
    Memo1->hide();
    // The lines of one file, or nothing when it could not be read whole;
    // `text` then holds the lines read before the failure.
    auto read = [this](const std::string& path, QString& text) {
      bool first = true;
      try {
        ReadTextLines(
            path,
            [&](const std::string& line) {
              if (!first) text += '\n';
              text += ToQ(line);
              first = false;
            },
            *FEnv);
        return true;
      } catch (const IoError&) {
        if (!first) text += '\n';
        return false;
      }
    };
    QString text;
    bool loaded = read(FBaseDir + GuideName(), text);
    for (const std::string& path : ProgramReadmePaths()) {
      QString copy;
      if (loaded || !read(path, copy)) continue;
      text = copy;
      loaded = true;
    }
    // Not marked as loaded: the next visit of the tab reads it again.
    //: %1 the file name of the user guide.
    if (!loaded) text += tr("* %1 が読めないよ (´･ω･`)").arg(ToQ(GuideName()));
    Memo1->setPlainText(text);
    Memo1->show();
    Memo1->moveCursor(QTextCursor::Start);
    Memo1->ensureCursorVisible();
    FReadmeLoaded = loaded;
  });
}
