# Finds a MinGW-w64 cross compiler for SHEENWRIGHT_TRIPLET, preferring the
# thread model the toolchain file asks for; plain names serve other systems.
foreach(tool IN ITEMS gcc g++)
  set(names "")
  foreach(suffix IN LISTS SHEENWRIGHT_THREAD_SUFFIXES)
    list(APPEND names ${SHEENWRIGHT_TRIPLET}-${tool}${suffix})
  endforeach()
  string(MAKE_C_IDENTIFIER "${tool}" id)
  find_program(SHEENWRIGHT_${id} NAMES ${names} REQUIRED)
endforeach()
set(CMAKE_C_COMPILER ${SHEENWRIGHT_gcc})
set(CMAKE_CXX_COMPILER ${SHEENWRIGHT_g__})
find_program(CMAKE_RC_COMPILER NAMES ${SHEENWRIGHT_TRIPLET}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${SHEENWRIGHT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
