# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the -posix
# compilers, whose libstdc++ has std::thread). Used for the dependencies that
# scripts/windows.sh builds and for our own Windows build (preset windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FS_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FS_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FS_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${FS_MINGW}-windres)

# Libraries, headers and packages only from MinGW's own folder and from the
# prefixes listed in FLIGHTSCENE_WIN_DEPS, never from the Linux system: a
# Linux header found first would shadow MinGW's. Programs run on the build
# machine, so they are still found there.
set(CMAKE_FIND_ROOT_PATH /usr/${FS_MINGW} ${FLIGHTSCENE_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
