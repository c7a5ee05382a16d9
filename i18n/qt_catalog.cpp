#include "i18n/qt_catalog.h"

#include <QFile>
#include <QString>
#include <QTranslator>
#include <memory>

namespace {

// Where the catalogs are compiled into the program.
constexpr char kEmbeddedDir[] = ":/i18n";

std::unique_ptr<QTranslator> gCatalog;

QString CatalogName(const std::string& language) {
  return QStringLiteral("zandrel_") + QString::fromStdString(language);
}

}  // namespace

bool QtHasCatalog(const std::string& language) {
  return QFile::exists(QString::fromLatin1(kEmbeddedDir) + '/' + CatalogName(language) + ".qm");
}

QTranslator* QtLoadCatalog(const std::string& language, const std::string& installedDir) {
  gCatalog.reset();
  if (!QtHasCatalog(language)) return nullptr;
  auto catalog = std::make_unique<QTranslator>();
  const QString name = CatalogName(language);
  const bool loaded =
      (!installedDir.empty() && catalog->load(name, QString::fromStdString(installedDir))) ||
      catalog->load(name, QString::fromLatin1(kEmbeddedDir));
  if (!loaded) return nullptr;
  gCatalog = std::move(catalog);
  return gCatalog.get();
}

void QtDropCatalog() { gCatalog.reset(); }

std::string QtTranslate(const char* context, const std::string& source) {
  if (!gCatalog) return {};
  return gCatalog->translate(context, source.c_str()).toStdString();
}

bool zandrel_catalog_has(const char* language) { return QtHasCatalog(language); }

bool zandrel_catalog_load(const char* language, const char* installedDir) {
  if (language == nullptr) {
    QtDropCatalog();
    return false;
  }
  return QtLoadCatalog(language, installedDir) != nullptr;
}

void zandrel_catalog_translate(const char* context, const std::string* source, std::string* out) {
  *out = QtTranslate(context, *source);
}
