# What both MinGW-w64 toolchains share; each sets TARVEX_MINGW_PROCESSOR (i686 or
# x86_64) and TARVEX_WINE_ARCH (win32 or win64) and includes this file.
# The -posix compilers are needed: the win32-thread-model ones lack std::mutex and std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TARVEX_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER   ${TARVEX_MINGW_PROCESSOR}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEX_MINGW_PROCESSOR}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  ${TARVEX_MINGW_PROCESSOR}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVEX_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows binary of the build (unit tests, e2e driver) runs through this wrapper,
# which starts Wine only inside the test network namespace, and under the Wine of the
# binary's own kind whatever this machine would choose.
set(CMAKE_CROSSCOMPILING_EMULATOR env TARVEX_WINE_ARCH=${TARVEX_WINE_ARCH} ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-ns)

# The shipped exe is one small download: optimise for size, and let the linker drop
# every function and datum nothing reaches (the static C++ runtime brings many).
# Cached here: the compiler's defaults would append -O3 to anything given as *_INIT.
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG -ffunction-sections -fdata-sections" CACHE STRING "Release flags")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG -ffunction-sections -fdata-sections" CACHE STRING "Release flags")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--gc-sections")
