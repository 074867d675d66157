# Stripping at install time.
#
# A Release or MinSizeRel build installs stripped programs by default, as `cmake --install build
# --strip` would; `cmake --install` of any other build type leaves them as built (a distribution's
# own packaging keeps the symbols to split them off). This rule runs first in the install script,
# before every directory's own rules, and an explicit CMAKE_INSTALL_DO_STRIP wins.
install(CODE [[
  if(NOT DEFINED CMAKE_INSTALL_DO_STRIP
     AND CMAKE_INSTALL_CONFIG_NAME MATCHES "^(Release|MinSizeRel)$")
    set(CMAKE_INSTALL_DO_STRIP 1)
  endif()
]])
