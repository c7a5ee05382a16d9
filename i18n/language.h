// The language of the texts people read, and its catalog. Japanese is the
// source language: under it nothing is loaded and every text is shown as
// written. Another language shows the texts of its catalog (a Qt Linguist
// .qm file, translations/zandrel_<lang>.ts), to the engine through its
// translation hook and to the window through Qt's translators.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class QTranslator;

// The source language.
inline constexpr char kSourceLanguage[] = "ja";

// Whether zandrel has a catalog for `language` ("en"); the source language
// needs none and has none.
bool HasCatalog(const std::string& language);

// The language to show. `option` is the value of --lang, when given; then
// the locale decides, GNU-like: LC_ALL, LC_MESSAGES, LANG (the first set);
// in the C or POSIX locale the texts are the source's. Otherwise LANGUAGE,
// a colon-separated list, names the languages wanted in order: the first
// that is the source or has a catalog is taken. Then the locale's own
// language; any language but the source that has no catalog gets English.
// `env` reads an environment variable (null when unset).
std::string ChooseLanguage(std::string_view option,
                           const std::function<const char*(const char*)>& env);

// Whether `value` is a language --lang takes: the source or one with a catalog.
bool IsKnownLanguage(std::string_view value);

// Puts `language` in force: loads its catalog, from `installedDir` when a
// copy is there (may be empty), else the one compiled into the program, and
// installs the engine's hook. The source language, or a language with no
// catalog, removes any catalog in force. Returns the catalog's translator,
// or null when none is in force.
QTranslator* UseLanguage(const std::string& language, const std::string& installedDir);
