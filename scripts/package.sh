#!/usr/bin/env bash
# package.sh: builds the product (i686) and the x86_64 build, whose libraries ship for
# 64-bit hosts, and the zip for Windows into dist/: dist/kdll-VERSION-win32.zip, made by
# the i686 build's install() rules and CPack (cmake/KdllPackage.cmake says what goes in).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh win64 win32
rm -rf build/win32/cpack
cpack --config build/win32/CPackConfig.cmake -B build/win32/cpack >/dev/null
rm -rf dist
mkdir -p dist
cp build/win32/cpack/*.zip dist/
echo "package: $(ls dist/*.zip)"
