# Installed layout (relative to the prefix), as Debian lays out a game:
#   games/kromi                          link to the game: what PATH and the desktop entry find
#   lib/games/kromi/kromi                the game, which looks for its cues beside its own executable
#   lib/games/kromi/{Boom,Ny,Pot,Visa}.wav   links to the cues, so the game finds them there
#   share/games/kromi/{Boom,Ny,Pot,Visa}.wav the cues themselves
#   share/applications/kromi.desktop
#   share/icons/hicolor/NxN/apps/kromi.png, share/icons/hicolor/scalable/apps/kromi.svg
#   share/metainfo/org.kromi.kromi.metainfo.xml
#   share/man/man6/kromi.6.gz
#   share/doc/kromi/copyright, share/doc/kromi/changelog.gz
# The game locates itself through /proc/self/exe, which has every link resolved, so started as
# games/kromi it still looks in lib/games/kromi. Every link is relative, so a DESTDIR staging tree
# or another prefix works as well as /usr.
include(GNUInstallDirs)

list(TRANSFORM KROMI_SOUNDS PREPEND ${PROJECT_SOURCE_DIR}/res/sounds/ OUTPUT_VARIABLE KROMI_INSTALL_SOUNDS)

if(WIN32)
  # Windows finds the cues beside Kromi.exe just the same, and needs no launcher.
  install(TARGETS kromi RUNTIME DESTINATION .)
  install(FILES ${KROMI_INSTALL_SOUNDS} DESTINATION .)
  return()
endif()

# Not GNUInstallDirs' libdir: on Debian that is a multiarch directory, and a game keeps its
# private files in lib/games whatever the architecture.
set(KROMI_INSTALL_COMMANDDIR games)
set(KROMI_INSTALL_GAMEDIR lib/games/kromi)
set(KROMI_INSTALL_SOUNDDIR share/games/kromi)

install(TARGETS kromi RUNTIME DESTINATION ${KROMI_INSTALL_GAMEDIR})
install(FILES ${KROMI_INSTALL_SOUNDS} DESTINATION ${KROMI_INSTALL_SOUNDDIR})

# The links are made in the build tree and installed as they are: install() copies a link as a
# link, and a relative one stays right wherever the tree lands.
set(links ${KROMI_PACKAGING_DIR}/links)
file(REMOVE_RECURSE ${links})
file(MAKE_DIRECTORY ${links}/command ${links}/game)
file(RELATIVE_PATH to_game /prefix/${KROMI_INSTALL_COMMANDDIR} /prefix/${KROMI_INSTALL_GAMEDIR}/kromi)
file(CREATE_LINK ${to_game} ${links}/command/kromi SYMBOLIC)
install(FILES ${links}/command/kromi DESTINATION ${KROMI_INSTALL_COMMANDDIR})
file(RELATIVE_PATH to_sounds /prefix/${KROMI_INSTALL_GAMEDIR} /prefix/${KROMI_INSTALL_SOUNDDIR})
foreach(sound IN LISTS KROMI_SOUNDS)
  file(CREATE_LINK ${to_sounds}/${sound} ${links}/game/${sound} SYMBOLIC)
  install(FILES ${links}/game/${sound} DESTINATION ${KROMI_INSTALL_GAMEDIR})
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/packaging/kromi.desktop.in ${KROMI_PACKAGING_DIR}/kromi.desktop @ONLY)
install(FILES ${KROMI_PACKAGING_DIR}/kromi.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.kromi.kromi.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size IN LISTS KROMI_ICON_SIZES)
  install(FILES ${KROMI_PACKAGING_DIR}/kromi-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kromi.png)
endforeach()
install(FILES ${KROMI_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual page and the changelog go compressed, without gzip's name and time stamp, so the
# same sources always give the same package. The package is native (its version has no Debian
# revision), so its changelog is changelog.gz, not changelog.Debian.gz.
find_program(KROMI_GZIP gzip REQUIRED)
set(KROMI_MAN_PAGE ${KROMI_PACKAGING_DIR}/doc/kromi.6.gz)
set(KROMI_CHANGELOG ${KROMI_PACKAGING_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${KROMI_MAN_PAGE} ${KROMI_CHANGELOG}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KROMI_PACKAGING_DIR}/doc
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/kromi.6
                           ${PROJECT_SOURCE_DIR}/packaging/changelog ${KROMI_PACKAGING_DIR}/doc
                   COMMAND ${KROMI_GZIP} -9nf ${KROMI_PACKAGING_DIR}/doc/kromi.6
                           ${KROMI_PACKAGING_DIR}/doc/changelog
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/kromi.6 ${PROJECT_SOURCE_DIR}/packaging/changelog
                   COMMENT "Compressing the manual page and the changelog" VERBATIM)
add_custom_target(kromi_docs ALL DEPENDS ${KROMI_MAN_PAGE} ${KROMI_CHANGELOG})
install(FILES ${KROMI_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${KROMI_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
