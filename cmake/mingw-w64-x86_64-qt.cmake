# The compilers and search paths of Debian's MinGW-w64 (POSIX thread model, so std::thread and
# std::mutex work) for 64-bit Windows. Qt for Windows is built with this file as it stands; the
# tool's own builds add their linking choices on top (mingw-w64-x86_64.cmake, the Qt preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RTUTEST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RTUTEST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RTUTEST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RTUTEST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RTUTEST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
