# Fails when a text the program shows has no finished English translation, or the translation
# file is not what lupdate makes of today's sources: run lupdate on a copy and compare.
#   cmake -DLUPDATE=... -DSOURCE_DIR=... -DWORK=... -P check_translations.cmake
set(ts ${SOURCE_DIR}/i18n/kv306_en.ts)
file(MAKE_DIRECTORY ${WORK})
configure_file(${ts} ${WORK}/kv306_en.ts COPYONLY)
execute_process(
  COMMAND ${LUPDATE} -silent -locations none -no-obsolete -source-language zh_CN -target-language en
          ${SOURCE_DIR}/link ${SOURCE_DIR}/protocol ${SOURCE_DIR}/panel -ts ${WORK}/kv306_en.ts
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "lupdate failed")
endif()
file(READ ${WORK}/kv306_en.ts updated)
string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation type=\"unfinished\">" untranslated "${updated}")
if(untranslated)
  message(FATAL_ERROR "texts without an English translation in i18n/kv306_en.ts:\n${untranslated}")
endif()
file(READ ${ts} committed)
if(NOT updated STREQUAL committed)
  message(FATAL_ERROR "i18n/kv306_en.ts is not what lupdate makes of the sources; run:\n"
                      "  lupdate -locations none -no-obsolete -source-language zh_CN -target-language en "
                      "link protocol panel -ts i18n/kv306_en.ts\nand translate what it adds")
endif()
message(STATUS "every text has its English translation")
