#include "app/app_setup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

void InitApplication(QApplication& app) {
  // Only the application name is set: a display name would be appended to
  // every window title by the platform, and the caption must read exactly
  // "zandrel beta 4". applicationDisplayName() falls back to this name.
  QApplication::setApplicationName("zandrel");
  QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
  // Lets the desktop match the window with its menu entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopId));
  auto* translator = new QTranslator(&app);
  if (translator->load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  }
}

QIcon ProgramIcon() {
  // The icons are compiled into this library; a static library's resources
  // are registered by hand.
  static const bool registered = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)registered;
  QIcon icon;
  for (const char* size : {"48", "128", "256"}) {
    icon.addFile(QStringLiteral(":/icons/zandrel-%1.png").arg(QLatin1String(size)));
  }
  return icon;
}
