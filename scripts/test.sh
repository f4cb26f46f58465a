#!/bin/sh
# Sets everything up, builds the release and the sanitizer flavours and runs
# every test in both.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh release
./scripts/data.sh
(cd build && ctest --output-on-failure -j 2)
./scripts/build.sh asan
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j 2)
echo "all tests passed"
