# Cross-build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread
# model, for std::thread): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTRUM_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KESTRUM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# printf and its kin with C99 formats (%zu, %llu), as on Linux.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# One .exe that needs no DLL beside it: the C and C++ runtimes and winpthreads
# linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The tests run the programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
