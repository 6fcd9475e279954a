#!/usr/bin/env bash
# with-display.sh COMMAND...: runs the command with an X display, starting a private
# Xvfb (and stopping it by its pid afterwards) when there is none.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
for n in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# Wine's desktop keeps the display until its server has gone: wait for it first.
stop() {
    WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix} \
        timeout 30 wineserver -w 2>/dev/null || true
    kill $xvfb 2>/dev/null
    wait $xvfb 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 1 100); do
    [ -e /tmp/.X11-unix/X$n ] && break
    sleep 0.1
done
export DISPLAY=":$n"
"$@"
