#!/bin/bash
# Structure figures of a checkout: abstract classes, include arrows between folders,
# production and test lines, the files a reader opens on the "Turn on PC" walk and
# the exe's size. Run from the checkout's root:
#   tools/structure-figures.sh [path/to/tarvex-wol.exe]
# Walk files: WALK_SEND and WALK_WATCH may name other files (space-separated, in the
# order the code runs through them, from the click to the report).
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The walk through today's code: click -> packet, and send -> report shown.
WALK_SEND=${WALK_SEND:-"app/main_dialog-win32.cpp app/wake_command.cpp app/wake_command-win32.cpp net/magic_sender-win32.cpp net/magic_packet.cpp net/magic_sender-win32.cpp net/magic_sender.cpp net/magic_sender-win32.cpp"}
WALK_WATCH=${WALK_WATCH:-"app/main_dialog-win32.cpp app/wake_command-win32.cpp app/wake_command.cpp net/probe_engine.cpp net/probe_io-win32.cpp net/echo_packet.cpp net/probe_engine.cpp app/wake_command-win32.cpp app/main_dialog-win32.cpp"}
SRC="addr common net cache app"
prod() { git ls-files $SRC res/resource.h | grep -E '\.(h|cpp)$' | grep -vE '_test\.(cpp|h)$|fake_'; }
tests() { git ls-files $SRC tests | grep -E '\.(h|cpp)$' | grep -E '_test\.(cpp|h)$|fake_|^tests/(e2e|fuzz|bench)/'; }

echo "abstract classes (a class with a pure virtual member), production code:"
prod | xargs awk '/^(class|struct) [A-Za-z_]+/ {name=$2} /virtual .*= 0;/ {print FILENAME": "name}' | sort -u | tee "$work/abstract.txt" | sed 's/^/  /'
echo "  count: $(wc -l <"$work/abstract.txt")"

folder() { case $1 in resource.h) echo res;; */*) echo "${1%%/*}";; *) echo "?";; esac; }
echo "include arrows between folders (production files; file -> folder pairs and folder -> folder):"
: >"$work/arrows.txt"
for f in $(prod); do
  from=${f%%/*}
  grep -oE '^#include "[^"]+"' "$f" | sed 's/#include "//; s/"$//' | while read -r inc; do
    to=$(folder "$inc"); [ "$to" != "$from" ] && echo "$from -> $to  ($f includes $inc)"
  done >>"$work/arrows.txt"
done
echo "  include lines crossing folders: $(wc -l <"$work/arrows.txt")"
echo "  folder pairs: $(cut -d' ' -f1-3 "$work/arrows.txt" | sort | uniq -c | tr -s ' ' | paste -sd';')"
echo "  upward (net/cache/addr/common -> app|res, or net -> cache, or addr/common -> net|cache):"
grep -E '^(net|cache|addr|common) -> (app|res)|^net -> cache|^(addr|common) -> (net|cache)' "$work/arrows.txt" | sed 's/^/    /'
echo "  HWND in net/cache/addr/common: $(git grep -l HWND -- net cache addr common | paste -sd' ')"

echo "lines: production $(prod | xargs cat | wc -l) in $(prod | wc -l) files; tests $(tests | xargs cat | wc -l) in $(tests | wc -l) files"

closure() {  # the files a reader opens: the walk's files and every project header they include, transitively
  local todo="$*" seen=""
  while [ -n "$todo" ]; do
    set -- $todo; local f=$1; shift; todo="$*"
    case " $seen " in *" $f "*) continue;; esac
    seen="$seen $f"
    [ -f "$f" ] || { [ -f "res/$f" ] && f=res/$f; }
    for inc in $(grep -oE '^#include "[^"]+"' "$f" 2>/dev/null | sed 's/#include "//; s/"$//'); do
      [ "$inc" = resource.h ] && inc=res/resource.h
      todo="$todo $inc"
    done
  done
  echo $seen | tr ' ' '\n' | sort -u
}
crossings() {  # how often consecutive steps switch between a portable and a -win32 file
  local prev="" n=0
  for f in "$@"; do
    k=p; case $f in *-win32*) k=w;; esac
    [ -n "$prev" ] && [ "$k" != "$prev" ] && n=$((n+1)); prev=$k
  done; echo $n
}
if [ -n "${WALK_SEND:-}" ]; then
  all=$(closure $WALK_SEND $WALK_WATCH $(for f in $WALK_SEND $WALK_WATCH; do h=${f%.cpp}.h; [ -f "$h" ] && echo $h; done))
  echo "Turn-on walk: $(echo "$all" | wc -l) files in $(echo "$all" | cut -d/ -f1 | sort -u | wc -l) folders ($(echo "$all" | cut -d/ -f1 | sort -u | paste -sd' '))"
  route=$(for f in $WALK_SEND $WALK_WATCH; do echo $f; h=${f%.cpp}.h; [ -f "$h" ] && echo $h; done | sort -u)
  echo "  files on the route itself (the walk's files and their own headers): $(echo "$route" | wc -l) in $(echo "$route" | cut -d/ -f1 | sort -u | wc -l) folders"
  echo "  portable/Win32 crossings: send $(crossings $WALK_SEND), watcher $(crossings $WALK_WATCH)"
  echo "$all" | paste -sd' ' | fold -w 150 | sed 's/^/      /'
fi
exe=${1:-build/win32/tarvex-wol.exe}
[ -f "$exe" ] && echo "stripped exe: $(stat -c %s "$exe") bytes"
