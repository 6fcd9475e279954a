#!/usr/bin/env bash
# setup.sh [PACKAGE...]: installs, from Debian's packages, whatever the builds and tests
# need (and the named packages) that the machine lacks; among them llvm for llvm-dlltool,
# which makes kdll.lib, and lld for lld-link, with which the package check links a host
# against it. 64-bit only: 32-bit Wine cannot run here, so the i386 architecture is never
# added (the i686 programs run in an emulated i386 machine of their own:
# scripts/i686-vm.sh).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev
          g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 wine wine64 xvfb xauth googletest libgtest-dev
          libbenchmark-dev llvm lld libcli11-dev nlohmann-json3-dev python3-jsonschema "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "setup: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
