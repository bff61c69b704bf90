#!/bin/sh
# Installs every Debian package the builds and tests need, when missing.
# Idempotent: a machine that has everything returns at once.
set -eu

# 32-bit Wine runs the exe we ship; 64-bit Wine and the x86-64 compilers run the same
# sources where this machine cannot run 32-bit programs (scripts/wine-arch.sh).
PKGS="cmake make g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686 \
g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine32:i386 wine64 fonts-wine xvfb xdotool x11-utils imagemagick iproute2 iputils-ping tshark wakeonlan python3 procps nftables zip unzip"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "setup: installing$missing" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; the answer does not matter here.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
