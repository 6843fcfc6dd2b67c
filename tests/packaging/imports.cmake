# The functions Kromi.exe imports, as its import table names them (objdump -p). Windows 7 SP1's
# loader refuses a program that imports a single function it lacks, before any of its code runs:
# none of the newer ones below may appear, nor any DLL that Windows 7 does not have.
#   -D OBJDUMP= -D EXE=
cmake_minimum_required(VERSION 3.25)
if(NOT EXISTS "${OBJDUMP}")
  message(FATAL_ERROR "objdump not found (Debian package binutils-mingw-w64-x86-64)")
endif()
if(NOT EXISTS "${EXE}")
  message("${EXE} is not built (scripts/windows builds it)")
  return()
endif()

# Windows 8 and later: the per-monitor DPI functions (shcore.dll and 10's USER32), the precise
# clock and the file API of Windows Store programs.
set(newer GetDpiForWindow AdjustWindowRectExForDpi GetDpiForSystem SetProcessDpiAwarenessContext
    SetThreadDpiAwarenessContext EnableNonClientDpiScaling GetSystemMetricsForDpi SystemParametersInfoForDpi
    GetDpiForMonitor SetProcessDpiAwareness GetProcessDpiAwareness GetAwarenessFromDpiAwarenessContext
    GetWindowDpiAwarenessContext GetThreadDpiAwarenessContext AreDpiAwarenessContextsEqual
    GetSystemTimePreciseAsFileTime CreateFile2)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump cannot read the import table of ${EXE} (${rc}):\n${err}")
endif()

# "\tDLL Name: USER32.dll" starts each DLL's list, then "\t<vma>\t <hint>  <name>" per function.
set(dll "")
set(dlls "")
set(imports "")
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
foreach(line IN LISTS lines)
  if(line MATCHES "^\tDLL Name: (.+)$")
    set(dll "${CMAKE_MATCH_1}")
    list(APPEND dlls "${dll}")
  elseif(dll AND line MATCHES "^\t[0-9a-fA-F]+\t +[0-9]+ +([A-Za-z_][A-Za-z0-9_@]*)")
    list(APPEND imports "${dll}!${CMAKE_MATCH_1}")
  elseif(line MATCHES "^The Function Table")
    break()
  endif()
endforeach()
list(LENGTH imports count)
# A table read wrong (another objdump, a stripped or foreign file) would pass every check below.
if(NOT "USER32.dll!CreateWindowExW" IN_LIST imports)
  message(FATAL_ERROR "cannot read the import table of ${EXE}: ${count} functions found, "
                      "CreateWindowExW from USER32.dll not among them")
endif()

set(bad "")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "^.*!" "" name "${import}")
  if(name IN_LIST newer)
    list(APPEND bad "${import}")
  endif()
endforeach()
foreach(name IN LISTS dlls)
  string(TOLOWER "${name}" lower)
  if(lower STREQUAL "shcore.dll" OR lower MATCHES "^api-ms-win-" OR lower MATCHES "^ucrtbase")
    list(APPEND bad "${name} (a DLL Windows 7 does not have)")
  endif()
endforeach()
if(bad)
  string(REPLACE ";" "\n  " bad "${bad}")
  message(FATAL_ERROR "Kromi.exe imports what Windows 7 SP1 lacks; its loader would refuse it:\n  ${bad}")
endif()
list(JOIN dlls ", " dlls)
message(STATUS "${count} functions from ${dlls}; none newer than Windows 7")
