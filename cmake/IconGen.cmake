# A cross build cannot run what it builds: it draws with the build machine's kromi_icongen.
if(CMAKE_CROSSCOMPILING)
  set(KROMI_ICONGEN "" CACHE FILEPATH
      "kromi_icongen built for the build machine (scripts/windows and scripts/web build it)")
  if(NOT EXISTS "${KROMI_ICONGEN}")
    message(FATAL_ERROR "Set KROMI_ICONGEN to a kromi_icongen built for this machine "
                        "(cmake --build --preset release --target kromi_icongen); "
                        "scripts/windows and scripts/web do it all")
  endif()
  set(KROMI_ICONGEN_COMMAND ${KROMI_ICONGEN})
  set(KROMI_ICONGEN_DEPENDS ${KROMI_ICONGEN})
else()
  set(KROMI_ICONGEN_COMMAND kromi_icongen)
  set(KROMI_ICONGEN_DEPENDS kromi_icongen)
endif()
