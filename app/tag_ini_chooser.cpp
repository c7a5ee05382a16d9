// Choosing the tag INI file: the chooser action, its button and the check
// box that asks for a file when none has been chosen yet.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/frm_main.h"
#include "app/text_conv.h"

void TfrmMain::SelectTagIniExecute() {
  Guarded([this] {
    FileDialogRequest request;
    request.allowMultiple = false;
    request.mustExist = true;
    request.filter = "Ini File(*.ini)|*.ini";
    request.filterIndex = 1;
    auto chosen = FSeam->openFiles(this, request);
    if (chosen && !chosen->empty()) {
      edtTagIni->setText(ToQ(chosen->front()));
      const QSignalBlocker quiet(chkTagIni);
      chkTagIni->setChecked(true);
    } else if (edtTagIni->text().isEmpty()) {
      const QSignalBlocker quiet(chkTagIni);
      chkTagIni->setChecked(false);
    }
  });
}

void TfrmMain::SpeedButton2Click() {
  Guarded([this] { SelectTagIni->trigger(); });
}

void TfrmMain::chkTagIniClick() {
  Guarded([this] {
    if (chkTagIni->isChecked() && edtTagIni->text().isEmpty()) SelectTagIni->trigger();
  });
}
