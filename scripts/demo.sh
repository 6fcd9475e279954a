#!/usr/bin/env bash
# The main job: installs what is missing, builds the product and the test build, and
# runs the demo host with the library on the simulated drive under Wine.
# KDLL_SIM_SCENARIO may name another scenario file (default sim/scenarios/demo.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh win32 win64
scenario=${KDLL_SIM_SCENARIO:-$root/sim/scenarios/demo.txt}
cp "$scenario" build/win64/bin/demo-scenario.txt
export KDLL_SIM_SCENARIO=demo-scenario.txt
echo "product: build/win32/bin/kdll.dll (i686); running the x86_64 build under Wine"
scripts/with-display.sh scripts/wine-exec.sh n build/win64/bin/demo_host.exe
