#!/bin/bash
# The job of the image's first boot: the win32 Wine prefix that every later run uses,
# made by the same script and with the same settings as the x86_64 test build's prefix.
set -euo pipefail
# Wine runs some 5 to 10 times slower in the emulated machine.
export KDLL_TIMEOUT_SCALE=4
wine-prefix.sh
test -f "$WINEPREFIX/.kdll-ready" -a -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" \
    || { echo "make-prefix: no complete prefix in $WINEPREFIX" >&2; exit 1; }
echo "make-prefix: $WINEPREFIX ($(du -sm "$WINEPREFIX" | cut -f1) MB)"
