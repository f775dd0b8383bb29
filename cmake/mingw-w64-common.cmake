# Cross-compiling VORDEX.dll with Debian's mingw-w64. Included by the
# toolchain files mingw-w64-x86_64.cmake and mingw-w64-i686.cmake, which set
# VORDEX_MINGW_TRIPLET. The POSIX-thread variant of the compilers gives the
# C++ threads and mutexes the library uses; everything it needs from the
# toolchain is linked in statically (see the Windows part of CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VORDEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORDEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORDEX_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VORDEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Programs built for Windows run under Wine here (tests, try_run).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
