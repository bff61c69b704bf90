# Cross build of the 32-bit Windows program with MinGW-w64: the exe we ship.
set(TARVEX_MINGW_PROCESSOR i686)
set(TARVEX_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
