#!/bin/sh
# Builds the LightWave fuzz targets with clang and runs each for DURATION
# seconds, one after the other, at low priority:
#   fuzz/run.sh DURATION [TARGET...]
# TARGET is object_load and/or motion_load (default: both). The build lives in
# $FUZZ_BUILD (default build-lw-fuzz beside this folder); the corpus grows in
# $FUZZ_BUILD/corpus/<target>, crashes land in $FUZZ_BUILD/artifacts/.
set -eu
duration=${1:?usage: fuzz/run.sh DURATION [TARGET...]}
shift
targets=${*:-"object_load motion_load"}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-lw-fuzz}

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DDUNRAVEL_TESTS=OFF -DDUNRAVEL_BENCH=OFF >/dev/null
fi
nice -n 19 cmake --build "$build" -j1 --target fuzz_object_load fuzz_motion_load lightwave_seeds >/dev/null

seeds=$build/seeds
mkdir -p "$seeds/object_load" "$seeds/motion_load" "$build/artifacts"
"$build/fuzz/lightwave_seeds" "$seeds/object_load" "$seeds/motion_load"
cp "$root"/tests/lightwave/corpus/*.lwo "$seeds/object_load/" 2>/dev/null || true
cp "$root"/tests/lightwave/corpus/*.mo "$seeds/motion_load/" 2>/dev/null || true

for target in $targets; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/fuzz-$target.log
  echo "fuzzing $target for ${duration}s (log: $log)"
  status=0
  nice -n 19 "$build/fuzz/fuzz_$target" -max_total_time="$duration" -max_len=65536 -timeout=10 \
    -rss_limit_mb=1024 -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
    "$corpus" "$seeds/$target" >"$log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
  grep -E 'ERROR: |SUMMARY: |Test unit written' "$log" || echo "no findings"
  [ "$status" -eq 0 ] || echo "fuzz_$target exited with $status"
done
