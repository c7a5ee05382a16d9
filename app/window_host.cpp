// The window's Host. Nothing is copied: every option is read from its
// control at the moment the engine asks.
#include "app/window_host.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QSpinBox>

#include "app/frm_main.h"
#include "app/log_model.h"
#include "app/results_model.h"
#include "app/results_view.h"
#include "app/running.h"
#include "app/stream_strip.h"
#include "app/text_conv.h"
#include "platform/translate.h"

namespace {

constexpr std::chrono::milliseconds kLogShowInterval(150);

}  // namespace

int WindowHost::Setting(SettingId id) {
  if (allRun_ && SettingOf(id).extended && !window_.chkClassicAll->isChecked()) return 1;
  QWidget* control = window_.FSettingControls[static_cast<size_t>(id)];
  if (auto* spin = qobject_cast<QSpinBox*>(control)) return spin->value();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->isChecked() ? 1 : 0;
  return SettingOf(id).defaultValue;
}

// Ticking the box during a run that began without it changes nothing: the
// run holds no reader then.
bool WindowHost::TagIniOn() { return window_.chkTagIni->isChecked(); }

void WindowHost::RunBegins() { window_.ShowRunBegins(); }

bool WindowHost::Running() { return ::Running != 0; }

void WindowHost::AddLog(const std::string& line) {
  window_.FLog->append(line);
  // During a run the lines are shown at the next turn of the event pump, at
  // a box and at the end of the run, so that a run of many streams does not
  // lay out, scroll and paint the log once a line.
  window_.FLogBehind = true;
  if (::Running == 0) window_.ShowNewestLog();
}

void WindowHost::SetProgress(int position) {
  // A run of several inputs shows its own share (WalkedTo).
  if (window_.FMeter.wholeRun()) return;
  window_.prgScan->setValue(position);
  window_.prgScan->repaint();
}

bool WindowHost::InputBegins(const std::string& input) {
  window_.FMeter.beginInput(input);
  window_.strStreams->beginInput(ToQ(input));
  window_.ShowRunProgress();
  return true;
}

void WindowHost::InputNotRead(const std::string& input) {
  StreamReport unread;
  unread.input = input;
  unread.number = unread.offset = unread.length = -1;
  unread.status = StreamReport::Status::Failed;
  unread.error = unread.errorShown = Tr("run", "読んでいません").shown();
  window_.FResults->model()->add(unread);
}

void WindowHost::InputPlace(const JobPlace& place) { window_.FMeter.placeInput(place); }

void WindowHost::WalkedTo(int64_t offset, int64_t start, int64_t end) {
  window_.FMeter.walkedTo(offset, start, end);
  if (window_.FMeter.wholeRun()) window_.prgScan->setValue(window_.FMeter.percent());
  window_.strStreams->walkedTo(offset, end);
  window_.ShowRunProgress();
}

void WindowHost::StreamDone(const StreamReport& report) {
  window_.FResults->model()->add(report);
  window_.DrawStream(report);
}

void WindowHost::PassReported(const PassReport& report) {
  ResultsModel* model = window_.FResults->model();
  if (report.stage == PassReport::Stage::Error) {
    // A failure of the input outside any stream: a row of its own.
    StreamReport failure;
    failure.input = report.input;
    failure.format = report.format;
    failure.number = failure.offset = failure.length = -1;
    failure.status = StreamReport::Status::Failed;
    failure.error = report.error;
    failure.errorShown = report.errorShown;
    model->add(failure);
  }
  if (report.stage == PassReport::Stage::End && report.cancelled &&
      report.input != cancelledInput_) {
    // A pass the cancel stopped: one row for its input, at the offset.
    cancelledInput_ = report.input;
    StreamReport stopped;
    stopped.input = report.input;
    stopped.number = stopped.length = -1;
    stopped.offset = report.offset;
    stopped.status = StreamReport::Status::Failed;
    stopped.error = stopped.errorShown = report.errorShown;
    model->add(stopped);
  }
  if (report.stage != PassReport::Stage::Begin) model->flush();
}

void WindowHost::ProcessEvents() {
  // The engine may call here as often as every few MB of a copy: a turn of
  // the pump comes at most every half pump interval, and a call between two
  // turns costs a look at the clock. A cancel pressed meanwhile is taken at
  // the next turn, where the button's handler clears the run flag at once.
  const int interval = PumpIntervalMs();
  if (interval > 0) {
    const int64_t now = window_.FPumpClock();
    if (now - pumpedAtMs_ < interval / 2) return;
    pumpedAtMs_ = now;
  }
  // The pump paints whatever changed (the progress bar, new log lines); a
  // forced repaint of the whole window on every turn would cost more than
  // the scan between two turns.
  // The log scrolls to its newest line a few times a second at most: each
  // time lays out all of its lines.
  if (std::chrono::steady_clock::now() - window_.FLogShownAt >= kLogShowInterval) {
    window_.ShowNewestLog();
  }
  QCoreApplication::processEvents();
}

BoxAnswer WindowHost::Failure(const FailureQuestion& question) {
  if (question.beep) window_.FSeam->beep();
  window_.ShowNewestLog();
  if (question.buttons != BoxButtons::AbortIgnore) {
    return window_.FSeam->messageBox(&window_, question.type, question.text, question.buttons,
                                     question.code);
  }
  // The failure of a stream: the box names the path, and its answer may
  // stand for every failure of the rest of the run.
  if (sameAnswer_) return *sameAnswer_;
  bool sameForRest = false;
  const BoxAnswer answer =
      window_.FSeam->failureBox(&window_, question.text, question.path, question.code, sameForRest);
  if (sameForRest && (answer == BoxAnswer::Abort || answer == BoxAnswer::Ignore)) {
    sameAnswer_ = answer;
  }
  return answer;
}

int WindowHost::PumpIntervalMs() { return window_.FPumpIntervalMs; }
