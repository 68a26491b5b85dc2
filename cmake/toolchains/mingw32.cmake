# Cross-build for Windows (i686) with Debian's MinGW-w64 compilers.
# The posix thread model is named explicitly: the default (win32) model of
# GCC 12 has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
# "i686", not "x86": WavPack's build recognises its assembly code by this.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ADDOSCOPE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${ADDOSCOPE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ADDOSCOPE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${ADDOSCOPE_MINGW_PREFIX}-windres)
# The cross-built dependencies are found by adding their prefix to
# CMAKE_FIND_ROOT_PATH on the command line; append keeps that value.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ADDOSCOPE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# GCC 12 reports overlapping copies inside libstdc++'s own string code at -O3
# for this target (a known false positive); the Linux build's warnings still
# cover our code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
