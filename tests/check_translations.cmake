# Every text marked in the sources has a finished translation in each
# catalog, and the catalogs are those lupdate makes of the sources now:
# lupdate runs over a copy of each catalog; a text it adds, or leaves
# unfinished, fails the test, and so does a catalog it changes (a text no
# longer marked, one marked anew). Run as
#   cmake -DLUPDATE=... -DSOURCES_LIST=... -DOPTIONS=... -DTS_FILES=... -DWORK=... -P
foreach(ts ${TS_FILES})
  get_filename_component(name ${ts} NAME)
  set(copy ${WORK}/${name})
  configure_file(${ts} ${copy} COPYONLY)
  execute_process(COMMAND ${LUPDATE} ${OPTIONS} @${SOURCES_LIST} -ts ${copy}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}:\n${out}")
  endif()
  file(READ ${copy} updated)
  string(REGEX MATCHALL "<source>[^<]*</source>[^<]*(<extracomment>[^<]*</extracomment>[^<]*)?<translation type=\"unfinished\"" missing "${updated}")
  if(missing)
    string(REGEX REPLACE "</source>[^;]*" "" missing "${missing}")
    string(REPLACE ";" "\n  " missing "${missing}")
    message(FATAL_ERROR "texts without their translation in ${name}:\n  ${missing}\n"
                        "fill them in (docs/translations.md)")
  endif()
  file(READ ${ts} committed)
  if(NOT committed STREQUAL updated)
    message(FATAL_ERROR "${name} is not what lupdate makes of the sources now; run "
                        "'cmake --build build --target update_translations' (docs/translations.md)")
  endif()
endforeach()
