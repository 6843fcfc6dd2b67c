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
  set(CPACK_GENERATOR ZIP)
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

if(KROMI_TESTS)
  add_subdirectory(tests/packaging)
endif()
