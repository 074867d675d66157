# lpt_man_page(<target> <section> "<description>" [INCLUDE <file>])
#
# Makes the manual page of a program from its own --help and --version with help2man, at build
# time, and installs it gzipped under share/man/man<section>. The program must answer both
# options without a display (they are read before any window exists); QT_QPA_PLATFORM is set to
# offscreen anyway, so that a Qt program could not reach for one. INCLUDE names a help2man include
# file with extra sections (FILES, SEE ALSO ...). Turned off by -DLPT_MAN_PAGES=OFF, and skipped
# when cross-compiling, where the built program cannot run.
option(LPT_MAN_PAGES "Make and install the manual pages (needs help2man)" ON)
if(LPT_MAN_PAGES AND NOT CMAKE_CROSSCOMPILING)
  find_program(LPT_HELP2MAN help2man)
  find_program(LPT_GZIP gzip)
  if(NOT LPT_HELP2MAN OR NOT LPT_GZIP)
    message(WARNING "help2man or gzip not found: no manual pages. Install them (scripts/deps.sh) "
                    "or configure with -DLPT_MAN_PAGES=OFF.")
  endif()
endif()

function(lpt_man_page target section description)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "INCLUDE" "")
  if(NOT LPT_MAN_PAGES OR CMAKE_CROSSCOMPILING OR NOT LPT_HELP2MAN OR NOT LPT_GZIP)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.${section})
  set(include_args "")
  set(depends ${target})
  if(arg_INCLUDE)
    set(include_args --include=${arg_INCLUDE})
    list(APPEND depends ${arg_INCLUDE})
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${LPT_HELP2MAN} --no-info --no-discard-stderr --section=${section}
            --name=${description} ${include_args} --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${LPT_GZIP} -9nf ${page}
    DEPENDS ${depends}
    COMMENT "Manual page ${target}.${section}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
