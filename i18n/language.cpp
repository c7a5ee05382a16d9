#include "i18n/language.h"

#include <QFile>
#include <QString>
#include <QTranslator>
#include <memory>

#include "platform/translate.h"

namespace {

// Where the catalogs are compiled into the program.
constexpr char kEmbeddedDir[] = ":/i18n";

std::unique_ptr<QTranslator> gCatalog;

QString CatalogName(const std::string& language) {
  return QStringLiteral("zandrel_") + QString::fromStdString(language);
}

// "en_GB.UTF-8@euro" -> "en".
std::string LanguageOf(std::string_view locale) {
  const size_t end = locale.find_first_of("_.@");
  return std::string(locale.substr(0, end));
}

bool IsCLocale(std::string_view locale) {
  return locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}

std::string TranslateWithCatalog(const char* context, const std::string& source) {
  if (!gCatalog) return {};
  return gCatalog->translate(context, source.c_str()).toStdString();
}

// The first language of a LANGUAGE list that is the source or has a
// catalog; empty when none is.
std::string FirstWanted(std::string_view list) {
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string language = LanguageOf(list.substr(0, colon));
    if (language == kSourceLanguage || HasCatalog(language)) return language;
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  return {};
}

}  // namespace

bool HasCatalog(const std::string& language) {
  if (language.empty() || language == kSourceLanguage) return false;
  return QFile::exists(QString::fromLatin1(kEmbeddedDir) + '/' + CatalogName(language) + ".qm");
}

bool IsKnownLanguage(std::string_view value) {
  return value == kSourceLanguage || HasCatalog(std::string(value));
}

std::string ChooseLanguage(std::string_view option,
                           const std::function<const char*(const char*)>& env) {
  if (!option.empty()) return std::string(option);
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = env(name);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  if (IsCLocale(locale)) return kSourceLanguage;
  const char* wanted = env("LANGUAGE");
  if (wanted != nullptr) {
    std::string first = FirstWanted(wanted);
    if (!first.empty()) return first;
  }
  const std::string own = LanguageOf(locale);
  if (own == kSourceLanguage || HasCatalog(own)) return own;
  return "en";
}

QTranslator* UseLanguage(const std::string& language, const std::string& installedDir) {
  SetTranslateHook(nullptr);
  gCatalog.reset();
  if (!HasCatalog(language)) return nullptr;
  auto catalog = std::make_unique<QTranslator>();
  const QString name = CatalogName(language);
  const bool loaded =
      (!installedDir.empty() && catalog->load(name, QString::fromStdString(installedDir))) ||
      catalog->load(name, QString::fromLatin1(kEmbeddedDir));
  if (!loaded) return nullptr;
  gCatalog = std::move(catalog);
  SetTranslateHook(TranslateWithCatalog);
  return gCatalog.get();
}
