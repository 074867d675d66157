# `cpack -G DEB` in the build folder: lpt-eeprom_<version>_<arch>.deb from the install rules,
# stripped, its library dependencies found by dpkg-shlibdeps (package dpkg-dev). Include this
# after every install rule.
set(LPT_PACKAGE_MAINTAINER "lpt-eeprom developers <lpt-eeprom@localhost>" CACHE STRING
    "The Maintainer field of the package: \"Name <address>\"")

set(CPACK_PACKAGE_NAME lpt-eeprom)
set(CPACK_PACKAGE_VENDOR "the lpt-eeprom developers")
set(CPACK_PACKAGE_CONTACT "${LPT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "read, scan and write a 2 KB I2C EEPROM on the PC parallel port")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop tool for a 2 KB two-wire (I2C) serial EEPROM wired straight to
a PC parallel port, with no interface chip: every clock edge and data bit
is one port call through the Linux ppdev driver. It reads the memory in
blocks or byte by byte, lists the device addresses that answer, and
writes test patterns, showing the contents as a hexadecimal and character
dump.
.
lpt-eeprom-sim opens the same window over a simulated port and memory, to
try the tool without hardware. lpt-eeprom-cli scans, reads, writes,
verifies and erases the memory from a terminal or a script.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/\\\\.cache/" "\\\\.swp$")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LPT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file dialog, message box buttons) in the window's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
# i2cdetect, to find a kernel I2C adapter for --port /dev/i2c-N.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS i2c-tools)

include(CPack)
