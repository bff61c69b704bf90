# Cross build of the same sources as a 64-bit Windows program, for running the Wine
# test layers on machines that cannot run 32-bit Linux programs (and so no 32-bit
# Wine). The program we ship stays the 32-bit one (mingw-i686.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# A 64-bit binary runs only under 64-bit Wine, whatever this machine could run.
set(CMAKE_CROSSCOMPILING_EMULATOR env TARVEX_WINE_ARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-ns)
