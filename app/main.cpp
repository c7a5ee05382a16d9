// Program entry: the application object, its title and translations, the one
// window, and the event loop until that window closes.
#include <QApplication>

#include "app/app_setup.h"
#include "app/frm_main.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  PrepareOutputSignals();
  QApplication app(argc, argv);
  InitApplication(app);
  TfrmMain frmMain;
  frmMain.show();
  return QApplication::exec();
}
