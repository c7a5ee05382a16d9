# The catalogs of the texts people read: translations/zandrel_<lang>.ts,
# Qt Linguist's sources, compiled into .qm files at build time, embedded in
# zandrel_i18n (under :/i18n, for the build tree and the tests) and
# installed into share/zandrel/translations. docs/translations.md tells how
# a text is marked and how the catalogs are brought up to date:
#   cmake --build build --target update_translations
set(ZANDREL_TS_FILES ${CMAKE_SOURCE_DIR}/translations/zandrel_en.ts)
# The engine marks its texts with Tr("context", "text") where they are shown
# and ZT("context", "text") where they are stored; lupdate reads them as
# QCoreApplication::translate and QT_TRANSLATE_NOOP. No line numbers are
# kept, so that the catalog changes only when its texts do.
set(ZANDREL_LUPDATE_OPTIONS -tr-function-alias QT_TRANSLATE_NOOP+=ZT,translate+=Tr
    -source-language ja -locations none -no-obsolete -silent)
file(GLOB_RECURSE ZANDREL_TRANSLATED_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.h
  ${CMAKE_SOURCE_DIR}/cli/*.cpp ${CMAKE_SOURCE_DIR}/i18n/*.cpp
  ${CMAKE_SOURCE_DIR}/carve/*.cpp ${CMAKE_SOURCE_DIR}/carve/*.h
  ${CMAKE_SOURCE_DIR}/output/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.cpp
  ${CMAKE_SOURCE_DIR}/export/*.cpp)

qt_add_lupdate(zandrel_i18n TS_FILES ${ZANDREL_TS_FILES} SOURCES ${ZANDREL_TRANSLATED_SOURCES}
               INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR} OPTIONS ${ZANDREL_LUPDATE_OPTIONS})
qt_add_lrelease(zandrel_i18n TS_FILES ${ZANDREL_TS_FILES} QM_FILES_OUTPUT_VARIABLE ZANDREL_QM_FILES)
qt_add_resources(zandrel_i18n zandrel_translations PREFIX /i18n BASE ${CMAKE_CURRENT_BINARY_DIR}
                 FILES ${ZANDREL_QM_FILES})
qt_add_resources(zandrel_catalogs zandrel_module_translations PREFIX /i18n
                 BASE ${CMAKE_CURRENT_BINARY_DIR} FILES ${ZANDREL_QM_FILES})
# The languages with a catalog, for the command line to know them without
# loading the module: "en" or "en:fr".
set(catalog_languages)
foreach(ts ${ZANDREL_TS_FILES})
  string(REGEX REPLACE "^.*/zandrel_(.*)\\.ts$" "\\1" language "${ts}")
  list(APPEND catalog_languages ${language})
endforeach()
list(JOIN catalog_languages ":" catalog_languages)
target_compile_definitions(zandrel_i18n_module PRIVATE
                           ZANDREL_CATALOG_LANGUAGES="${catalog_languages}")
install(FILES ${ZANDREL_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/zandrel/translations)

# The sources lupdate reads, one a line, for the test that every marked
# text has its translation (tests/check_translations.cmake).
string(REPLACE ";" "\n" sources_lines "${ZANDREL_TRANSLATED_SOURCES}")
file(WRITE ${CMAKE_BINARY_DIR}/translated_sources.lst "${sources_lines}\n")
