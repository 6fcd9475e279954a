#!/bin/bash
# Runs inside the guest, in its root file system, started by the initramfs's init: the
# command that scripts/i686-vm.sh stored in /job/.vm/command (NUL-separated words), from
# /job (the copy of the program folder), with an Xvfb display and the Wine prefix made
# when the image was built. Its output goes to the serial console and to
# /job/.vm/output.txt, its exit status to /job/.vm/status.
set -u
export PATH=/job/.vm:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8
# The 32-bit Wine of this guest, in the prefix that the image carries.
export WINEPREFIX=/opt/kdll/wineprefix WINEARCH=win32 WINE=/usr/lib/wine/wine
# The program's own bound, shorter than the host's bound on the whole guest run.
KDLL_WINE_TIMEOUT=$(cat /job/.vm/limit)
export KDLL_WINE_TIMEOUT
mapfile -d '' -t command </job/.vm/command
# The variables of i686-vm.sh run --env NAME=VALUE.
if [ -s /job/.vm/env ]; then
    mapfile -d '' -t variables </job/.vm/env
    export "${variables[@]}"
fi
cd /job
with-display.sh timeout --kill-after=10 "$KDLL_WINE_TIMEOUT" "${command[@]}" 2>&1 \
    | tee /job/.vm/output.txt
status=${PIPESTATUS[0]}
echo "$status" >/job/.vm/status
sync
exit "$status"
