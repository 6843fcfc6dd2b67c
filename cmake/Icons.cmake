# The icon files are drawn from the artwork at build time, so they always match what the game
# shows. The sizes are those the desktop looks for in the hicolor theme.
set(KROMI_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(KROMI_ICON_SIZES 32 64 128)
set(KROMI_ICO ${KROMI_PACKAGING_DIR}/kromi.ico)

set(KROMI_ICON_FILES ${KROMI_ICO})
foreach(size IN LISTS KROMI_ICON_SIZES)
  list(APPEND KROMI_ICON_FILES ${KROMI_PACKAGING_DIR}/kromi-${size}.png)
endforeach()
add_custom_command(OUTPUT ${KROMI_ICON_FILES}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KROMI_PACKAGING_DIR}
                   COMMAND kromi_icongen ${KROMI_PACKAGING_DIR} ${KROMI_ICON_SIZES}
                   DEPENDS kromi_icongen
                   COMMENT "Drawing the icons from the artwork" VERBATIM)
add_custom_target(kromi_icons ALL DEPENDS ${KROMI_ICON_FILES})
