# cmake -DLUPDATE=... -DOPTIONS=... -DTS=... -DSOURCES=... -DINCLUDE=... -DCOPY=... -P this
# Brings a copy of the translation file up to date with the sources and fails when that changed
# it (a text was added, changed or dropped since the file was last updated) or when an entry of
# it has no finished translation.
file(COPY_FILE ${TS} ${COPY})
execute_process(COMMAND ${LUPDATE} ${OPTIONS} -I ${INCLUDE} ${SOURCES} -ts ${COPY}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${status}):\n${out}${err}")
endif()
file(READ ${TS} committed)
file(READ ${COPY} updated)
if(NOT committed STREQUAL updated)
  message(FATAL_ERROR "${TS} is not up to date with the window's texts (${out}): run "
                      "`cmake --build build --target update_translations`, translate the new "
                      "entries and commit the file; the updated copy is ${COPY}")
endif()
foreach(mark "type=\"unfinished\"" "type=\"vanished\"" "type=\"obsolete\"")
  string(FIND "${updated}" "${mark}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${TS} has an entry marked ${mark}: give it a finished translation")
  endif()
endforeach()
string(REGEX MATCHALL "<translation>" finished "${updated}")
string(REGEX MATCHALL "<source>" sources "${updated}")
list(LENGTH finished nFinished)
list(LENGTH sources nSources)
if(nSources EQUAL 0 OR NOT nFinished EQUAL nSources)
  message(FATAL_ERROR "${TS}: ${nFinished} finished translations for ${nSources} texts")
endif()
message(STATUS "${nSources} texts, all translated")
