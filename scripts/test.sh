#!/usr/bin/env bash
# The test command: installs what is missing, builds the six builds (scripts/build.sh) and
# the package, runs every test (native unit tests and fuzz targets, the checks of the product
# and its package, the Wine tests, and the i686 programs with the product DLL in the
# emulated i386 machine) and ends with one line that adds them up.
#
# KDLL_SKIP_VM=1 leaves out the emulated machine while working (see
# docs/emulated-machine.md); CI (CI=true) always runs it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
builds=(native win32 win64 linux guest i686)
vm=1
if [ "${KDLL_SKIP_VM:-0}" != 0 ] && [ "${CI:-}" != true ]; then
    builds=(native win32 win64 linux)
    vm=0
fi
# The guest build's cross compiler (the package's i686 rvxflash needs it too).
scripts/setup.sh g++-i686-linux-gnu || exit 1

# The guest image (built once, then kept under build/i686-vm) is made while the builds
# compile: most of its time goes to downloading and to emulated package scripts.
image_pid=
if [ $vm -eq 1 ]; then
    mkdir -p build/i686-vm
    scripts/i686-vm.sh image >build/i686-vm/image.log 2>&1 &
    image_pid=$!
fi
scripts/build.sh "${builds[@]}" || exit 1

status=0
# The package tests check the zip, tar.gz and .deb files that the documented command makes.
scripts/package.sh || status=1
tested=()
for b in "${builds[@]}"; do
    # The guest build has only the programs that the i686 runs take with them.
    [ "$b" = guest ] && continue
    tested+=("$b")
    rm -rf "build/$b/results"
    mkdir -p "build/$b/results"
    run=(ctest --test-dir "build/$b" --output-on-failure --output-junit "$root/build/$b/results/ctest-junit.xml")
    case "$b" in
        win64) run=(scripts/with-display.sh "${run[@]}") ;;
        # One guest per core.
        i686) run+=(-j 2) ;;
    esac
    echo "== $b"
    if [ "$b" = i686 ]; then
        # Without the guest image no i686 test runs, and the missing results count as
        # a failure.
        image_status=0
        wait "$image_pid" || image_status=$?
        cat build/i686-vm/image.log
        [ $image_status -eq 0 ] || { status=1; continue; }
    fi
    "${run[@]}" || status=1
done
# Wine keeps a server per prefix; it ends once no program uses the prefix any more.
WINEPREFIX="$root/build/wineprefix" timeout 30 wineserver -w 2>/dev/null || true

[ $vm -eq 1 ] || echo "i686: the emulated machine left out (KDLL_SKIP_VM=$KDLL_SKIP_VM)"
python3 scripts/summarize.py "${tested[@]/#/build/}" || status=1
exit $status
