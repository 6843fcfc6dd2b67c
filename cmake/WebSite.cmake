# Writes the site's service worker (cmake -P, with SITE and TEMPLATE): the list of files it keeps
# and a cache name from their content, so a new build replaces the kept copies and the same
# build always gives the same sw.js.
file(GLOB names RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM names sw.js)
list(SORT names)
set(all "")
set(KROMI_SITE_FILES "'./'")
foreach(name IN LISTS names)
  file(SHA256 ${SITE}/${name} hash)
  string(APPEND all "${name} ${hash}\n")
  string(APPEND KROMI_SITE_FILES ", '${name}'")
endforeach()
string(SHA256 version "${all}")
string(SUBSTRING ${version} 0 16 KROMI_SITE_VERSION)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
