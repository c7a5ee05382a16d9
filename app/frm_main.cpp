// frmMain: creation, start-up, the log, the standard error report and what
// closing the window does while a handler is still at work.
#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QListView>
#include <cstdlib>

#include "app/app_setup.h"
#include "app/log_model.h"
#include "app/results_view.h"
#include "app/running.h"
#include "app/text_conv.h"
#include "app/window_host.h"
#include "output/naming.h"
#include "platform/folders.h"
#include "platform/io_error.h"

TfrmMain::TfrmMain(QWidget* parent) : QWidget(parent), FHost(std::make_unique<WindowHost>(*this)) {
  BuildControls();
  BuildRunExtras();
  for (const SettingRow& row : Settings()) {
    FSettingControls[static_cast<size_t>(row.id)] = findChild<QWidget*>(
        QString::fromLatin1(row.control.data(), static_cast<qsizetype>(row.control.size())));
  }
  FormCreate();
}

TfrmMain::~TfrmMain() {
  if (FResults->isWindow()) delete FResults;
}

Host& TfrmMain::host() { return *FHost; }

void TfrmMain::setSeam(UiSeam* seam) {
  FSeam = seam != nullptr ? seam : &FQtSeam;
  FResults->setSeam(FSeam);
}

void TfrmMain::FormCreate() {
  setWindowTitle(QApplication::applicationDisplayName() + " " + QString::fromLatin1(Version));
  try {
    FBaseDir = GetCurrentDir(*FEnv);
  } catch (const IoError&) {
    // The working directory is gone: the home folder stands in for it.
    const char* home = std::getenv("HOME");
    FBaseDir = home != nullptr && DirectoryExists(home, *FEnv) ? home : "/";
  }
  if (FBaseDir.empty() || FBaseDir.back() != '/') FBaseDir += '/';
  edtOutput->setText(ToQ(DefaultOutputPattern(FBaseDir)));
  FReadmeLoaded = false;
}

void TfrmMain::ShowNewestLog() {
  if (!FLogBehind) return;
  FLogBehind = false;
  FLogShownAt = std::chrono::steady_clock::now();
  // The newest line becomes the bottom row, wherever the user had scrolled;
  // while every line fits, the view stays where it is.
  lbxLog->scrollToBottom();
  lbxLog->repaint();
}

void TfrmMain::Guarded(const std::function<void()>& body) {
  ++FBusyDepth;
  try {
    body();
  } catch (const std::exception& e) {
    ShowException(e);
  }
  ShowNewestLog();
  --FBusyDepth;
  if (FBusyDepth == 0 && FClosePending) {
    FClosePending = false;
    close();
  }
}

void TfrmMain::ShowException(const std::exception& e) {
  ShowNewestLog();
  const auto* io = dynamic_cast<const IoError*>(&e);
  FSeam->messageBox(this, BoxType::Error, ShownMessage(e), BoxButtons::Ok, io ? io->code() : 0);
}

BoxAnswer TfrmMain::ShowBox(BoxType type, const std::string& text, BoxButtons buttons) {
  ShowNewestLog();
  return FSeam->messageBox(this, type, text, buttons, 0);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (FBusyDepth > 0) {
    // A handler is still at work inside the event pump: cancel the run and
    // close once every handler has returned, so that none of them is left
    // holding a window that is gone.
    event->ignore();
    ::Running = 0;
    FClosePending = true;
    return;
  }
  // The table of results in a window of its own goes back into its tab.
  if (FResults->isWindow()) FResults->close();
  event->accept();
}
