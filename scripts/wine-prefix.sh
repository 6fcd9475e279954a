#!/usr/bin/env bash
# Creates the project's private Wine prefix once (64-bit; WINEARCH=win32 and WINE for the
# emulated i386 machine's), with what the tests need:
#  - no Mono or Gecko installer prompts (mscoree and mshtml disabled while booting);
#  - the test program copy wine_tests_win98.exe reported as Windows 98 (AppDefaults),
#    so the Windows 9x path of the library runs for real;
#  - windows not managed by an X window manager: there is none under Xvfb, and Wine
#    would wait two seconds for one whenever a shown top-level window is destroyed;
#  - drive letters for discovery to find: D: and F: CD-ROM drives, E: a hard disk.
#    Wine takes a drive's type from HKLM\Software\Wine\Drives when its mount manager
#    starts, so they are set while the prefix is made, before any test runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=-all
export WINEARCH=${WINEARCH:-win64}
WINE=${WINE:-/usr/lib/wine/wine64}
# The bounds below are for this machine; an emulated one multiplies them.
scale=${KDLL_TIMEOUT_SCALE:-1}
stamp=$WINEPREFIX/.kdll-ready
[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
echo "wine-prefix: creating $WINEPREFIX" >&2
boot_status=0
WINEDLLOVERRIDES="mscoree=;mshtml=" timeout $((300 * scale)) "$WINE" wineboot -i >/dev/null 2>&1 \
    || boot_status=$?
if [ $boot_status -eq 124 ]; then
    echo "wine-prefix: wineboot did not finish within $((300 * scale)) s" >&2
    exit 1
fi
WINEDLLOVERRIDES="mscoree=;mshtml=" timeout $((120 * scale)) "$WINE" reg add \
    'HKCU\Software\Wine\AppDefaults\wine_tests_win98.exe' /v Version /t REG_SZ /d win98 /f \
    >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree=;mshtml=" timeout $((120 * scale)) "$WINE" reg add \
    'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
for letter in d e f; do
    mkdir -p "$WINEPREFIX/drives/$letter"
    ln -sfn "../drives/$letter" "$WINEPREFIX/dosdevices/$letter:"
done
for drive in d:=cdrom e:=hd f:=cdrom; do
    WINEDLLOVERRIDES="mscoree=;mshtml=" timeout $((120 * scale)) "$WINE" reg add \
        'HKLM\Software\Wine\Drives' /v "${drive%%=*}" /t REG_SZ /d "${drive#*=}" /f >/dev/null 2>&1
done
timeout $((60 * scale)) wineserver -w || true
touch "$stamp"
