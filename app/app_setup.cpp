#include "app/app_setup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

#include "app/text_conv.h"
#include "i18n/language.h"

namespace {

// Qt's own translation in force, or null.
QTranslator* gQtOwn = nullptr;

std::string InstalledTranslationsDir() {
  return FromQ(QCoreApplication::applicationDirPath()) + "/" ZANDREL_TRANSLATIONS_FROM_BIN;
}

}  // namespace

void ApplyLanguage(const std::string& language) {
  delete gQtOwn;  // a translator leaves the application's list as it goes
  gQtOwn = nullptr;
  QTranslator* catalog = UseLanguage(language, InstalledTranslationsDir());
  if (catalog != nullptr) QCoreApplication::installTranslator(catalog);
  const QString qtLanguage =
      QString::fromStdString(catalog != nullptr ? language : kSourceLanguage);
  auto* own = new QTranslator(QCoreApplication::instance());
  if (own->load("qtbase_" + qtLanguage, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(own);
    gQtOwn = own;
  } else {
    delete own;
  }
}

void InitApplication(QApplication& /*app*/, const std::string& language) {
  // Only the application name is set: a display name would be appended to
  // every window title by the platform, and the caption must read exactly
  // "zandrel beta 4". applicationDisplayName() falls back to this name.
  QApplication::setApplicationName("zandrel");
  QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
  // Lets the desktop match the window with its menu entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopId));
  ApplyLanguage(ChooseLanguage(language, [](const char* name) { return std::getenv(name); }));
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
