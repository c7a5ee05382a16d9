// What the window shows of a run besides the log: the progress bar's text
// (percent, rate, elapsed and remaining time), the status beside the picture
// of the inputs (the input, or the cancel), and the streams in the picture.
#include <QLabel>
#include <QProgressBar>

#include "app/frm_main.h"
#include "app/stream_strip.h"
#include "app/text_conv.h"
#include "carve/engine/formats.h"

void TfrmMain::ShowRunBegins() {
  FMeter.beginRun();
  strStreams->clear();
  prgScan->setTextVisible(true);
  ShowRunProgress();
}

void TfrmMain::ShowRunProgress() {
  prgScan->setFormat(ToQ(FMeter.text()));
  lblStatus->setText(ToQ(FMeter.input()));
  lblStatus->setToolTip(lblStatus->text());
}

void TfrmMain::ShowRunEnds(bool cancelled) {
  if (cancelled) FMeter.cancel();
  FMeter.finish();
  strStreams->hidePosition();
  prgScan->setFormat(ToQ(FMeter.text()));
  lblStatus->setText(cancelled ? tr("キャンセルしました") : tr("終了しました"));
  lblStatus->setToolTip(QString());
}

void TfrmMain::DrawStream(const StreamReport& report) {
  StreamStrip::Stream stream{report.number, report.offset, report.length, RowOfKind(report.format)};
  for (const Member& m : report.members)
    stream.members.emplace_back(report.offset + m.offset, m.length);
  strStreams->addStream(ToQ(report.input), stream);
}
