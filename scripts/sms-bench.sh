#!/bin/bash
# sms-bench.sh [rounds]: builds the SMS codec benchmark natively (optimised, no sanitizers)
# and runs it; it prints conversions per second last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")/native
"$root/scripts/install-deps.sh"
cmake -S "$root/tests/sms/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target sms_bench >/dev/null
"$build/sms_bench" "$@"
