#!/usr/bin/env bash
# How many photographs of a set the search finds the board in, and the time a photograph,
# beside OpenCV's finders as users call them (bench/detect_peer.py sets): on rendered sets
# of every kind of trouble (vrma_bench_detection_sets write: blur to sigma 8, noise to
# sigma 45, a wide-angle lens, barrel k1 -0.35, a 13 x 12 board through a strongly
# distorting lens, an equidistant fisheye of 180 degrees, a phone's 16 megapixels with bent
# paper, 24 megapixels, the outer squares past the frame's edge, bent paper, uneven light,
# small and steep boards, dots) and on the real photographs of ../shared/real-photos. Ours
# by all its grid sources, then by each alone (the walk, OpenCV's outline and saddle-point
# finders, its circle-grid finder, each on our copies and measured as ours), on THREADS of
# OpenCV's threads (0: all).
#
#   bench/detection-sets.sh      BUILD_DIR=build-bench DATA_DIR=... THREADS=1 SETS="..." to change
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
DATA_DIR=${DATA_DIR:-$BUILD_DIR/detection-sets}
THREADS=${THREADS:-1}
REAL=${REAL:-../shared/real-photos}
SETS=${SETS:-}

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_detection_sets -j2 >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_detection_sets

if [ ! -f "$DATA_DIR/cases.txt" ]; then
  # shellcheck disable=SC2086
  "$OURS" write "$DATA_DIR" $SETS >/dev/null
  if [ -d "$REAL" ]; then
    "$OURS" real "$DATA_DIR" "$REAL/stereo320" stereo320 chessboard 7 5
    "$OURS" real "$DATA_DIR" "$REAL/udacity1280" udacity1280 chessboard 9 6
    "$OURS" real "$DATA_DIR" "$REAL/dots640" dots640 dots 10 8
  fi
fi

taskset_one=()
if [ "$THREADS" = 1 ] && command -v taskset >/dev/null; then
  taskset_one=(taskset -c 0)
fi
for sources in all walk quads saddles blobs; do
  "${taskset_one[@]}" "$OURS" measure "$DATA_DIR" "$THREADS" "$sources" >"$DATA_DIR/ours-$sources.txt"
done
"${taskset_one[@]}" /usr/bin/python3 bench/detect_peer.py sets "$DATA_DIR" >"$DATA_DIR/peers.txt"

echo "Ours by all its grid sources beside OpenCV's finders (photographs found, ms a photograph):"
/usr/bin/python3 bench/detect_peer.py table "$DATA_DIR/peers.txt" "$DATA_DIR/ours-all.txt"
for sources in walk quads saddles blobs; do
  echo
  echo "Ours by the grid source '$sources' alone:"
  /usr/bin/python3 bench/detect_peer.py table "$DATA_DIR/peers.txt" "$DATA_DIR/ours-$sources.txt" |
    grep -v '^Found by'
done
