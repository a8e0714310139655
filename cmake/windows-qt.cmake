# The tool for Windows with Qt 6. On a Windows machine this file adds nothing: the compilers
# on PATH and the Qt kit in QT_DIR (Qt's installer, its MinGW kit) build the tool natively.
# On Linux it cross-compiles with Debian's MinGW-w64 against the Qt for Windows that
# scripts/windows-qt builds (QT_DIR, or that script's cache), with the host's Qt tools
# (moc, rcc, uic) from /usr. The C++ runtime is linked dynamically: Qt's DLLs and the
# program share one libstdc++-6.dll.
if(CMAKE_HOST_WIN32)
  return()
endif()

if(NOT QT_DIR AND DEFINED ENV{QT_DIR} AND NOT "$ENV{QT_DIR}" STREQUAL "")
  set(QT_DIR "$ENV{QT_DIR}")
endif()
if(NOT QT_DIR)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows-qt --prefix
                  OUTPUT_VARIABLE QT_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(NOT EXISTS "${QT_DIR}/lib/cmake/Qt6/qt.toolchain.cmake")
  message(FATAL_ERROR "No Qt for Windows in '${QT_DIR}': build it with scripts/windows-qt "
                      "(or scripts/setup windows-qt), or point QT_DIR at one.")
endif()
set(QT_DIR "${QT_DIR}" CACHE PATH "Qt for Windows (x86_64-w64-mingw32)")

set(QT_CHAINLOAD_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-qt.cmake)
include("${QT_DIR}/lib/cmake/Qt6/qt.toolchain.cmake")
