# Cross-compiles for 32-bit Windows (x86) with Debian's MinGW-w64 (posix threads flavour), for
# 32-bit Outlook. Programs built here run under the private i386 Wine that scripts/wine-i386.sh
# prepares, through scripts/wine-run-x86.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTREL_MINGW_TRIPLET i686-w64-mingw32)
set(VANTREL_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
