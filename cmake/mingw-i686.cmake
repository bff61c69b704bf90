# Cross build of the 32-bit Windows program with MinGW-w64.
# The -posix compilers are needed: the win32-thread-model ones lack std::mutex and std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows binary of the build (unit tests, e2e driver) runs through this wrapper,
# which starts Wine only inside the test network namespace; a 32-bit binary under
# 32-bit Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR env TARVEX_WINE_ARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-ns)
