#!/bin/bash
# device-bench.sh [rounds]: builds the device information module's benchmark (x64) and runs
# it under Wine: one query and copy for a CDMA modem beside a bare DOM build of the same
# document with the same library loads; it prints the ratio last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build"
cmake --build "$build/x64" --target device_bench
export WINEPREFIX="$build/wine"
out=$(mktemp)
trap 'rm -f "$out"; "$root/scripts/wine-session.sh" stop "$WINEPREFIX"' EXIT
"$root/scripts/wine-session.sh" start "$WINEPREFIX"
timeout 600 "$root/cmake/wine-run.sh" "$build/x64/bin/device_bench.exe" "$@" </dev/null >"$out" 2>&1
tr -d '\r' <"$out"
