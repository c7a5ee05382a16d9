#include "app/app_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

void InitApplication(QApplication& app) {
  // Only the application name is set: a display name would be appended to
  // every window title by the platform, and the caption must read exactly
  // "zandrel beta 4". applicationDisplayName() falls back to this name.
  QApplication::setApplicationName("zandrel");
  auto* translator = new QTranslator(&app);
  if (translator->load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  }
}
