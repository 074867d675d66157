# lpt_layer(<target> <folder>): the target's public headers are those of src/<folder> and no others.
#
# The include root ${CMAKE_BINARY_DIR}/include/<folder> holds one entry, <folder>, a link to
# src/<folder>. So `#include "<folder>/x.h"` works for the target's own sources and for everything
# that links it, while a header of a folder the target does not link cannot be found: an include
# against the layering fails to build instead of passing unnoticed.
function(lpt_layer target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()
