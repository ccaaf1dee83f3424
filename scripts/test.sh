#!/bin/bash
# The test command: installs what is missing, builds x64 and x86, and runs every test
# under Wine in a private prefix below the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build"
"$root/scripts/check-imports.sh" "$build/x64/bin" "$build/x86/bin"

export WINEPREFIX="$build/wine"
trap '"$root/scripts/wine-session.sh" stop "$WINEPREFIX"' EXIT
"$root/scripts/wine-session.sh" start "$WINEPREFIX"

# Without wine32 a 32-bit program prints nothing and exits 0: prove both kinds run.
for arch in x64 x86; do
  marker=$("$root/cmake/wine-run.sh" "$build/$arch/bin/qel_probe.exe" 2>/dev/null </dev/null | tr -d '\r' || true)
  case "$marker" in
    "QEL-PROBE-OK "*) echo "probe $arch: $marker" ;;
    *) echo "test: $arch programs do not run under Wine (probe printed '$marker')" >&2; exit 1 ;;
  esac
done

status=0
for arch in x64 x86; do
  echo "== tests $arch"
  ctest --test-dir "$build/$arch" --output-on-failure || status=1
done
"$root/scripts/fuzz.sh" 30 || status=1
exit $status
