#!/bin/sh
# Configures and builds one flavour: "release" (default, into build/),
# "asan" (AddressSanitizer + UndefinedBehaviorSanitizer, into build-asan/) or
# "tsan" (ThreadSanitizer, into build-tsan/: the program and its
# whole-program test only).
set -eu
cd "$(dirname "$0")/.."
flavour="${1:-release}"
jobs="$(nproc 2>/dev/null || echo 2)"
case "$flavour" in
  release) dir=build; flags="-DCMAKE_BUILD_TYPE=Release" ;;
  asan)    dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DDUNRAVEL_SANITIZE=ON -DDUNRAVEL_BENCH=OFF" ;;
  tsan)    dir=build-tsan; targets="--target dunravel test_sanitizers"
           flags="-DCMAKE_BUILD_TYPE=Release -DDUNRAVEL_TSAN=ON -DDUNRAVEL_BENCH=OFF" ;;
  *) echo "usage: $0 [release|asan|tsan]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" $flags >/dev/null
# shellcheck disable=SC2086
cmake --build "$dir" -j "$jobs" ${targets:-}
