#!/bin/bash
# demo-download.sh SCENARIO: rvxflash as the demo host, without a user, in the guest. First
# with no ASPI layer, where it must say so, open no panel and exit 3 (no drive); then on
# the simulated layer with SCENARIO: it makes a sample firmware file beside the programs
# and lets demo_host.exe take the drive, check that the window shows the whole panel,
# press "&Download", try to close the window during the write, answer the boxes and
# print the panel at each stage. Exits 0 when both went as they should.
set -euo pipefail
output=$(wine-exec.sh d ./demo_host.exe --auto 2>&1) && status=0 || status=$?
printf '%s\n' "$output"
if [ "$status" -ne 3 ] || ! grep -qF "No ASPI layer was found" <<<"$output"; then
    echo "demo-download: without a layer the program did not say so (exit $status)"
    exit 1
fi
export KDLL_SIM_SCENARIO=$1
rm -f ./*.zqx
wine-exec.sh n ./zqxtool.exe make sample.zqx --revision 1.02 >/dev/null
wine-exec.sh n ./zqxtool.exe info sample.zqx
wine-exec.sh n ./demo_host.exe --drive 0:1:0 --auto --shots 'Z:\job\results'
