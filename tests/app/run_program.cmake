# Runs a program as a user without a display would (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM
# unset) and checks its exit status and what it printed.
#   -DPROGRAM=<path> -DARGS=<arguments, separated by |> -DSTATUS=<expected exit status>
#   -DSTDOUT=<regex> -DSTDERR=<regex>   each checked when given; "^$" asks for no output at all
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${PROGRAM} ${args} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err TIMEOUT 30)
set(failed "")
if(NOT status STREQUAL STATUS)
  string(APPEND failed "exit status ${status}, expected ${STATUS}\n")
endif()
if(DEFINED STDOUT AND NOT STDOUT STREQUAL "" AND NOT out MATCHES "${STDOUT}")
  string(APPEND failed "stdout does not match: ${STDOUT}\n")
endif()
if(DEFINED STDERR AND NOT STDERR STREQUAL "" AND NOT err MATCHES "${STDERR}")
  string(APPEND failed "stderr does not match: ${STDERR}\n")
endif()
if(failed)
  message(FATAL_ERROR "${PROGRAM} ${args}\n${failed}--- stdout:\n${out}--- stderr:\n${err}")
endif()
