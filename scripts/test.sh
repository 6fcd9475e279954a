#!/usr/bin/env bash
# The test command: installs what is missing, builds all three builds and the package,
# runs every test (native unit tests and fuzz targets, the checks of the product and its
# package, the Wine tests) and ends with one line that adds them up.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh || exit 1
scripts/build.sh native win32 win64 || exit 1

status=0
# The package test checks the zip that the documented command makes.
scripts/package.sh || status=1
for b in native win32 win64; do
    rm -rf "build/$b/results"
    mkdir -p "build/$b/results"
    run=(ctest --test-dir "build/$b" --output-on-failure --output-junit "$root/build/$b/results/ctest-junit.xml")
    if [ "$b" = win64 ]; then
        run=(scripts/with-display.sh "${run[@]}")
    fi
    echo "== $b"
    "${run[@]}" || status=1
done
# Wine keeps a server per prefix; it ends once no program uses the prefix any more.
WINEPREFIX="$root/build/wineprefix" timeout 30 wineserver -w 2>/dev/null || true

python3 scripts/summarize.py build/native build/win32 build/win64 || status=1
exit $status
