# shellcheck shell=bash
# Which Windows build the Wine layers run on this machine (sourced, not run).
#
# The program we ship is the 32-bit exe, and where this machine can run 32-bit Linux
# programs (and so 32-bit Wine) the tests, the demo and `make run` use that build.
# Some machines' kernels refuse 32-bit programs altogether ("Exec format error");
# there the same sources built as 64-bit programs run under 64-bit Wine instead.
# The machine is asked, not guessed from its name: can 32-bit Wine's server start?
# TARVEX_WINE_ARCH=win32|win64 forces either.
#
# wine_arch_choose sets and exports TARVEX_WINE_ARCH and sets
#   wine_build   the build directory's name (win32 or win64: build/$wine_build)
#   wine_suffix  what names a Wine prefix of 64-bit Wine apart ("" or "-win64")
#   wine_cmd     the Wine loader to run a program with
#   wineserver_cmd  the wineserver of that Wine
# and exports WINEARCH (and WINELOADER for 64-bit Wine). It fails with a message
# for a forced value that is not known, or a forced win32 this machine cannot run.

wine32_runs() {
    /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
}

# shellcheck disable=SC2034  # wine_build, wine_suffix and wineserver_cmd are for the scripts that source this file
wine_arch_choose() {
    case ${TARVEX_WINE_ARCH:-} in
    win32)
        wine32_runs || {
            echo "TARVEX_WINE_ARCH=win32: this machine cannot run 32-bit programs (32-bit Wine's server does not start); use win64" >&2
            return 1
        }
        ;;
    win64) ;;
    '') TARVEX_WINE_ARCH=$(wine32_runs && echo win32 || echo win64) ;;
    *)
        echo "TARVEX_WINE_ARCH must be win32 or win64, not '$TARVEX_WINE_ARCH'" >&2
        return 2
        ;;
    esac
    export TARVEX_WINE_ARCH WINEARCH=$TARVEX_WINE_ARCH
    wine_build=$TARVEX_WINE_ARCH
    wine_suffix=
    if [ "$TARVEX_WINE_ARCH" = win32 ]; then
        wine_cmd=wine
        wineserver_cmd=wineserver
    else
        # Debian's `wine` prefers 32-bit Wine whenever it is installed, runnable or not.
        wine_suffix=-win64
        wine_cmd=/usr/lib/wine/wine64
        wineserver_cmd=/usr/lib/wine/wineserver64
        export WINELOADER=$wine_cmd
    fi
}

# One line for the user when the 64-bit build stands in for the 32-bit one.
wine_arch_note() {
    local why="this machine cannot run 32-bit programs"
    [ "$TARVEX_WINE_ARCH" = win64 ] || return 0
    ! wine32_runs || why="TARVEX_WINE_ARCH=win64"
    echo "note: the 64-bit build (build/win64) under 64-bit Wine ($why); the exe we ship is build/win32/tarvex-wol.exe" >&2
}
