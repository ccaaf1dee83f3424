#!/bin/bash
# Builds the benchmarks (x64) and runs them under Wine; each prints its figure last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build"
cmake --build "$build/x64" --target benchmarks
export WINEPREFIX="$build/wine"
trap '"$root/scripts/wine-session.sh" stop "$WINEPREFIX"' EXIT
"$root/scripts/wine-session.sh" start "$WINEPREFIX"
out=$(mktemp)
trap 'rm -f "$out"; "$root/scripts/wine-session.sh" stop "$WINEPREFIX"' EXIT
for bench in log_bench client_bench; do
  echo "== $bench"
  timeout 300 "$root/cmake/wine-run.sh" "$build/x64/bin/$bench.exe" "$@" </dev/null >"$out" 2>&1
  tr -d '\r' <"$out"
done
echo "== plugin_bench"
timeout 300 "$root/cmake/wine-run.sh" "$build/x64/bin/plugin/plugin_bench.exe" </dev/null >"$out" 2>&1
tr -d '\r' <"$out"
