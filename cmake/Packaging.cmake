# The Debian package: everything `cmake --install` puts in place, under /usr. Built with
# `cpack -G DEB` in a configured and built folder (scripts/package.sh does all three steps).
# Its dependencies are worked out by dpkg-shlibdeps from the programs' shared libraries, so the
# package asks for the zlib, minizip, Qt and C++ runtime packages of the machine it was built on.

set(KVX_PACKAGE_MAINTAINER "KVX-01 Upgrader maintainers <kvx-upgrader@users.noreply.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME kvx-upgrader)
set(CPACK_PACKAGE_VENDOR "OKVI")
set(CPACK_PACKAGE_CONTACT "${KVX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware upgrader for the Velmora KVX-01 satellite terminal")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugins (xcb, wayland) at run time, out of dpkg-shlibdeps' sight, and
# libqt6gui6 only recommends them: without them kvx-upgrader cannot open a window.
if(KVX_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Several trace lines are in Korean: without a Hangul font the log window shows boxes.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
endif()
# The summary above is the synopsis line; this is the long description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finds the terminal on its serial port, identifies it through an AT-command
dialogue, checks the image against fixed version rules and sends it in
compressed, numbered, CRC-checked segments.
.
Holds kvx-upgrader (the Qt operator program, when built), kvx-flash (the
headless front end for scripts and production lines), kvx-sim (a simulated
terminal on a pseudo-terminal) and kvx-mkimage (sample firmware images).")

include(CPack)
