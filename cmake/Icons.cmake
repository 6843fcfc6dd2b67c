# The icon files are drawn from the artwork at build time, so they always match what the game
# shows. The sizes are those desktops look for in the hicolor theme; kromi.svg is the scalable one.
set(KROMI_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(KROMI_ICON_SIZES 16 24 32 48 64 128 256)
set(KROMI_ICO ${KROMI_PACKAGING_DIR}/kromi.ico)
set(KROMI_SVG ${KROMI_PACKAGING_DIR}/kromi.svg)

set(KROMI_ICON_FILES ${KROMI_ICO} ${KROMI_SVG})
foreach(size IN LISTS KROMI_ICON_SIZES)
  list(APPEND KROMI_ICON_FILES ${KROMI_PACKAGING_DIR}/kromi-${size}.png)
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/IconGen.cmake)
add_custom_command(OUTPUT ${KROMI_ICON_FILES}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KROMI_PACKAGING_DIR}
                   COMMAND ${KROMI_ICONGEN_COMMAND} ${KROMI_PACKAGING_DIR} ${KROMI_ICON_SIZES}
                   DEPENDS ${KROMI_ICONGEN_DEPENDS}
                   COMMENT "Drawing the icons from the artwork" VERBATIM)
add_custom_target(kromi_icons ALL DEPENDS ${KROMI_ICON_FILES})
