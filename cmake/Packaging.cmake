# `make package` (or `cpack -G DEB` in the build folder): a Debian package of what
# `cmake --install` installs, under /usr. Its dependencies are computed from the
# program's binary by dpkg-shlibdeps (Debian package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION "${LVOV_PACKAGE_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "emulator of the PK-01 Lvov home computer")
set(CPACK_PACKAGE_DESCRIPTION "An emulator of the PK-01 Lvov, a Soviet home computer built around the Intel 8080.
It loads tape images (.lvt), memory dumps (.sav) and snapshots (.NevLVE), keeps
snapshots and the last session, and has a debugger with a disassembler. It boots
into a monitor firmware of its own; the machine's original firmware is not included.")
set(LVOV_PACKAGE_MAINTAINER "NEV emulator developers <nevemulator@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${LVOV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LVOV_HOMEPAGE_URL}")
include(CPack)
