// The catalogs themselves: Qt Linguist .qm files read by QTranslator, those
// compiled into the program (under :/i18n) or an installed copy. Linked into
// the window and the tests, and built on its own as the module the command
// line loads when a catalog is first wanted (i18n/catalog_module.cpp), so
// that a run in the source language does not load Qt at all.
#pragma once

#include <string>

class QTranslator;

// Whether a catalog for `language` is compiled in.
bool QtHasCatalog(const std::string& language);
// Loads the catalog of `language`, from `installedDir` when a copy is there
// (may be empty), else the compiled-in one, and keeps it as the one in
// force; null (and none in force) when there is none.
QTranslator* QtLoadCatalog(const std::string& language, const std::string& installedDir);
// Puts no catalog in force.
void QtDropCatalog();
// The text of the catalog in force for `source`; empty when it has none.
std::string QtTranslate(const char* context, const std::string& source);

// What the module exports, by these names, for dlsym.
extern "C" {
bool zandrel_catalog_has(const char* language);
// A null `language` drops the catalog in force.
bool zandrel_catalog_load(const char* language, const char* installedDir);
void zandrel_catalog_translate(const char* context, const std::string* source, std::string* out);
}
