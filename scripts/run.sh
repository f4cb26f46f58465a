#!/bin/sh
# Sets everything up, builds, generates the data set (when missing or older
# than its generator) and runs the demo. Arguments go to the program, e.g.
#   ./scripts/run.sh --window
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh release
./scripts/data.sh
exec ./build/dunravel "$@"
