# Strips every program and DLL under DIR with STRIP (debug symbols are most of their size).
file(GLOB_RECURSE binaries "${DIR}/*.exe" "${DIR}/*.dll")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${STRIP} --strip-unneeded ${binary} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${STRIP} failed on ${binary}")
  endif()
endforeach()
