# lpt_version: an interface target that gives its users the generated "version.h" (lpt::kVersion).
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/version.h
               @ONLY)
add_library(lpt_version INTERFACE)
target_include_directories(lpt_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
