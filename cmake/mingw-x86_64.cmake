# Cross build of the same sources as a 64-bit Windows program, for running the Wine
# test layers on machines that cannot run 32-bit Linux programs (and so no 32-bit
# Wine). The program we ship stays the 32-bit one (mingw-i686.cmake).
set(TARVEX_MINGW_PROCESSOR x86_64)
set(TARVEX_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
