# Run by cpack before (CPACK_PRE_BUILD_SCRIPTS) and after (CPACK_POST_BUILD_SCRIPTS) each
# generator packs the staged files. CPack lists those files in the order the file system reads
# the staging directory, which differs from one file system to the next; the .deb is sorted,
# but the ZIP's members and the uninstaller's list of files to delete are not. Both are put in
# name order here, so another machine builds the same bytes.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
     ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
list(SORT files)

if(CPACK_GENERATOR STREQUAL "NSIS" AND NOT DEFINED CPACK_PACKAGE_FILES)
  # CPack writes its own list only when none is set.
  set(CPACK_NSIS_DELETE_FILES "")
  foreach(file IN LISTS files)
    string(REPLACE "/" "\\" file "${file}")
    string(APPEND CPACK_NSIS_DELETE_FILES "  Delete \"$INSTDIR\\${file}\"\n")
  endforeach()
elseif(CPACK_GENERATOR STREQUAL "ZIP" AND DEFINED CPACK_PACKAGE_FILES)
  # The same archive again, its members in order. cmake -E tar also takes the times from
  # SOURCE_DATE_EPOCH (cmake/PackageStage.cmake).
  get_filename_component(stage_name ${CPACK_TEMPORARY_INSTALL_DIRECTORY} NAME)
  get_filename_component(stage_parent ${CPACK_TEMPORARY_INSTALL_DIRECTORY} DIRECTORY)
  set(members ${files})
  if(CPACK_INCLUDE_TOPLEVEL_DIRECTORY)
    list(TRANSFORM members PREPEND ${stage_name}/)
    set(from ${stage_parent})
  else()
    set(from ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
  endif()
  file(REMOVE ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND ${CMAKE_COMMAND} -E chdir ${from}
                          ${CMAKE_COMMAND} -E tar cf ${CPACK_PACKAGE_FILES} --format=zip -- ${members}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not write ${CPACK_PACKAGE_FILES} again (${rc})")
  endif()
endif()
