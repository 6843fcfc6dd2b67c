# Compiles the Windows resource script with the cross resource compiler, both into the COFF
# object a Windows link would take and into a .res file the version-block test reads.
#   -D WINDRES= -D OBJDUMP= -D PREPROCESSOR= -D RC= -D OUT_DIR=
cmake_minimum_required(VERSION 3.25)
foreach(tool WINDRES OBJDUMP)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "${tool} not found (Debian package binutils-mingw-w64-x86-64)")
  endif()
endforeach()

file(REMOVE ${OUT_DIR}/kromi.o ${OUT_DIR}/kromi.res)
file(MAKE_DIRECTORY ${OUT_DIR})
# The host compiler does the preprocessing: windres would ask for a MinGW gcc, which only the
# full cross toolchain has, and the script includes no Windows headers.
set(windres ${WINDRES} --preprocessor=${PREPROCESSOR} --preprocessor-arg=-E --preprocessor-arg=-xc
    --preprocessor-arg=-DRC_INVOKED ${RC})
foreach(format coff res)
  set(out ${OUT_DIR}/kromi.o)
  if(format STREQUAL "res")
    set(out ${OUT_DIR}/kromi.res)
  endif()
  execute_process(COMMAND ${windres} -O ${format} -o ${out} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${out})
    message(FATAL_ERROR "windres -O ${format} failed (${rc}):\n${err}")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -h ${OUT_DIR}/kromi.o OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump cannot read the object (${rc})")
endif()
if(NOT headers MATCHES "file format pe-x86-64")
  message(FATAL_ERROR "not a 64-bit Windows COFF object:\n${headers}")
endif()
if(NOT headers MATCHES "\\.rsrc")
  message(FATAL_ERROR "no resource section in the object:\n${headers}")
endif()
message(STATUS "resource script compiled: ${OUT_DIR}/kromi.o")
