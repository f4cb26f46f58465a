#!/bin/sh
# Sets everything up, builds, generates the data set (when missing or older
# than its generator) and runs the demo. Arguments go to the program, e.g.
#   ./scripts/run.sh --window
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh release
if [ -x build/tools/datagen/dunravel-datagen ] || [ -f scripts/data.sh ]; then
  [ -f scripts/data.sh ] && ./scripts/data.sh
fi
exec ./build/dunravel "$@"
