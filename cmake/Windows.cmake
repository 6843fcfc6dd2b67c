# The Windows executable carries a version block and the icon. The script is configured on every
# platform so the packaging tests can compile it with a cross resource compiler here too.
set(KROMI_ICO_PATH ${KROMI_ICO})
set(KROMI_MANIFEST_PATH ${PROJECT_SOURCE_DIR}/packaging/kromi.manifest)
set(KROMI_RC ${KROMI_PACKAGING_DIR}/kromi.rc)
configure_file(${PROJECT_SOURCE_DIR}/packaging/kromi.rc.in ${KROMI_RC} @ONLY)

if(WIN32)
  enable_language(RC)
  # The name Windows users and the version block know the game by.
  set_target_properties(kromi PROPERTIES OUTPUT_NAME Kromi)
  target_sources(kromi PRIVATE ${KROMI_RC})
  # The icon is drawn at build time: it must exist before the script compiles, and a new one
  # must recompile it.
  add_dependencies(kromi kromi_icons)
  set_source_files_properties(${KROMI_RC} TARGET_DIRECTORY kromi PROPERTIES OBJECT_DEPENDS ${KROMI_ICO})
endif()
