#!/usr/bin/env bash
# package.sh: builds the release into dist/:
# - the product (i686) and the x86_64 build, whose libraries ship for 64-bit hosts, and the
#   zip for Windows, dist/kdll-VERSION-win32.zip, made by the i686 build's install() rules
#   and CPack (cmake/KdllPackage.cmake says what goes in);
# - rvxflash for Linux, statically linked, for x86_64 (the linux build) and i686 (the
#   guest build): dist/rvxflash-VERSION-linux-ARCH.tar.gz and dist/rvxflash_VERSION_ARCH.deb
#   with its man page (cmake/RvxflashPackage.cmake).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh g++-i686-linux-gnu
scripts/build.sh win64 win32 linux guest
rm -rf dist
mkdir -p dist
for b in win32 linux guest; do
    rm -rf "build/$b/cpack"
    cpack --config "build/$b/CPackConfig.cmake" -B "build/$b/cpack" >/dev/null
done
cp build/win32/cpack/*.zip dist/
cp build/linux/cpack/*.tar.gz build/linux/cpack/*.deb build/guest/cpack/*.tar.gz \
    build/guest/cpack/*.deb dist/
for f in dist/*; do echo "package: $f"; done
