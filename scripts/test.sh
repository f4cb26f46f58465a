#!/bin/sh
# Sets everything up, builds the release and the sanitizer flavours and runs
# every test in each: the release and address-sanitizer suites, the
# thread-sanitizer flavour's whole-program test, then the web page's frames
# against the native ones. Ends with how long each part took and how many
# tests were skipped (under CI, where the CI variable is set, a test that
# lacks the data set or a tool fails instead of skipping).
set -eu
cd "$(dirname "$0")/.."
python=/usr/bin/python3 # Debian's python, with the packages scripts/web.sh installs

started="$(date +%s)"
last="$started"
times=""
skipped=0
# Notes how long the part since the last call took.
took() { # NAME
  now="$(date +%s)"
  times="$times$(printf '  %-26s %5d s' "$1" $((now - last)))
"
  last="$now"
}
# ctest in build folder $1 (further arguments go to ctest); its log is kept
# there as ctest.log and its skipped tests counted.
suite() { # DIR [CTEST OPTIONS...]
  dir="$1"
  shift
  status=0
  (cd "$dir" && ctest --output-on-failure -O ctest.log "$@") || status=$?
  n="$(awk '/\*\*\*Skipped/ { n++ } END { print n + 0 }' "$dir/ctest.log")"
  skipped=$((skipped + n))
  [ "$status" -eq 0 ] || { echo "test: tests failed in $dir (log: $dir/ctest.log)" >&2; exit "$status"; }
}

./scripts/setup.sh
took "packages"
./scripts/build.sh release
took "release build"
./scripts/data.sh
took "data set"
suite build -j 2
took "release tests"
./scripts/build.sh asan
took "asan build"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
suite build-asan -j 2
took "asan tests"
./scripts/build.sh tsan
took "tsan build"
suite build-tsan
took "tsan test"
# The page's server, then the web page against the native program, in
# headless Chromium.
"$python" tests/web/serve_test.py
took "serve test"
./scripts/web.sh
took "web build"
"$python" tests/web/page_test.py
took "page test"
# The Windows release, built here and checked under Wine against the native frames.
./scripts/win.sh test
took "windows build and test"

echo "time taken:"
printf '%s' "$times"
printf '  %-26s %5d s\n' "all" $(($(date +%s) - started))
echo "skipped tests: $skipped (ctest.log in each build folder names them)"
echo "all tests passed"
