// Times one MP3 run from the window: the input and the output pattern are set
// in the controls, the Execute button is pressed, and the run's wall time is
// printed with its throughput. Runs offscreen with a seam that answers every
// box with its default and does not beep. A third argument sets the minimum
// of consecutive frames (the spin of the condition tab) before the run.
//
//   window_scan INPUT OUTPUT_PATTERN [MIN_FRAMES]
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <cstdio>
#include <cstdlib>

#include "app/frm_main.h"
#include "app/ui_seam.h"

namespace {

class QuietSeam : public UiSeam {
 public:
  BoxAnswer messageBox(QWidget*, BoxType, const std::string& text, BoxButtons buttons,
                       int) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == BoxButtons::AbortIgnore ? BoxAnswer::Ignore : BoxAnswer::Ok;
  }
  void beep() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: window_scan INPUT OUTPUT_PATTERN [MIN_FRAMES]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TfrmMain window;
  QuietSeam seam;
  window.setSeam(&seam);
  window.show();
  window.findChild<QLineEdit*>("edtInput")->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QLineEdit*>("edtOutput")->setText(QString::fromLocal8Bit(argv[2]));
  if (argc == 4) window.findChild<QSpinBox*>("updFrameNum")->setValue(std::atoi(argv[3]));
  QCoreApplication::processEvents();

  QElapsedTimer timer;
  timer.start();
  window.btnExecuteClick();
  double seconds = timer.nsecsElapsed() / 1e9;

  struct stat st {};
  ::stat(argv[1], &st);
  auto* log = window.findChild<QListView*>("lbxLog");
  std::printf("%.4f s, %.0f MB/s, %d log lines\n", seconds, st.st_size / seconds / 1e6,
              log->model()->rowCount());
  return 0;
}
