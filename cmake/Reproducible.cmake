# The same commit gives the same bytes whatever path it is checked out at, whenever and under
# whatever umask it is built: scripts/reproducible builds it twice and compares the packages.
# Left alone, these would differ from one build to the next:
# - the checkout's own path, which __FILE__ and the debug information carry (and through the
#   debug information the build ID that the stripped, packaged game keeps);
# - the time mingw's ld writes into Kromi.exe's PE header (SOURCE_DATE_EPOCH when that is set,
#   else the link time);
# - the times and modes of the packaged files, and the times of what CPack writes itself:
#   cmake/PackageStage.cmake settles those when cpack runs, and the installer keeps no file
#   times at all (cmake/Packaging.cmake);
# - the order of the ZIP's members and of the uninstaller's list, which CPack takes from the
#   file system: cmake/PackageOrder.cmake sorts them.
set(kromi_prefix_maps -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
# A build directory outside the tree has a path of its own.
cmake_path(IS_PREFIX PROJECT_SOURCE_DIR ${PROJECT_BINARY_DIR} NORMALIZE kromi_binary_in_tree)
if(NOT kromi_binary_in_tree)
  list(APPEND kromi_prefix_maps -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
# Not for windres, which takes no such option.
foreach(map IN LISTS kromi_prefix_maps)
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:${map}>)
endforeach()

if(WIN32)
  add_link_options(LINKER:--no-insert-timestamp)
endif()

set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageStage.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageOrder.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageOrder.cmake)
# Where that script finds the commit whose time the packaged files take.
set(CPACK_KROMI_SOURCE_DIR ${PROJECT_SOURCE_DIR})
