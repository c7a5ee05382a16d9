// The catalogs for programs that link Qt anyway (the window, the tests).
#include "i18n/language.h"
#include "i18n/qt_catalog.h"
#include "platform/translate.h"

bool HasCatalog(const std::string& language) {
  return !language.empty() && language != kSourceLanguage && QtHasCatalog(language);
}

QTranslator* UseLanguage(const std::string& language, const std::string& installedDir) {
  SetTranslateHook(nullptr);
  QtDropCatalog();
  QTranslator* catalog = HasCatalog(language) ? QtLoadCatalog(language, installedDir) : nullptr;
  if (catalog != nullptr) SetTranslateHook(QtTranslate);
  return catalog;
}
