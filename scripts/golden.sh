#!/bin/sh
# Golden frames: tests/golden/beat-<B>.png is the frame that
#   dunravel --capture DIR --fps 60 --from <B> --frames 1
# draws with the data set in data/ (a fresh process, fixed-step clock).
# The test test_runtime / GoldenFrames compares them on every test run.
#
#   scripts/golden.sh            re-render every golden frame (after an intended change)
#   scripts/golden.sh 12.5 300   add (or re-render) the frames at beats 12.5 and 300
#
# Uses the release build in build/ (BUILD=dir to choose another); builds it first.
set -eu
cd "$(dirname "$0")/.."
build="${BUILD:-build}"
if [ "$build" = build ]; then ./scripts/build.sh release >/dev/null; fi
program="$build/dunravel"
[ -x "$program" ] || { echo "golden: $program is missing" >&2; exit 1; }
[ -f data/dunravel.mp3 ] || { echo "golden: no data set in data/ (run scripts/data.sh)" >&2; exit 1; }
mkdir -p tests/golden
if [ "$#" -eq 0 ]; then
  set -- $(ls tests/golden 2>/dev/null | sed -n 's/^beat-\(.*\)\.png$/\1/p')
  [ "$#" -gt 0 ] || { echo "golden: no golden frames yet; name beats to add them" >&2; exit 1; }
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
for beat in "$@"; do
  rm -rf "$tmp/frames"
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$program" --capture "$tmp/frames" --fps 60 \
    --from "$beat" --frames 1 > "$tmp/log" 2>&1 < /dev/null || { cat "$tmp/log" >&2; exit 1; }
  frame="$(ls "$tmp/frames"/*.png | head -n 1)"
  cp "$frame" "tests/golden/beat-$beat.png"
  echo "golden: tests/golden/beat-$beat.png"
done
