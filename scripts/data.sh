#!/bin/sh
# Makes the data set the demo reads: builds the generator when it is missing
# and regenerates data/ when data/ is missing or older than the generator;
# otherwise does nothing. The set is written to a temporary folder first and
# moved into place only when complete.
set -eu
cd "$(dirname "$0")/.."
gen=build/tools/datagen/dunravel-datagen
if [ ! -x "$gen" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target dunravel-datagen -j "$(nproc 2>/dev/null || echo 2)"
fi
stamp=data/.generated
if [ -f "$stamp" ] && [ ! "$gen" -nt "$stamp" ]; then
  exit 0
fi
tmp="data.tmp.$$"
trap 'rm -rf "$tmp"' EXIT
rm -rf "$tmp"
"$gen" "$tmp"
touch "$tmp/.generated"
rm -rf data
mv "$tmp" data
