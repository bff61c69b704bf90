#!/bin/bash
# Runs a command with a private Xvfb display (DISPLAY set), then stops it.
#   scripts/xvfb-run.sh COMMAND [ARGS...]
set -euo pipefail
exec 3< <(:)
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r -t 20 display <"$fifo" || { echo "xvfb-run: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
"$@"
