# The page: kromi.js and kromi.wasm with index.html, the cues, the icons, the web app manifest and
# the service worker, in one folder that any static web server can serve (build/web/site).
# The web preset builds MinSizeRel: smaller code compiles sooner in the browser, and a frame costs
# a few milliseconds at most either way.
target_link_options(kromi PRIVATE
  -Os
  -sENVIRONMENT=web             # no Node or worker code in kromi.js
  -sFILESYSTEM=0                # the cues come by fetch, not through a file system
  -sALLOW_MEMORY_GROWTH=1       # text masks at a high scale may need more than the first 16 MiB
  -sEXPORTED_FUNCTIONS=_main,_malloc,_free
  -sINCOMING_MODULE_JS_API=onAbort,onFirstFrame,instantiateWasm
  -sSUPPORT_LONGJMP=0
  -sTEXTDECODER=2)              # every browser that runs WebAssembly has TextDecoder
set_target_properties(kromi PROPERTIES SUFFIX .js)

set(KROMI_SITE_DIR ${CMAKE_BINARY_DIR}/site)
set(KROMI_WEB_ICONS ${CMAKE_BINARY_DIR}/webicons)
include(${CMAKE_CURRENT_LIST_DIR}/IconGen.cmake)
add_custom_command(OUTPUT ${KROMI_WEB_ICONS}/kromi-32.png ${KROMI_WEB_ICONS}/kromi-192.png ${KROMI_WEB_ICONS}/kromi-512.png
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KROMI_WEB_ICONS}
                   COMMAND ${KROMI_ICONGEN_COMMAND} ${KROMI_WEB_ICONS} 32 192 512
                   DEPENDS ${KROMI_ICONGEN_DEPENDS}
                   COMMENT "Drawing the page's icons from the artwork" VERBATIM)

set(web ${PROJECT_SOURCE_DIR}/packaging/web)
list(TRANSFORM KROMI_SOUNDS PREPEND ${PROJECT_SOURCE_DIR}/res/sounds/ OUTPUT_VARIABLE KROMI_WEB_SOUNDS)
add_custom_command(
  OUTPUT ${KROMI_SITE_DIR}/sw.js
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KROMI_SITE_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KROMI_SITE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${web}/index.html ${web}/manifest.webmanifest $<TARGET_FILE:kromi>
          $<TARGET_FILE_DIR:kromi>/kromi.wasm ${KROMI_SITE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${KROMI_WEB_SOUNDS} ${KROMI_SITE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${KROMI_WEB_ICONS}/kromi-32.png ${KROMI_SITE_DIR}/favicon.png
  COMMAND ${CMAKE_COMMAND} -E copy ${KROMI_WEB_ICONS}/kromi-192.png ${KROMI_SITE_DIR}/icon-192.png
  COMMAND ${CMAKE_COMMAND} -E copy ${KROMI_WEB_ICONS}/kromi-512.png ${KROMI_SITE_DIR}/icon-512.png
  COMMAND ${CMAKE_COMMAND} -DSITE=${KROMI_SITE_DIR} -DTEMPLATE=${web}/sw.js.in -P ${PROJECT_SOURCE_DIR}/cmake/WebSite.cmake
  DEPENDS kromi ${KROMI_WEB_SOUNDS} ${web}/index.html ${web}/manifest.webmanifest ${web}/sw.js.in ${PROJECT_SOURCE_DIR}/cmake/WebSite.cmake
          ${KROMI_WEB_ICONS}/kromi-32.png ${KROMI_WEB_ICONS}/kromi-192.png ${KROMI_WEB_ICONS}/kromi-512.png
  COMMENT "Putting the site together in ${KROMI_SITE_DIR}" VERBATIM)
add_custom_target(kromi_site ALL DEPENDS ${KROMI_SITE_DIR}/sw.js)
