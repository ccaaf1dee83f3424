#!/bin/bash
# build.sh <build-root>: configures and builds the x64 and the x86 trees.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
for arch in x64 x86; do
  case $arch in
    x64) toolchain=toolchain-x86_64-mingw.cmake ;;
    x86) toolchain=toolchain-i686-mingw.cmake ;;
  esac
  cmake -S "$root" -B "$build/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
        -DQEL_WINEPREFIX="$build/wine" >/dev/null
  cmake --build "$build/$arch"
done
