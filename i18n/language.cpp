#include "i18n/language.h"

namespace {

// "en_GB.UTF-8@euro" -> "en".
std::string LanguageOf(std::string_view locale) {
  const size_t end = locale.find_first_of("_.@");
  return std::string(locale.substr(0, end));
}

bool IsCLocale(std::string_view locale) {
  return locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.");
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
