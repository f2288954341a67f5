# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread
# variant, which has std::thread). Use:
#   cmake -S . -B build-win --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTRON4_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRON4_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRON4_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRON4_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRON4_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and tools run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
