#!/bin/bash
# Installs, with apt-get, whatever the build and the Wine tests need and this machine lacks.
set -eu
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
          binutils-mingw-w64-x86-64 wine wine64 libwine-dev googletest
          clang libclang-rt-14-dev)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# 32-bit programs need wine32 from the i386 architecture.
dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=("wine32:i386")

[ ${#missing[@]} -eq 0 ] && exit 0
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
