# Fails when the static library LIBRARY calls a DLL's function itself: its
# objects then leave an __imp_ symbol for the linker to fill. STAMP is written
# only once the library passes, so that a failure fails every build after it.
execute_process(COMMAND ${NM} -u ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
string(REGEX MATCHALL "__imp_[A-Za-z0-9_@]+" imports "${symbols}")
if(imports)
  list(REMOVE_DUPLICATES imports)
  list(JOIN imports "\n  " listed)
  message(FATAL_ERROR "${LIBRARY} imports system functions itself; call them through "
                      "platform/ instead:\n  ${listed}")
endif()
file(TOUCH ${STAMP})
