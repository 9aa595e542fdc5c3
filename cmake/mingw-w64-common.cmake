# What both toolchain files share: Debian's MinGW-w64 of the triplet VANTREL_MINGW_TRIPLET (posix
# threads flavour, which std::thread needs), and the emulator VANTREL_EMULATOR that CTest and
# test discovery run the Windows programs through.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${VANTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${VANTREL_MINGW_TRIPLET}-windres)
set(VANTREL_WIDL       ${VANTREL_MINGW_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Must be set before any target exists so that CTest and test discovery use it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_EMULATOR})
