#!/usr/bin/env bash
# build.sh [native|win32|win64|guest|i686|bench|linux]...: configures and builds the named builds
# (native, win32 and win64 by default) under build/.
#   native  Linux, clang, AddressSanitizer + UBSan, libFuzzer targets, the unit tests
#   win32   i686 MinGW-w64: the product kdll.dll
#   win64   x86_64 MinGW-w64: the same sources for the tests under Wine, the demo host;
#           the product's optimisation level, with debug information
#   i686    i686 MinGW-w64 (posix threads): the Wine test program and the demo host for the
#           emulated i386 machine, which load the product DLL of win32, and the runs over
#           the guest's real SCSI stack (build win32 and guest first)
#   bench   Linux, optimised, no sanitizers: the benchmarks
#   guest   i686 Linux (Debian's cross compiler): the drive server that the emulated
#           machine runs behind its SCSI target, and rvxflash for Linux, statically linked,
#           with its packages
#   linux   x86_64 Linux, optimised, no sanitizers: rvxflash statically linked, with its
#           packages
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${KDLL_JOBS:-$(nproc)}
builds=("$@")
# The file that the i686 programs load in the emulated machine: the product as it ships.
product_dll=$root/build/win32/bin/kdll.dll
# The drive server that the emulated machine serves its SCSI device with.
drive_server=$root/build/guest/driveserver/kdll-driveserver
[ ${#builds[@]} -gt 0 ] || builds=(native win32 win64)
for b in "${builds[@]}"; do
    case "$b" in
        native) args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug) ;;
        win32) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" -DCMAKE_BUILD_TYPE=Release) ;;
        win64) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
        i686) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw-posix.cmake" -DCMAKE_BUILD_TYPE=Release
                    -DKDLL_VM_TESTS=ON -DKDLL_PRODUCT_DLL="$product_dll"
                    -DKDLL_DRIVE_SERVER="$drive_server" -DKDLL_GUEST_BUILD="$root/build/guest") ;;
        bench) args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release
                     -DKDLL_SANITIZE=OFF -DKDLL_FUZZ=OFF -DKDLL_BENCH=ON -DKDLL_TESTS=ON) ;;
        guest) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-linux.cmake" -DCMAKE_BUILD_TYPE=Release
                     -DKDLL_GUEST=ON -DKDLL_SANITIZE=OFF -DKDLL_FUZZ=OFF -DKDLL_TESTS=OFF
                     -DKDLL_LINUX_PACKAGE=ON) ;;
        linux) args=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release
                     -DKDLL_SANITIZE=OFF -DKDLL_FUZZ=OFF -DKDLL_TESTS=OFF -DKDLL_LINUX_PACKAGE=ON) ;;
        *) echo "build: unknown build '$b'" >&2; exit 2 ;;
    esac
    cmake -S "$root" -B "$root/build/$b" -G Ninja "${args[@]}" >/dev/null
    cmake --build "$root/build/$b" -j "$jobs"
done
