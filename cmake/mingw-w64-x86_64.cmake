# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (POSIX thread model, so
# std::thread and std::mutex work). The runtime is linked statically: the programs need no
# DLL beside them, under Wine or on a Windows machine.
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

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, in a prefix of the build folder's own (scripts/wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine)
