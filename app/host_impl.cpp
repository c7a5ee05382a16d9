// frmMain as the Host of the scan passes. Nothing is copied: every option is
// read from its control at the moment the engine asks.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QSpinBox>

#include "app/frm_main.h"
#include "app/running.h"

namespace {

constexpr std::chrono::milliseconds kLogShowInterval(150);

}  // namespace

int TfrmMain::Setting(SettingId id) {
  QWidget* control = FSettingControls[static_cast<size_t>(id)];
  if (auto* spin = qobject_cast<QSpinBox*>(control)) return spin->value();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->isChecked() ? 1 : 0;
  return SettingOf(id).defaultValue;
}

// Ticking the box during a run that began without it changes nothing: the
// run holds no reader then.
const TagIni* TfrmMain::ActiveTagIni() {
  return chkTagIni->isChecked() && FTagIni ? FTagIni.get() : nullptr;
}

bool TfrmMain::Running() { return ::Running != 0; }

void TfrmMain::SetProgress(int position) {
  prgScan->setValue(position);
  prgScan->repaint();
}

void TfrmMain::ProcessEvents() {
  // The engine may call here as often as every few MB of a copy: a turn of
  // the pump comes at most every half pump interval, and a call between two
  // turns costs a look at the clock. A cancel pressed meanwhile is taken at
  // the next turn, where the button's handler clears the run flag at once.
  if (FPumpIntervalMs > 0) {
    const int64_t now = FPumpClock();
    if (now - FPumpedAtMs < FPumpIntervalMs / 2) return;
    FPumpedAtMs = now;
  }
  // The pump paints whatever changed (the progress bar, new log lines); a
  // forced repaint of the whole window on every turn would cost more than
  // the scan between two turns.
  // The log scrolls to its newest line a few times a second at most: each
  // time lays out all of its lines.
  if (std::chrono::steady_clock::now() - FLogShownAt >= kLogShowInterval) ShowNewestLog();
  QCoreApplication::processEvents();
}

void TfrmMain::Beep() { FSeam->beep(); }

BoxAnswer TfrmMain::MessageBox(BoxType type, const std::string& text, BoxButtons buttons,
                               int helpContext) {
  ShowNewestLog();
  std::string path;
  path.swap(FFailurePath);
  if (buttons != BoxButtons::AbortIgnore) {
    return FSeam->messageBox(this, type, text, buttons, helpContext);
  }
  // The failure of a stream: the box names the path, and its answer may
  // stand for every failure of the rest of the run.
  if (FSameAnswer) return *FSameAnswer;
  bool sameForRest = false;
  const BoxAnswer answer = FSeam->failureBox(this, text, path, helpContext, sameForRest);
  if (sameForRest && (answer == BoxAnswer::Abort || answer == BoxAnswer::Ignore)) {
    FSameAnswer = answer;
  }
  return answer;
}
