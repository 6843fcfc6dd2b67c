# The launcher, run for real against a stand-in game in a throwaway tree: reached through a
# symlink from elsewhere and from a path with a space, it must start ../lib/kromi/kromi relative
# to where it really is and hand the arguments over untouched.
#   -D LAUNCHER= -D WORK_DIR=
cmake_minimum_required(VERSION 3.25)
set(root "${WORK_DIR}/staged tree")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY "${root}/usr/bin" "${root}/usr/lib/kromi" ${WORK_DIR}/elsewhere)
file(COPY ${LAUNCHER} DESTINATION "${root}/usr/bin"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(WRITE "${WORK_DIR}/stub" "#!/bin/sh\nprintf 'game=%s\\n' \"$0\"\nfor a in \"$@\"; do printf 'arg=[%s]\\n' \"$a\"; done\n")
file(COPY "${WORK_DIR}/stub" DESTINATION "${root}/usr/lib/kromi"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(RENAME "${root}/usr/lib/kromi/stub" "${root}/usr/lib/kromi/kromi")
file(CREATE_LINK "${root}/usr/bin/kromi" ${WORK_DIR}/elsewhere/kromi SYMBOLIC)
# The launcher sees its directory with every link resolved.
file(REAL_PATH "${root}" root)

foreach(start "${root}/usr/bin/kromi" "${WORK_DIR}/elsewhere/kromi")
  execute_process(COMMAND "${start}" "two words" "" "--x"
                  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  set(want "game=${root}/usr/bin/../lib/kromi/kromi\narg=[two words]\narg=[]\narg=[--x]\n")
  if(NOT rc EQUAL 0 OR NOT out STREQUAL want)
    message(FATAL_ERROR "launcher started as ${start} (exit ${rc}) gave\n${out}\nwanted\n${want}")
  endif()
endforeach()
