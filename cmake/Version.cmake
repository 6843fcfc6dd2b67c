# The version is written once, in project(); everything that ships takes it from there.
# "1.00" is how the game has always named its version, so that text is used wherever a string
# is wanted. CMake keeps the parts as written (minor "00"), and Windows wants plain numbers, so
# the numeric form goes through math() to lose the leading zeros.
set(KROMI_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
  set(value "${PROJECT_VERSION_${part}}")
  if(value STREQUAL "")
    set(value 0)
  endif()
  math(EXPR value "${value}")
  list(APPEND KROMI_VERSION_NUMBERS ${value})
endforeach()
list(JOIN KROMI_VERSION_NUMBERS "," KROMI_VERSION_COMMAS)
