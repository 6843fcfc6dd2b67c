# Read by cpack (CPACK_PROJECT_CONFIG_FILE) before each generator stages and packs the files, so
# that the .deb, the NSIS installer and the ZIP come out the same from any checkout.

# What SOURCE_DATE_EPOCH names, the DEB and ZIP generators give every member as its time (the
# files' own and what they write themselves: control, md5sums, the ar and gzip headers), and
# strip writes it into the PE header of the Kromi.exe it packs. Without one from outside it is
# the last commit's time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${CPACK_KROMI_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
  if(rc EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  else()
    message(WARNING "no git history in ${CPACK_KROMI_SOURCE_DIR} and no SOURCE_DATE_EPOCH: "
                    "the package takes today's times")
  endif()
endif()
# A ZIP stores its times as local time.
set(ENV{TZ} UTC)
# install() gives files fixed modes, but the directories it makes would follow the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
