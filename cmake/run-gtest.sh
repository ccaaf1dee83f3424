#!/bin/bash
# Runs one GoogleTest binary under Wine. Passes only when the binary exits 0 AND reports
# that it ran at least one test: a 32-bit program without wine32 exits 0 silently.
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$(dirname "$0")/wine-run.sh" "$@" >"$out" 2>&1
rc=$?
cat "$out"
ran=$(sed -n 's/^\[==========\] \([0-9][0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$out" | tail -n 1)
if [ "$rc" -ne 0 ]; then
  echo "run-gtest: $1 exited with $rc" >&2
  exit "$rc"
fi
if [ -z "$ran" ] || [ "$ran" -eq 0 ]; then
  echo "run-gtest: $1 ran no test (no GoogleTest summary; is wine32 installed?)" >&2
  exit 1
fi
