# Installed layout (relative to the prefix):
#   lib/kromi/kromi + the four cues   the game looks for its cues beside its own executable
#   bin/kromi                          launcher script, what PATH and the desktop entry find
#   share/applications/kromi.desktop
#   share/icons/hicolor/NxN/apps/kromi.png
# Everything is relative, so a DESTDIR staging tree works as well as the real prefix.
include(GNUInstallDirs)

file(GLOB KROMI_INSTALL_SOUNDS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/sounds/*.wav)

if(WIN32)
  # Windows finds the cues beside Kromi.exe just the same, and needs no launcher.
  install(TARGETS kromi RUNTIME DESTINATION .)
  install(FILES ${KROMI_INSTALL_SOUNDS} DESTINATION .)
  return()
endif()

set(KROMI_INSTALL_GAMEDIR lib/kromi CACHE STRING
    "Directory, relative to the prefix, that holds the game's executable and its cues")

install(TARGETS kromi RUNTIME DESTINATION ${KROMI_INSTALL_GAMEDIR})
install(FILES ${KROMI_INSTALL_SOUNDS} DESTINATION ${KROMI_INSTALL_GAMEDIR})

# The launcher reaches the game by a path relative to itself, never through the prefix.
file(RELATIVE_PATH KROMI_LAUNCHER_TARGET /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KROMI_INSTALL_GAMEDIR}/kromi)
configure_file(${PROJECT_SOURCE_DIR}/packaging/kromi-launcher.sh.in ${KROMI_PACKAGING_DIR}/launcher/kromi @ONLY)
install(PROGRAMS ${KROMI_PACKAGING_DIR}/launcher/kromi DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${PROJECT_SOURCE_DIR}/packaging/kromi.desktop.in ${KROMI_PACKAGING_DIR}/kromi.desktop @ONLY)
install(FILES ${KROMI_PACKAGING_DIR}/kromi.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size IN LISTS KROMI_ICON_SIZES)
  install(FILES ${KROMI_PACKAGING_DIR}/kromi-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kromi.png)
endforeach()
