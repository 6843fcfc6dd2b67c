# Builds the Debian package from the build directory with cpack, into a directory of its own,
# and reads it back with dpkg-deb: its name, its control fields, and its file list; then lets
# lintian judge it against Debian's rules and appstreamcli the metainfo it carries.
#   -D BUILD_DIR= -D WORK_DIR= -D VERSION=
cmake_minimum_required(VERSION 3.25)
foreach(tool cpack dpkg-deb dpkg dpkg-shlibdeps file gzip appstreamcli)
  find_program(found_${tool} ${tool})
  if(NOT found_${tool})
    message(FATAL_ERROR "${tool} not found (Debian packages cmake, dpkg-dev, file, gzip, appstream)")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${found_cpack} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR}
                OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed (${rc}):\n${log}")
endif()

execute_process(COMMAND ${found_dpkg} --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
file(GLOB debs RELATIVE ${WORK_DIR} ${WORK_DIR}/*.deb)
if(NOT debs STREQUAL "kromi_${VERSION}_${arch}.deb")
  message(FATAL_ERROR "cpack made [${debs}], wanted kromi_${VERSION}_${arch}.deb")
endif()
set(deb ${WORK_DIR}/${debs})

function(field name out)
  execute_process(COMMAND ${found_dpkg-deb} -f ${deb} ${name} OUTPUT_VARIABLE value RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${name} (${rc})")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

foreach(pair "Package=kromi" "Version=${VERSION}" "Architecture=${arch}" "Section=games")
  string(REGEX REPLACE "=.*" "" name "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" want "${pair}")
  field(${name} got)
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "${name}: [${got}], wanted [${want}]")
  endif()
endforeach()
field(Maintainer maintainer)
if(NOT maintainer MATCHES "^[^<]+ <[^@>]+@[^>]+>$")
  message(FATAL_ERROR "Maintainer is no 'Name <address>': [${maintainer}]")
endif()
# A one-line summary, then the long text indented below it, not the summary again.
field(Description about)
if(NOT about MATCHES "^([^\n]+)\n ([^\n]+)")
  message(FATAL_ERROR "no summary line and long text:\n${about}")
endif()
if(CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
  message(FATAL_ERROR "the long text repeats the summary:\n${about}")
endif()

# What dpkg-shlibdeps found in the executable: the runtime libraries it links, never their
# development packages.
field(Depends depends)
message(STATUS "Depends: ${depends}")
string(REPLACE "," ";" depends_list "${depends}")
set(names)
foreach(entry IN LISTS depends_list)
  string(REGEX MATCH "[a-z0-9][a-z0-9.+-]+" name "${entry}")
  list(APPEND names ${name})
endforeach()
foreach(need libc6 libsdl2-2.0-0 libfreetype6 libfontconfig1)
  if(NOT need IN_LIST names)
    message(FATAL_ERROR "Depends lacks ${need}: ${depends}")
  endif()
endforeach()
foreach(name IN LISTS names)
  if(name MATCHES "-dev$")
    message(FATAL_ERROR "Depends names a development package: ${depends}")
  endif()
endforeach()

# Without a decoration plugin a Wayland desktop that wants client-side decorations shows the
# window with no title bar and no close button.
field(Recommends recommends)
if(NOT recommends MATCHES "(^|, )libdecor-0-plugin-1-cairo($|,| )")
  message(FATAL_ERROR "Recommends lacks libdecor-0-plugin-1-cairo: [${recommends}]")
endif()

# Contents: the installed layout under /usr, owned by root, programs runnable, data not.
execute_process(COMMAND ${found_dpkg-deb} -c ${deb} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-deb -c failed (${rc})")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" listing "${listing}")
set(files)
foreach(line IN LISTS listing)
  if(NOT line MATCHES "^([-dlrwxs]+) ([^ ]+) +[0-9]+ [-0-9]+ [:0-9]+ \\./(.*)$")
    message(FATAL_ERROR "unexpected dpkg-deb -c line: ${line}")
  endif()
  set(mode ${CMAKE_MATCH_1})
  set(owner ${CMAKE_MATCH_2})
  set(path ${CMAKE_MATCH_3})
  if(NOT owner STREQUAL "root/root")
    message(FATAL_ERROR "${path} belongs to ${owner}")
  endif()
  if(mode MATCHES "^d")
    continue()
  endif()
  if(mode MATCHES "^l")
    string(REGEX REPLACE " -> .*" "" path "${path}")
    list(APPEND files ${path})
    continue()
  endif()
  list(APPEND files ${path})
  set(want_mode -rw-r--r--)
  if(path STREQUAL "usr/lib/games/kromi/kromi")
    set(want_mode -rwxr-xr-x)
  endif()
  if(NOT mode STREQUAL want_mode)
    message(FATAL_ERROR "${path} has mode ${mode}, wanted ${want_mode}")
  endif()
endforeach()
set(cues Boom.wav Ny.wav Pot.wav Visa.wav)
set(want
    usr/games/kromi
    usr/lib/games/kromi/kromi
    usr/share/applications/kromi.desktop
    usr/share/doc/kromi/changelog.gz
    usr/share/doc/kromi/copyright
    usr/share/icons/hicolor/128x128/apps/kromi.png
    usr/share/icons/hicolor/32x32/apps/kromi.png
    usr/share/icons/hicolor/64x64/apps/kromi.png
    usr/share/man/man6/kromi.6.gz
    usr/share/metainfo/org.kromi.kromi.metainfo.xml)
foreach(cue IN LISTS cues)
  list(APPEND want usr/lib/games/kromi/${cue} usr/share/games/kromi/${cue})
endforeach()
list(SORT files)
list(SORT want)
if(NOT files STREQUAL want)
  string(REPLACE ";" "\n  " files "${files}")
  message(FATAL_ERROR "package holds:\n  ${files}")
endif()

# The debug information stays in the build; the packaged game is stripped, and stripping left
# the links links: the command leads to the game, and the game finds a real file for each cue.
set(root ${WORK_DIR}/root)
execute_process(COMMAND ${found_dpkg-deb} -x ${deb} ${root} RESULT_VARIABLE rc)
file(REAL_PATH ${root} root)
set(game ${root}/usr/lib/games/kromi/kromi)
execute_process(COMMAND ${found_file} -b ${game} OUTPUT_VARIABLE kind)
if(NOT rc EQUAL 0 OR NOT kind MATCHES "ELF" OR NOT kind MATCHES ", stripped")
  message(FATAL_ERROR "packaged game is not a stripped executable: ${kind}")
endif()
file(REAL_PATH ${root}/usr/games/kromi command)
if(NOT IS_SYMLINK ${root}/usr/games/kromi OR NOT command STREQUAL game)
  message(FATAL_ERROR "usr/games/kromi is no link to the game, it leads to ${command}")
endif()
foreach(cue IN LISTS cues)
  file(REAL_PATH ${root}/usr/lib/games/kromi/${cue} sound)
  if(NOT sound STREQUAL "${root}/usr/share/games/kromi/${cue}" OR IS_DIRECTORY ${sound} OR NOT EXISTS ${sound})
    message(FATAL_ERROR "the game finds no ${cue} beside it: the link leads to ${sound}")
  endif()
endforeach()

# The changelog and the metainfo name the release being packaged.
execute_process(COMMAND ${found_gzip} -dc ${root}/usr/share/doc/kromi/changelog.gz OUTPUT_VARIABLE changelog)
if(NOT changelog MATCHES "^kromi \\(${VERSION}\\) ")
  message(FATAL_ERROR "the changelog's latest entry is not ${VERSION}:\n${changelog}")
endif()
set(metainfo ${root}/usr/share/metainfo/org.kromi.kromi.metainfo.xml)
file(READ ${metainfo} about)
if(NOT about MATCHES "<release version=\"${VERSION}\" date=\"[0-9]+-[0-9]+-[0-9]+\"")
  message(FATAL_ERROR "the metainfo has no dated release ${VERSION}")
endif()
execute_process(COMMAND ${found_appstreamcli} validate --no-net ${metainfo}
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "appstreamcli validate (${rc}):\n${out}")
endif()

# Debian's own judgement: its errors and warnings fail; its hints are shown.
find_program(found_lintian lintian)
if(NOT found_lintian)
  message(STATUS "SKIPPED lintian: not installed (Debian package lintian; scripts/setup installs it)")
  return()
endif()
execute_process(COMMAND ${found_lintian} --fail-on error,warning --display-info ${deb}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
message(STATUS "lintian (${rc}):\n${out}")
if(NOT rc EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian finds fault with the package (${rc}):\n${out}${err}")
endif()
