#!/bin/bash
# fuzz.sh [seconds-per-target]: builds the SMS codec natively with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer, runs its tests natively, then runs each libFuzzer target
# from the seed corpus for the given time (default 30). Fails on any test failure or finding.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")/native
seconds=${1:-30}

cmake -S "$root/tests/sms/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"

echo "== sms tests native"
"$build/sms_tests_native" --gtest_brief=1

mkdir -p "$build/seeds/host" "$build/seeds/record" "$build/findings"
"$build/sms_seed_writer" "$build/seeds"
for target in host_message:host received_record:record; do
  name=fuzz_${target%%:*}
  seeds=$build/seeds/${target##*:}
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  echo "== $name for ${seconds}s"
  # New inputs go to the corpus folder (kept between runs); a finding goes to findings/.
  "$build/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$name-" "$corpus" "$seeds" 2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz: $name found a problem (see $build/findings)" >&2; exit 1; }
done
