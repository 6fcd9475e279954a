#!/usr/bin/env bash
# check-dll.sh OBJDUMP DLL SYMBOLS [FORMAT]: the product DLL (FORMAT pei-i386, the default)
# or the 64-bit one (pei-x86-64) exports exactly the four entry points
# under their undecorated names and imports nothing but Windows system DLLs. WNASPI32.dll
# in particular must not be imported: it is loaded at run time, so that a machine without
# an ASPI layer still loads the library. It ships stripped, within its size budget, and
# without MinGW's own printf (SYMBOLS, the same link before stripping, names what is in).
set -euo pipefail
objdump=$1
dll=$2
symbols=$3
format=${4:-pei-i386}
dump=$("$objdump" -p "$dll")
fail=0
max_size=131072

file_format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)/\1/p' | head -n1)
if [ "$file_format" != "$format" ]; then
    echo "FAIL: $dll is '$file_format', not '$format'"
    fail=1
fi

# The export name table lists "[ordinal] name" lines after "[Ordinal/Name Pointer] Table".
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort)
expected=$(printf '%s\n' KDLL_Close KDLL_Create KDLL_Destroy KDLL_Open)
if [ "$exports" != "$expected" ]; then
    echo "FAIL: exports are:"; printf '  %s\n' $exports
    echo "      expected exactly:"; printf '  %s\n' $expected
    fail=1
fi

allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|msvcrt)\.dll$'
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

# The panel's dialog, pictures and icons live in the DLL's own resources.
if ! "$objdump" -h "$dll" | grep -q '\.rsrc'; then
    echo "FAIL: $dll carries no resources"
    fail=1
fi

size=$(stat -c %s "$dll")
if [ "$size" -gt $max_size ]; then
    echo "FAIL: $dll is $size bytes, more than $max_size"
    fail=1
fi
if ! grep -q 'symbols stripped' <<<"$dump" || grep -q '\.debug_' <<<"$("$objdump" -h "$dll")"; then
    echo "FAIL: $dll is not stripped"
    fail=1
fi

# msvcrt's formatter is enough for what the library formats; MinGW's printf would bring
# its own formatter and floating-point conversion into the DLL.
mingw_printf=$("$objdump" -t "$symbols" | grep -Eo '_+(mingw_(v?s?n?printf|pformat)|gdtoa|dtoa)\b' \
    | sort -u || true)
if [ -n "$mingw_printf" ]; then
    echo "FAIL: $dll carries MinGW's printf:" $mingw_printf
    fail=1
fi

if [ $fail -ne 0 ]; then
    exit 1
fi
echo "kdll.dll: $size bytes stripped, exports $(echo $exports), imports $(echo $imports)"
echo "1 passed, 0 failed"
