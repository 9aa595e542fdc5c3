# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour,
# which std::thread needs). Programs built here run under Wine through the emulator.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(VANTREL_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
