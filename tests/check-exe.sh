#!/bin/bash
# What a Windows exe must be, read from its headers without running it:
#   tests/check-exe.sh EXE win32|win64
# the machine the build is for (PE32 i386 or PE32+ x86-64), the GUI subsystem (no
# console window), and a bare Windows' DLLs only: it may import only DLLs that come
# with the system, never a compiler runtime (libstdc++, libgcc, winpthread), so the
# runtime is linked in. The shipped exe also stays small.
set -euo pipefail
exe=$1
case ${2:-} in
win32) tools=i686-w64-mingw32 magic=PE32 format=pei-i386 ;;
win64) tools=x86_64-w64-mingw32 magic=PE32+ format=pei-x86-64 ;;
*) echo "usage: $0 EXE win32|win64" >&2; exit 2 ;;
esac
max_bytes=589824  # 576 KiB: the runtime, a 45 KB banner and every feature, with room to grow
allowed='^(kernel32|user32|gdi32|comctl32|ws2_32|iphlpapi|advapi32|shell32|msvcrt|comdlg32|ole32)\.dll$'
headers=$("$tools-objdump" -p "$exe") || { echo "NOT ok: $exe is not a $format file" >&2; exit 1; }
bad=0
check() {  # check WHAT CONDITION...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "NOT ok: $what" >&2; bad=1; fi
}
magic_line=$(grep '^Magic' <<<"$headers" || true)
check "$format, $magic" test "$(grep -c "file format $format\$" <<<"$headers")" -eq 1 -a "${magic_line##*(}" = "$magic)"
check "Windows GUI subsystem" grep -qE "^Subsystem.*\(Windows GUI\)\$" <<<"$headers"
dlls=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
check "imports found" test -n "$dlls"
for dll in $dlls; do
    check "import $dll is a system DLL" grep -qiE "$allowed" <<<"$dll"
done
# The exe we ship starts on Windows XP SP3: every function it imports is in
# tests/exe-imports.txt with the first Windows version that has it (from Microsoft's
# documentation), and none is newer than XP SP3. XP's loader refuses a program that
# imports even one newer function. The thread library's GetTickCount64 is replaced at
# link time (common/tick_count64-win32.cpp).
if [ "$2" = win32 ]; then
    table=$(dirname "$0")/exe-imports.txt
    imports=$(awk '/DLL Name:/ {dll=tolower($3); next} dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_0-9@]+$/ {print dll, $NF}' <<<"$headers")
    verdicts=$(awk -v order="2000 XP XPSP2 XPSP3 Vista 7 8 10" '
        BEGIN { n = split(order, names, " "); for (i = 1; i <= n; i++) rank[names[i]] = i }
        FNR == NR { if ($0 !~ /^[ \t]*(#|$)/) version[tolower($1) " " $2] = $3; next }
        { key = $1 " " $2
          if (!(key in version)) print "unknown", key
          else if (!(version[key] in rank)) print "unknown", key " (version " version[key] "?)"
          else if (rank[version[key]] > rank["XPSP3"]) print "newer", key " (" version[key] ")"
          else print "ok", key }' "$table" - <<<"$imports")
    unknown=$(awk '$1 == "unknown" {$1 = ""; print}' <<<"$verdicts" | paste -sd ',' -)
    newer=$(awk '$1 == "newer" {$1 = ""; print}' <<<"$verdicts" | paste -sd ',' -)
    check "$(wc -l <<<"$imports") imported functions, each in $(basename "$table")${unknown:+ (not there:$unknown)}" test -z "$unknown"
    check "none newer than Windows XP SP3${newer:+ (newer:$newer)}" test -z "$newer"
fi
# The manifest (a resource, plain text): the build's own architecture for the program and
# the common controls it asks for, and no requestedExecutionLevel, which would switch
# registry virtualization off so that a standard user could no longer keep the cache.
arch=$([ "$2" = win32 ] && echo x86 || echo amd64)
manifest=$(LC_ALL=C tr '\r\n' '  ' <"$exe" | LC_ALL=C grep -ao '<assembly .*</assembly>' | head -1 || true)
archs=$(grep -o 'processorArchitecture="[^"]*"' <<<"$manifest" | sort -u | paste -sd ' ' -)
check "a manifest whose every architecture is $arch ($archs)" test "$archs" = "processorArchitecture=\"$arch\""
check "the manifest asks for no execution level" bash -c '! grep -q "<[a-zA-Z0-9:]*requestedExecutionLevel" <<<"$1"' _ "$manifest"
size=$(stat -c %s "$exe")
check "$size bytes, at most $max_bytes" test "$size" -le "$max_bytes"
exit $bad
