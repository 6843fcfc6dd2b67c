# Installs the build into a throwaway DESTDIR with prefix /usr, as a distribution package or
# the end-to-end test does, and checks the tree: exactly the expected files, the command and the
# cues reached through relative links that stay inside the tree, the desktop entry valid, and each
# icon the one drawn for its size.
#   -D BUILD_DIR= -D WORK_DIR= -D VERSION= -D ICON_DIR= -D DESKTOP_FILE_VALIDATE=
cmake_minimum_required(VERSION 3.25)
set(dest ${WORK_DIR}/destdir)
file(REMOVE_RECURSE ${dest})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${dest}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${log}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/layout.cmake)
set(want ${installed_files})
file(GLOB_RECURSE got LIST_DIRECTORIES false RELATIVE ${dest} ${dest}/*)
list(SORT want)
list(SORT got)
if(NOT got STREQUAL want)
  string(REPLACE ";" "\n  " got_lines "${got}")
  string(REPLACE ";" "\n  " want_lines "${want}")
  message(FATAL_ERROR "installed files:\n  ${got_lines}\nwanted:\n  ${want_lines}")
endif()

execute_process(COMMAND test -x ${dest}/usr/lib/games/kromi/kromi RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "usr/lib/games/kromi/kromi is not executable")
endif()
# The game looks for its cues beside its resolved executable. A link that is absolute, or that
# leads anywhere else, would leave a staged or relocated tree without its cues or its game.
file(REAL_PATH ${dest} root)
function(expect_link path target)
  if(NOT IS_SYMLINK ${dest}/${path})
    message(FATAL_ERROR "${path} is no symbolic link")
  endif()
  file(READ_SYMLINK ${dest}/${path} link)
  file(REAL_PATH ${dest}/${path} resolved)
  if(IS_ABSOLUTE "${link}" OR NOT resolved STREQUAL "${root}/${target}" OR NOT EXISTS ${resolved}
     OR IS_DIRECTORY ${resolved})
    message(FATAL_ERROR "${path} -> ${link} does not lead to the file ${target} in the same tree")
  endif()
endfunction()
expect_link(usr/games/kromi usr/lib/games/kromi/kromi)
foreach(cue IN LISTS cues)
  expect_link(usr/lib/games/kromi/${cue} usr/share/games/kromi/${cue})
endforeach()

foreach(size 32 64 128)
  file(SHA256 ${ICON_DIR}/kromi-${size}.png drawn)
  file(SHA256 ${dest}/usr/share/icons/hicolor/${size}x${size}/apps/kromi.png installed)
  if(NOT drawn STREQUAL installed)
    message(FATAL_ERROR "the ${size}x${size} icon is not the one drawn at ${size} pixels")
  endif()
endforeach()

set(desktop ${dest}/usr/share/applications/kromi.desktop)
if(NOT EXISTS "${DESKTOP_FILE_VALIDATE}")
  message(FATAL_ERROR "desktop-file-validate not found (Debian package desktop-file-utils)")
endif()
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop} OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
# Hints and warnings count too: they are what a distribution's checks would complain about.
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate (${rc}):\n${out}")
endif()
file(READ ${desktop} entry)
set(entry "\n${entry}")
foreach(line Name=Kromi Type=Application Exec=kromi Icon=kromi Terminal=false X-Kromi-Version=${VERSION})
  string(FIND "${entry}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks the line ${line}")
  endif()
endforeach()
# Both languages of the comment, and the game among the games.
foreach(pattern "\nComment=[^\n]" "\nComment\\[sv\\]=[^\n]" "\nCategories=Game;")
  if(NOT entry MATCHES "${pattern}")
    message(FATAL_ERROR "desktop entry has no line matching ${pattern}")
  endif()
endforeach()
