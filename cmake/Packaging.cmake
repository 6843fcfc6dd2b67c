# The Debian package, made by `cpack` in a build directory: kromi_<version>_<arch>.deb.
# Its dependencies are not listed by hand: dpkg-shlibdeps reads them off the libraries the
# executable really links, so they stay right when the link line changes.
set(KROMI_PACKAGE_MAINTAINER "Kromi developers <kromi@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME kromi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "-")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "A random target colour is shown as a broad ring around the canvas. Mix your
own colour with three knobs for red, green and blue, ten steps each, until
the canvas matches the ring exactly. Keyboard (number pad) and mouse.")
set(CPACK_PACKAGE_CONTACT "${KROMI_PACKAGE_MAINTAINER}")
# The executable is built with debug information; the package leaves it out.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # A 64-bit NSIS installer (Kromi-1.00-win64.exe: Program Files\Kromi, a Start-menu shortcut, an
  # entry under Add or Remove Programs) and the same files as a portable ZIP.
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_PACKAGE_NAME Kromi)
  set(CPACK_PACKAGE_FILE_NAME "Kromi-${PROJECT_VERSION}-win64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Kromi)
  set(CPACK_PACKAGE_EXECUTABLES Kromi Kromi)
  set(CPACK_NSIS_DISPLAY_NAME Kromi)
  set(CPACK_NSIS_PACKAGE_NAME Kromi)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_INSTALLED_ICON_NAME Kromi.exe)
  set(CPACK_NSIS_MUI_ICON ${KROMI_ICO})
  set(CPACK_NSIS_MUI_UNIICON ${KROMI_ICO})
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # The default stub is 32-bit, which does nothing under a 64-bit-only Wine; this one runs on
  # every 64-bit Windows. Without SetDateSave off the installer keeps each file's time, among
  # them that of the options page CPack writes as it packs, so no two builds would match;
  # installed files take the time of their installation instead.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode\n  SetDateSave off")
  set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
  # The ZIP unpacks into one folder of its own.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KROMI_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # On Wayland desktops that leave window decorations to the program (GNOME, weston), SDL draws
  # the title bar and close button through libdecor, which needs a plugin to draw anything.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-cairo")
endif()

include(CPack)

if(BUILD_TESTING AND NOT WIN32)
  add_subdirectory(tests/packaging)
endif()
