#!/bin/bash
# soak.sh [seconds] [cycles]: the load checks on demand (not in CI). Builds, then under Wine registers
# the radio power service on the simulated firmware and runs ten client processes of the
# real client library reading and switching the radio while the hardware switch flips; one
# is killed by its process id and a new one started. Prints calls/s, the longest call, the
# failed calls, whether every live client ends with the final state and whether the new
# client was notified; ends non-zero when a call was held over 10 s, a live client missed
# the final state or the new client heard nothing. Then the client library's long run: cycles
# (default 3000) of QelHWInitialize, QelHWRegisterCallback, QelHWGetPower, a notification and
# QelHWUnInitialize on one thread, with the memory per cycle and the time per cycle; ends
# non-zero when a cycle failed, a notification was missed or memory grew. Every wait is
# bounded; it stops by itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")
seconds=${1:-120}
cycles=${2:-3000}
case "$seconds$cycles" in
  ''|*[!0-9]*) echo "usage: $0 [seconds] [cycles]" >&2; exit 2 ;;
esac
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build"
cmake --build "$build/x64" --target soak client_cycles
export WINEPREFIX="$build/wine"
out=$(mktemp)
trap 'rm -f "$out"; "$root/scripts/wine-session.sh" stop "$WINEPREFIX"' EXIT
"$root/scripts/wine-session.sh" start "$WINEPREFIX"
status=0
QEL_WINE_TIMEOUT=$((seconds + 600)) "$root/cmake/wine-run.sh" "$build/x64/bin/soak.exe" "$seconds" >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
# About 120 ms a cycle here.
QEL_WINE_TIMEOUT=$((cycles + 600)) "$root/cmake/wine-run.sh" "$build/x64/bin/client_cycles.exe" "$cycles" >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
exit $status
