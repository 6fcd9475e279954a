#!/usr/bin/env bash
# check-aspi-layer.sh OBJDUMP DLL: our WNASPI32.dll is a 32-bit DLL that exports exactly
# GetASPI32SupportInfo at ordinal 1 and SendASPI32Command at ordinal 2, undecorated
# (cdecl), and imports nothing but Windows system DLLs, none of the functions that
# Windows 2000 lacks (those are looked up at run time).
set -euo pipefail
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")
fail=0

file_format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)/\1/p' | head -n1)
if [ "$file_format" != "pei-i386" ]; then
    echo "FAIL: $dll is '$file_format', not a 32-bit Windows DLL"
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

allowed='^(kernel32|user32|advapi32|msvcrt)\.dll$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' \
    | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
    if ! printf '%s\n' "$name" | grep -Eq "$allowed"; then
        echo "FAIL: imports $name"
        fail=1
    fi
done
if [ -z "$imports" ]; then
    echo "FAIL: no import table found"
    fail=1
fi

# Functions that came after Windows 2000: importing one keeps the DLL from loading there.
functions=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*[0-9a-f]*[[:space:]]*[0-9]*[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\)$/\1/p')
later='^(CancelIoEx|CancelSynchronousIo|GetModuleHandleEx[AW]|GetTickCount64|InitializeSRWLock|AcquireSRWLock.*|ReleaseSRWLock.*|InitializeConditionVariable|SleepConditionVariable.*|WakeConditionVariable|WakeAllConditionVariable|InitOnce.*|GetOverlappedResultEx|CreateEventEx[AW]|FlsAlloc|FlsGetValue|FlsSetValue|FlsFree|GetNativeSystemInfo|IsWow64Process|AttachConsole)$'
for f in $functions; do
    if printf '%s\n' "$f" | grep -Eq "$later"; then
        echo "FAIL: imports $f, which Windows 2000 lacks"
        fail=1
    fi
done
if ! printf '%s\n' "$functions" | grep -qx DeviceIoControl; then
    echo "FAIL: the import list was not read (no DeviceIoControl)"
    fail=1
fi

if [ $fail -ne 0 ]; then
    exit 1
fi
echo "$(basename "$dll"): exports $(echo $exports), imports $(echo $imports)"
