# Cross-builds the Windows program with Debian's MinGW-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FIX_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX-threads flavour: GoogleTest needs std::mutex, which the win32 flavour
# of GCC 12's library lacks. Linked statically, it adds no DLL.
set(CMAKE_C_COMPILER ${FIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
