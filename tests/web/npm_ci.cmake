# Installs the suite's node packages from the lockfile when they are missing or older than it.
# npm ci writes node_modules/.package-lock.json last, so its age is the install's.
# cmake -DNPM=<npm> -DDIR=<tests/web> -P npm_ci.cmake
set(installed ${DIR}/node_modules/.package-lock.json)
if(EXISTS ${installed} AND NOT ${DIR}/package-lock.json IS_NEWER_THAN ${installed})
  message(STATUS "node packages in ${DIR}/node_modules are current")
  return()
endif()
# The suite drives the system's Chromium: nothing may download a browser of its own.
set(ENV{PUPPETEER_SKIP_DOWNLOAD} 1)
execute_process(COMMAND ${NPM} ci --no-audit --no-fund WORKING_DIRECTORY ${DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "npm ci in ${DIR} failed (${failed})")
endif()
