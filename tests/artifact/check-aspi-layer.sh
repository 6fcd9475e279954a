#!/usr/bin/env bash
# check-aspi-layer.sh OBJDUMP DLL [FORMAT]: our WNASPI32.dll is a 32-bit DLL (FORMAT
# pei-i386, the default; pei-x86-64 for the 64-bit one) that exports exactly
# GetASPI32SupportInfo at ordinal 1 and SendASPI32Command at ordinal 2, undecorated
# (cdecl). Its imports are checked function by function with every shipped binary
# (check-imports.py): only what Windows 98 SE and NT 4.0 both implement, so nothing that
# Windows 2000 lacks (CancelIoEx and the like are looked up at run time).
set -euo pipefail
objdump=$1
dll=$2
format=${3:-pei-i386}
dump=$("$objdump" -p "$dll")
fail=0

file_format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)/\1/p' | head -n1)
if [ "$file_format" != "$format" ]; then
    echo "FAIL: $dll is '$file_format', not '$format'"
    fail=1
fi

# "[Ordinal/Name Pointer] Table" lines: "[index] name"; the ordinal is index + base.
base=$(printf '%s\n' "$dump" | sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' | head -n1)
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\).*/\1 \2/p' \
    | while read -r index name; do echo "$((index + ${base:-1})) $name"; done | sort)
expected=$(printf '%s\n' "1 GetASPI32SupportInfo" "2 SendASPI32Command")
if [ "$exports" != "$expected" ]; then
    echo "FAIL: exports (ordinal name) are:"; printf '  %s\n' "$exports"
    echo "      expected exactly:"; printf '  %s\n' "$expected"
    fail=1
fi

if [ $fail -ne 0 ]; then
    exit 1
fi
echo "$(basename "$dll"): exports $(echo $exports)"
