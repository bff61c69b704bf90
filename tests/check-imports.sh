#!/bin/bash
# The release exe must run on a bare Windows: it may import only DLLs that come
# with the system, never a compiler runtime (libstdc++, libgcc, winpthread).
set -euo pipefail
exe=$1
allowed='^(kernel32|user32|gdi32|comctl32|ws2_32|iphlpapi|advapi32|shell32|msvcrt|comdlg32|ole32)\.dll$'
dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
[ -n "$dlls" ] || { echo "no imports found in $exe" >&2; exit 1; }
bad=0
for dll in $dlls; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    if [[ $lower =~ $allowed ]]; then echo "import ok: $dll"; else echo "import NOT allowed: $dll" >&2; bad=1; fi
done
exit $bad
