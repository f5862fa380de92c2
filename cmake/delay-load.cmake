# sheen_delay_load(TARGET DLL SYMBOL...)
#
# TARGET loads DLL only when it first calls one of SYMBOLs, not at start-up.
# Each SYMBOL is written as 32-bit code sees it (Name@ArgumentBytes for
# WINAPI functions); the x86-64 name drops the suffix. The program's other
# imports of DLL, if any, would still load it at start-up: list them all.
#
# GNU ld cannot delay-load by itself, so dlltool makes an import library whose
# entries go through MinGW-w64's __delayLoadHelper2 (libmingwex), which needs
# nothing newer than Windows XP. It must come after the libraries that call
# SYMBOLs on the link line, and before the system's import library of DLL.
function(sheen_delay_load target dll)
  string(REGEX REPLACE "\\.[^.]*$" "" name "${dll}")
  set(exports "")
  foreach(symbol IN LISTS ARGN)
    if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "@[0-9]+$" "" symbol "${symbol}")
    endif()
    string(APPEND exports "${symbol}\n")
  endforeach()
  set(def "${CMAKE_CURRENT_BINARY_DIR}/${name}-delay.def")
  set(library "${CMAKE_CURRENT_BINARY_DIR}/lib${name}-delay.a")
  file(CONFIGURE OUTPUT "${def}" CONTENT "LIBRARY ${dll}\nEXPORTS\n${exports}")
  # -k: the DLL exports the names without the @ArgumentBytes suffix.
  add_custom_command(OUTPUT "${library}"
    COMMAND "${CMAKE_DLLTOOL}" -k --input-def "${def}" --dllname "${dll}"
            --output-delaylib "${library}"
    DEPENDS "${def}" VERBATIM)
  add_custom_target(${target}-${name}-delay DEPENDS "${library}")
  add_dependencies(${target} ${target}-${name}-delay)
  target_link_libraries(${target} PRIVATE "${library}")
endfunction()
