# Cross-compiles for 32-bit Windows (x86) with Debian's MinGW-w64 (posix threads flavour), for
# 32-bit Outlook. Programs built here run under the private i386 Wine that scripts/wine-i386.sh
# prepares, through scripts/wine-run-x86.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(VANTREL_WIDL       i686-w64-mingw32-widl)
set(VANTREL_WINDMC     i686-w64-mingw32-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-x86)
