#!/usr/bin/env bash
# Target detection beside the way it is done by hand today (bench/detect_peer.py: a Python
# script with OpenCV's findChessboardCorners + cornerSubPix and findCirclesGrid), on the
# same rendered photographs with known target positions: 9 x 6 fields of 1600 x 1200
# pixels (sharp; blurred, unevenly lit, noisy and JPEG compressed; tilted; light dots on
# dark; 16-bit colour) and of 6000 x 4000 pixels (24 MP, JPEG). Both sides read the file
# and find the targets; the time is the median of REPEAT runs, the error the RMS distance
# to the true projections in pixels. Also the chessboard first found by OpenCV's
# saddle-point finder instead (ours, then refined the same way) and that finder alone.
#
#   bench/detection.sh            REPEAT=5 BUILD_DIR=build-bench to change
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
REPEAT=${REPEAT:-5}
DATA_DIR=$BUILD_DIR/detection-photos

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_detection -j2 >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_detection

"$OURS" write "$DATA_DIR"
"$OURS" measure "$DATA_DIR" "$REPEAT" >"$DATA_DIR/ours.txt"
/usr/bin/python3 bench/detect_peer.py "$DATA_DIR" "$REPEAT" "$DATA_DIR/ours.txt"
echo
echo "The chessboards first found by the saddle-point finder, then refined as ours (rms px, ms):"
"$OURS" measure "$DATA_DIR" "$REPEAT" saddle | grep '^chess'
echo "The saddle-point finder alone on the whole photograph (rms px to the nearest corner, ms):"
"$OURS" measure "$DATA_DIR" 1 saddle-alone
