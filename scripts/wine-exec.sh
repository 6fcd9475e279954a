#!/usr/bin/env bash
# wine-exec.sh LAYER PROGRAM [ARGS...]
# Runs a Windows test program under Wine in the project's private prefix, from the
# program's own folder. LAYER chooses the WNASPI32.dll that the library finds:
#   n  our simulated layer beside the program (native)
#   b  Wine's own wnaspi32, a stub that refuses every request (builtin)
#   d  none at all (disabled)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
layer=$1
program=$2
shift 2
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
# KDLL_WINEDEBUG turns Wine's own checks on for a run, e.g. warn+heap.
export WINEDEBUG=${KDLL_WINEDEBUG:--all}
# KDLL_WINE_DPI runs the program on a screen of that many pixels per inch; the prefix goes
# back to Wine's 96 afterwards.
case "$layer" in
    n) aspi="wnaspi32=n" ;;
    b) aspi="wnaspi32=b" ;;
    d) aspi="wnaspi32=" ;;
    *) echo "wine-exec: unknown layer '$layer'" >&2; exit 2 ;;
esac
# mscoree and mshtml stay off so that Wine never offers to install Mono or Gecko; winedbg
# stays off so that a crash ends the program at once instead of waiting in the debugger
# until the time-out (the test programs also report a crash themselves and exit).
export WINEDLLOVERRIDES="$aspi;mscoree=;mshtml=;winedbg.exe="
"$here/wine-prefix.sh"
cd "$(dirname "$program")"
wine=${WINE:-/usr/lib/wine/wine64}
run=(timeout --kill-after=10 "${KDLL_WINE_TIMEOUT:-900}" "$wine" "./$(basename "$program")" "$@")
[ -n "${KDLL_WINE_DPI:-}" ] || exec "${run[@]}"
desktop='HKCU\Control Panel\Desktop'
"$wine" reg add "$desktop" /v LogPixels /t REG_DWORD /d "$KDLL_WINE_DPI" /f >/dev/null 2>&1
status=0
"${run[@]}" || status=$?
"$wine" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true
exit $status
