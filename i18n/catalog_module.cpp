// The catalogs for the command line: the module that reads them (Qt Core and
// the .qm files, i18n/qt_catalog.cpp) is loaded with dlopen the first time a
// catalog is wanted, from beside the program (the build tree) or from where
// it is installed. A run in the source language never loads it, and so never
// loads Qt: the start-up of a short run is about half what it was.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "i18n/language.h"
#include "platform/translate.h"

namespace {

struct CatalogModule {
  bool (*has)(const char*) = nullptr;
  bool (*load)(const char*, const char*) = nullptr;
  void (*translate)(const char*, const std::string*, std::string*) = nullptr;
};

constexpr char kModuleName[] = "libzandrel_catalogs.so";

// The module's functions, found once; all null when it cannot be loaded.
const CatalogModule& Module() {
  static const CatalogModule module = [] {
    CatalogModule m;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return m;
    const std::string dir = self.parent_path().string();
    for (const std::string& path :
         {dir + "/" + kModuleName, dir + "/" ZANDREL_MODULES_FROM_BIN "/" + kModuleName}) {
      void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) continue;
      m.has = reinterpret_cast<bool (*)(const char*)>(dlsym(handle, "zandrel_catalog_has"));
      m.load = reinterpret_cast<bool (*)(const char*, const char*)>(
          dlsym(handle, "zandrel_catalog_load"));
      m.translate = reinterpret_cast<void (*)(const char*, const std::string*, std::string*)>(
          dlsym(handle, "zandrel_catalog_translate"));
      if (m.has != nullptr && m.load != nullptr && m.translate != nullptr) return m;
      m = CatalogModule();
      dlclose(handle);
    }
    return m;
  }();
  return module;
}

bool gInForce = false;  // a catalog of the module is in force

std::string Translate(const char* context, const std::string& source) {
  std::string out;
  Module().translate(context, &source, &out);
  return out;
}

}  // namespace

bool HasCatalog(const std::string& language) {
  if (language.empty() || language == kSourceLanguage) return false;
  // The languages built with a catalog, known without loading the module.
  const std::string built = ":" ZANDREL_CATALOG_LANGUAGES ":";
  if (built.find(":" + language + ":") == std::string::npos) return false;
  return Module().has != nullptr && Module().has(language.c_str());
}

QTranslator* UseLanguage(const std::string& language, const std::string& installedDir) {
  SetTranslateHook(nullptr);
  if (gInForce) Module().load(nullptr, nullptr);
  gInForce = HasCatalog(language) && Module().load(language.c_str(), installedDir.c_str());
  if (gInForce) SetTranslateHook(Translate);
  return nullptr;
}
