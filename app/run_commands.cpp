// The run commands: the pass of each format and all of them in one read. Each starts a run over the
// input list while idle and cancels the run in progress otherwise; they share the flag Running and
// the caption of btnExecute.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/frm_main.h"
#include "app/results_model.h"
#include "app/results_view.h"
#include "app/running.h"
#include "app/text_conv.h"
#include "app/window_host.h"
#include "carve/engine/formats.h"

namespace {

// Restores the idle state on every way out of a run: the flag is reset and the button reads
// "実行！" again; an answer kept for the rest of the run is forgotten.
class RunCleanup {
 public:
  RunCleanup(WindowHost& host, QPushButton* button) : host_(host), button_(button) {}
  ~RunCleanup() {
    host_.RunEnds();
    Running = 0;
    button_->setText(TfrmMain::tr("実行！"));
  }
  RunCleanup(const RunCleanup&) = delete;
  RunCleanup& operator=(const RunCleanup&) = delete;

 private:
  WindowHost& host_;
  QPushButton* button_;
};

}  // namespace

void TfrmMain::btnExecuteClick() {
  Guarded([this] { RunCommand(TickedFormats(), FExecuteAll->isChecked()); });
}

void TfrmMain::FormatClick(const FormatRow& row) {
  Guarded([this, &row] { RunCommand({&row}); });
}

void TfrmMain::AllFormats1Click() {
  Guarded([this] { RunCommand(AllFormatRows(), true); });
}

void TfrmMain::RunCommand(const std::vector<const FormatRow*>& rows, bool every) {
  if (::Running != 0) {
    // The cancel: the pass in progress notices at its next byte step.
    ::Running = 0;
    return;
  }
  btnExecute->setText(tr("キャンセル"));
  ::Running = 1;
  FResults->model()->clear();
  const unsigned hashes = HashKinds();
  FResults->setHashes(hashes);
  bool loopEnded = false;
  {
    RunCleanup cleanup(*FHost, btnExecute);
    FHost->RunIsAll(every);
    const std::vector<std::string> inputs = InputList();
    // The output field is read again as each input begins. A tag INI file
    // is read only when the box is ticked as the run begins: ticking it
    // during a run changes nothing.
    const RunOutcome outcome = CarveInputs(
        *FHost,
        {.inputs = inputs,
         .formats = rows,
         .pattern = [this] { return FromQ(edtOutput->text()); },
         .options = {.offsetNames = every, .hashes = hashes, .jobs = DefaultJobs()},
         .env = *FEnv,
         .tagIni = chkTagIni->isChecked() ? std::optional<std::string>(FromQ(edtTagIni->text()))
                                          : std::nullopt,
         .prompt = this});
    if (outcome.check != RunCheck::Go) return;
    ShowRunEnds(::Running == 0);
    loopEnded = true;
  }
  ShowNewestLog();
  if (loopEnded) FSeam->beep();
}
