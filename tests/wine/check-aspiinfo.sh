#!/usr/bin/env bash
# check-aspiinfo.sh EXIT TEXT COMMAND...: runs a program as a user does (the drive lister,
# the demo host); passes when it exits with EXIT and its output (stdout and stderr) holds
# the line part TEXT.
set -uo pipefail
expected=$1
text=$2
shift 2
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -ne "$expected" ]; then
    echo "FAIL: exit $status, expected $expected"
    exit 1
fi
if ! printf '%s\n' "$output" | tr -d '\r' | grep -qF -- "$text"; then
    echo "FAIL: no line with '$text'"
    exit 1
fi
