// frmMain as the Host of the scan passes. Nothing is copied: every option is
// read from its control at the moment the engine asks.
#include <QCheckBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>

#include "app/frm_main.h"
#include "app/running.h"

bool TfrmMain::LimitRange() { return rbtLimit->isChecked(); }
int TfrmMain::LowerPercent() { return updLower->value(); }
int TfrmMain::UpperPercent() { return updUpper->value(); }
int TfrmMain::MinFrames() { return updFrameNum->value(); }

bool TfrmMain::SensitizeOn(Sensitize what) {
  switch (what) {
    case Sensitize::Version:
      return chkSensitizeVersion->isChecked();
    case Sensitize::Channel:
      return chkSensitizeChannel->isChecked();
    case Sensitize::Freq:
      return chkSensitizeFreq->isChecked();
    case Sensitize::Crc:
      return chkSensitizeCRC->isChecked();
  }
  return true;
}

bool TfrmMain::CopyID3v1() { return chkID3v1Copy->isChecked(); }
bool TfrmMain::CopyID3v2() { return chkID3v2Copy->isChecked(); }

// Ticking the box during a run that began without it changes nothing: the
// run holds no reader then.
const TagIni* TfrmMain::ActiveTagIni() {
  return chkTagIni->isChecked() && FTagIni ? FTagIni.get() : nullptr;
}

bool TfrmMain::FullId3v2() { return chkFullId3v2->isChecked(); }
bool TfrmMain::SplitXing() { return chkSplitXing->isChecked(); }
bool TfrmMain::WavAnyChunk() { return chkWavAnyChunk->isChecked(); }
bool TfrmMain::OggWhole() { return chkOggWhole->isChecked(); }

bool TfrmMain::Running() { return ::Running != 0; }

void TfrmMain::SetProgress(int position) {
  prgScan->setValue(position);
  prgScan->repaint();
}

void TfrmMain::ProcessEvents() {
  // The pump paints whatever changed (the progress bar, new log lines); a
  // forced repaint of the whole window on every turn would cost more than
  // the scan between two turns.
  QCoreApplication::processEvents();
}

void TfrmMain::Beep() { FSeam->beep(); }

BoxAnswer TfrmMain::MessageBox(BoxType type, const std::string& text, BoxButtons buttons,
                               int helpContext) {
  return FSeam->messageBox(this, type, text, buttons, helpContext);
}
