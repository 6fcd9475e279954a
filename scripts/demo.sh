#!/usr/bin/env bash
# The main job: installs what is missing, builds the product and the test build, and
# runs the demo host with the library on the simulated drive under Wine, with a sample
# firmware file in its folder.
#  - With a display the panel is yours to work by hand (shut-down requests are held back,
#    since a real one would end the whole Wine session).
#  - Without one, the demo starts its own Xvfb, presses "&Download" itself, answers the
#    boxes, prints the panel at each stage and saves screenshots into build/screenshots.
# Either way the library's command trace goes to build/demo-trace.txt.
# KDLL_SIM_SCENARIO may name another scenario file (default sim/scenarios/demo.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${KDLL_DEMO_STAGE:-}" ]; then
    scripts/setup.sh
    scripts/build.sh win32 win64
    # Every Wine program of the demo must see the same display: Wine's desktop stays
    # with the display of the first program that started its server.
    if [ -z "${DISPLAY:-}" ]; then
        KDLL_DEMO_STAGE=auto exec scripts/with-display.sh "$0" "$@"
    fi
    KDLL_DEMO_STAGE=interactive exec "$0" "$@"
fi
bin=build/win64/bin
scenario=${KDLL_SIM_SCENARIO:-$root/sim/scenarios/demo.txt}
cp "$scenario" "$bin/demo-scenario.txt"
export KDLL_SIM_SCENARIO=demo-scenario.txt
rm -f "$bin"/*.zqx
scripts/wine-exec.sh n "$bin/zqxtool.exe" make sample.zqx --revision 1.02 >/dev/null
scripts/wine-exec.sh n "$bin/zqxtool.exe" info sample.zqx
echo "product: build/win32/bin/kdll.dll (i686); the demo runs the x86_64 build under Wine"
# A fresh trace for each run (the library appends, and keeps the previous file as .1).
rm -f build/demo-trace.txt build/demo-trace.txt.1
trace='Z:'"$root"'/build/demo-trace.txt'
if [ "$KDLL_DEMO_STAGE" = interactive ]; then
    echo "command trace: build/demo-trace.txt"
    exec scripts/wine-exec.sh n "$bin/demo_host.exe" --drive 0:1:0 --intercept --trace "$trace"
fi
mkdir -p build/screenshots
status=0
scripts/wine-exec.sh n "$bin/demo_host.exe" --drive 0:1:0 --auto \
    --shots 'Z:'"$root"'/build/screenshots' --trace "$trace" || status=$?
echo "screenshots: build/screenshots/"
echo "command trace: build/demo-trace.txt ($(wc -l < build/demo-trace.txt 2>/dev/null || echo 0) lines)"
exit $status
