#!/bin/bash
# demo-download.sh SCENARIO: the demo host's download without a user, in the guest: makes
# a sample firmware file beside the programs and lets demo_host.exe press "&Download",
# answer the boxes and print the panel at each stage. Exits with the demo's status
# (0: the download succeeded).
set -euo pipefail
export KDLL_SIM_SCENARIO=$1
rm -f ./*.zqx
wine-exec.sh n ./zqxtool.exe make sample.zqx --revision 1.02 >/dev/null
wine-exec.sh n ./zqxtool.exe info sample.zqx
wine-exec.sh n ./demo_host.exe --drive 0:1:0 --auto --shots 'Z:\job\results'
