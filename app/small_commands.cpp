// The commands that are not runs: the input chooser, clearing the log,
// opening the output folder and filling the readme tab.
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextCursor>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "carve/scan_pass.h"
#include "platform/comma_text.h"
#include "platform/file.h"

void TfrmMain::SpeedButton1Click() {
  Guarded([this] {
    FileDialogRequest request;
    request.allowMultiple = true;
    request.mustExist = true;
    request.filter = "All files (*.*)|*.*";
    request.filterIndex = 1;
    auto chosen = FSeam->openFiles(this, request);
    if (!chosen || chosen->empty()) return;
    // One file is written bare, blanks and all; several as comma text.
    edtInput->setText(ToQ(chosen->size() == 1 ? chosen->front() : ToCommaText(*chosen)));
  });
}

void TfrmMain::N1Click() {
  Guarded([this] { lbxLog->clear(); });
}

void TfrmMain::N2Click() {
  Guarded([this] {
    bool found = false;
    const std::string dir = PatternDirectory(FromQ(edtOutput->text()), found);
    if (!found) {
      MessageBox(BoxType::Warning, "フォルダが探せませんでした", BoxButtons::Ok, 0);
      return;
    }
    // The directory is taken literally: conversions in it are not expanded.
    // A pattern right below the root names the root.
    if (dir.empty()) {
      FSeam->openFolder(this, std::string(1, '/'));
      return;
    }
    if (!DirectoryExists(dir)) CreateDir(dir);
    FSeam->openFolder(this, dir);
  });
}

void TfrmMain::PageControl1Change(int index) {
  Guarded([this, index] {
    if (FReadmeLoaded || index != PageControl1->count() - 1) return;
    Memo1->clear();
    Memo1->hide();
    QString text;
    bool first = true;
    auto append = [&](const QString& line) {
      if (!first) text += '\n';
      text += line;
      first = false;
    };
    bool loaded = false;
    try {
      ReadTextLines(FBaseDir + "readme.txt", [&](const std::string& line) { append(ToQ(line)); });
      loaded = true;
    } catch (const IoError&) {
      // Not marked as loaded: the next visit of the tab reads it again.
      append(QStringLiteral("* readme.txt が読めないよ (´･ω･`)"));
    }
    Memo1->setPlainText(text);
    Memo1->show();
    Memo1->moveCursor(QTextCursor::Start);
    Memo1->ensureCursorVisible();
    FReadmeLoaded = loaded;
  });
}
