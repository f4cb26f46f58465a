#!/bin/sh
# Sets everything up, builds the release and the sanitizer flavours and runs
# every test in each: the release and address-sanitizer suites, the
# thread-sanitizer flavour's whole-program test, then the web page's frames
# against the native ones.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh release
./scripts/data.sh
(cd build && ctest --output-on-failure -j 2)
./scripts/build.sh asan
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j 2)
./scripts/build.sh tsan
(cd build-tsan && ctest --output-on-failure)
# The web page against the native program, in headless Chromium.
./scripts/web.sh
/usr/bin/python3 tests/web/page_test.py # Debian's python, with its PIL and websocket packages
# The Windows release, built here and checked under Wine against the native frames.
./scripts/win.sh test
echo "all tests passed"
