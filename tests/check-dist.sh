#!/bin/bash
# What the release zip must be, read without running anything:
#   tests/check-dist.sh ZIP EXE
# its three files and nothing else; SHA256SUMS that match them; the exe the one built;
# the usage text with Windows line ends; and the version of the zip's name in the exe's
# version block, as numbers and as text.
set -euo pipefail
zip=$1 exe=$2
bad=0
check() {  # check WHAT CONDITION...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "NOT ok: $what" >&2; bad=1; fi
}
name=$(basename "$zip" .zip)
version=${name#tarvex-wol-}
check "the name gives a version of four numbers ($version)" grep -qE '^[0-9]+(\.[0-9]+){3}$' <<<"$version"
members=$(unzip -Z1 "$zip" | sort | paste -sd ' ' -)
check "members: $members" test "$members" = "SHA256SUMS tarvex-wol.exe tarvex-wol.txt"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
unzip -q "$zip" -d "$dir"
check "SHA256SUMS has a sum for each other file, and they match" \
    bash -c 'cd "$1" && [ "$(cut -d" " -f3 SHA256SUMS | sort | paste -sd " " -)" = "tarvex-wol.exe tarvex-wol.txt" ] && sha256sum --quiet -c SHA256SUMS' _ "$dir"
check "the exe is the one built" cmp -s "$dir/tarvex-wol.exe" "$exe"
text=$dir/tarvex-wol.txt
check "the usage text names the version, says /? and the exit codes, every line ending CR LF" \
    bash -c 'head -1 "$1" | grep -q "^TARVEX WOL $2 " && grep -q "^Usage:" "$1" && grep -q "^Exit codes: 0 done" "$1" &&
             [ "$(grep -c $'"'"'\r$'"'"' "$1")" -eq "$(wc -l <"$1")" ]' _ "$text" "$version"
# The version block: VS_FIXEDFILEINFO's numbers, and the FileVersion and ProductVersion texts.
block=$(python3 - "$dir/tarvex-wol.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version block")
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
numbers = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
texts = []
for key in ("FileVersion", "ProductVersion"):
    k = data.find((key + "\0").encode("utf-16-le"), at)
    start = k + len(key) * 2 + 2
    start += (-start) % 4  # the value starts on a 32-bit boundary
    end = data.find(b"\0\0", start)
    end += (end - start) % 2
    texts.append(data[start:end].decode("utf-16-le"))
print(numbers(file_ms, file_ls), numbers(product_ms, product_ls), *texts)
PY
)
check "the exe's version block says $version four times ($block)" test "$block" = "$version $version $version $version"
exit $bad
