# Fails when a header of the neutral platform layer (serial/platform/*.h) includes anything
# but the standard C++ library and other neutral headers: no C or system header (<unistd.h>,
# <sys/...>), no backend header. What every operating system's backend compiles against must
# not carry one system's types. Run: cmake -DDIR=<serial/platform> -P neutral_headers.cmake
file(GLOB headers "${DIR}/*.h")
if(NOT headers)
  message(FATAL_ERROR "no headers found in ${DIR}")
endif()
set(faults "")
foreach(header IN LISTS headers)
  file(STRINGS "${header}" includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "<[a-z_]+>")  # a standard C++ library header: no extension, no folder
      continue()
    endif()
    if(line MATCHES "\"serial/platform/[a-z_]+\\.h\"")
      continue()
    endif()
    get_filename_component(name "${header}" NAME)
    string(APPEND faults "\n  ${name}: ${line}")
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "neutral platform headers include system or backend headers:${faults}")
endif()
list(LENGTH headers count)
message(STATUS "${count} neutral platform headers include only the C++ library and each other")
