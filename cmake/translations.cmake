# The translations' upkeep and checks, run by CTest and by the i18n-update target:
#   -DMODE=extract -DROOT=<source tree> -DPOT=<file>   the key template: every text the code
#                                                      passes to Translate, Format, UiText or
#                                                      TextError, plus
#                                                      src/i18n/po/extra-keys.pot
#   -DMODE=check -DPO=<file> -DPOT=<file> -DWORK=<dir> one language against the template
#   -DMODE=update -DROOT=<source tree> -DPOT=<file>    extract, then merge the template into every
#                                                      src/i18n/po/*.po (new texts come in empty)
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}\n${out}${err}")
  endif()
endfunction()

function(extract)
  file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/src/*.cpp" "${ROOT}/src/*.h")
  # Tests translate made-up texts of their own.
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  list(SORT sources)
  get_filename_component(folder "${POT}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  # File names without line numbers keep the translation files' diffs down to real changes.
  set(common --from-code=UTF-8 --add-location=file --no-wrap)
  execute_process(COMMAND xgettext ${common} --c++ --keyword=Translate --keyword=Format
                          --keyword=UiText --keyword=TextError --output=${POT}-code.pot ${sources}
                  WORKING_DIRECTORY "${ROOT}" RESULT_VARIABLE result ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "xgettext failed:\n${err}")
  endif()
  run(xgettext ${common} --package-name=DurvinProofControl --output=${POT} ${POT}-code.pot
      ${ROOT}/src/i18n/po/extra-keys.pot)
  file(REMOVE ${POT}-code.pot)
endfunction()

if(MODE STREQUAL "extract")
  extract()
elseif(MODE STREQUAL "check")
  get_filename_component(stem "${PO}" NAME_WE)
  # Placeholders: every "#, c-format" entry must keep the %s and %d of its English text.
  run(msgfmt --check --output-file=${WORK}/${stem}.check.mo ${PO})
  # Every text of the template is there, translated and reviewed (a fuzzy entry counts as
  # missing).
  execute_process(COMMAND msgcmp ${PO} ${POT} RESULT_VARIABLE missing ERROR_VARIABLE err)
  if(NOT missing EQUAL 0)
    message(FATAL_ERROR "${stem}.po lacks texts (run the i18n-update target, then translate "
                        "the empty and fuzzy entries):\n${err}")
  endif()
  # No text that the code no longer shows.
  execute_process(COMMAND msgcmp --use-untranslated ${POT} ${PO} RESULT_VARIABLE stale
                  ERROR_VARIABLE err)
  if(NOT stale EQUAL 0)
    message(FATAL_ERROR "${stem}.po holds texts the code no longer has (the i18n-update target "
                        "marks them obsolete):\n${err}")
  endif()
elseif(MODE STREQUAL "update")
  extract()
  file(GLOB catalogues "${ROOT}/src/i18n/po/*.po")
  foreach(po IN LISTS catalogues)
    run(msgmerge --quiet --update --backup=none --previous --no-wrap --add-location=file ${po}
        ${POT})
  endforeach()
else()
  message(FATAL_ERROR "translations.cmake: MODE must be extract, check or update")
endif()
