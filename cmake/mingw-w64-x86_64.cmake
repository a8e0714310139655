# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (compilers and search paths
# in mingw-w64-x86_64-qt.cmake). The runtime is linked statically: the programs need no DLL
# beside them, under Wine or on a Windows machine.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-qt.cmake)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, in a prefix of the build folder's own (scripts/wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine)
