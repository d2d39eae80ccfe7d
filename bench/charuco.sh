#!/usr/bin/env bash
# ChArUco boards seen in part, into the frame's corners, through a barrel lens: our search
# and camera beside OpenCV's detectMarkers + interpolateCornersCharuco +
# calibrateCameraCharuco on the same renders (sets of 22 photographs: 12 into the corners,
# 4 onto the sides, 6 of the whole board). Prints, per set and side, the photographs used,
# the corners found beside the true corners in the frame, their distance to the truth and
# the camera's errors against the truth.
#
#   bench/charuco.sh [SET...]     BUILD_DIR=build-bench to change
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
DATA_DIR=$BUILD_DIR/charuco-photos

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_charuco -j2 >/dev/null
BENCH=$BUILD_DIR/bench/vrma_bench_charuco

[ -f "$DATA_DIR/sets.txt" ] || "$BENCH" write "$DATA_DIR"
nice "$BENCH" measure "$DATA_DIR" "$@"
