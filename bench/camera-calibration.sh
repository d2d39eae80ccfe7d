#!/usr/bin/env bash
# The calibration of a camera from several photographs beside what users run today
# (bench/calib_peer.py: a Python script with OpenCV's findChessboardCorners + cornerSubPix +
# calibrateCamera, its default model), on the same files:
# - rendered sets with a known camera (vrma_bench_camera_calibration write): 12 photographs
#   a set of a 9 x 6 chessboard, 1600 x 1200, through a barrel lens, a pincushion lens, a
#   mild lens with the principal point far off the centre, and boards tilted 30 to 50
#   degrees; each side's fy/fx, principal point and k1 against the truth, and its time;
# - the real photographs of ../shared/real-photos (REAL_PHOTOS to change), each camera
#   of the stereo pair alone, the board typed as 7 x 5: photographs found, fy/fx, time;
# - the views at scale: 10 to 1000 views of synthetic points, time and peak memory of ours
#   (Ceres) and of OpenCV's calibrateCamera (to OPENCV_MAX views, 100 by default: it grows
#   with the cube of the views).
# Times: "s" from the first read to the camera, inside each program; "run s" the whole
# process, started to ended, and "cpu s" its CPU time, user and system (the medians of
# REPEAT runs, 3 by default).
#
#   bench/camera-calibration.sh         BUILD_DIR=build-bench REPEAT=3 OPENCV_MAX=100
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
REPEAT=${REPEAT:-3}
OPENCV_MAX=${OPENCV_MAX:-100}
REAL_PHOTOS=${REAL_PHOTOS:-../shared/real-photos/stereo320}
DATA_DIR=$BUILD_DIR/camera-calibration-photos

./scripts/install-deps.sh python3-opencv python3-numpy
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DVRMA_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" --target vrma_bench_camera_calibration -j2 >/dev/null
OURS=$BUILD_DIR/bench/vrma_bench_camera_calibration
PEER=bench/calib_peer.py

[ -f "$DATA_DIR/sets.txt" ] || "$OURS" write "$DATA_DIR"

# run NAME COMMAND...: REPEAT runs; the JSON of the last, with "run_s" and "cpu_s" (the
# medians of the whole processes' wall-clock and CPU times, user and system) added,
# appended to $RESULTS.
RESULTS=$(mktemp)
TIMES=$(mktemp)
trap 'rm -f "$RESULTS" "$TIMES"' EXIT
run() {
  local name=$1 walls=() cpus=() json="" k
  shift
  for ((k = 0; k < REPEAT; ++k)); do
    local TIMEFORMAT='%R %U %S'
    { time "$@" >"$TIMES.out"; } 2>"$TIMES"
    json=$(cat "$TIMES.out")
    read -r wall user system <"$TIMES"
    walls+=("$wall")
    cpus+=("$(awk -v a="$user" -v b="$system" 'BEGIN { printf "%.3f", a + b }')")
  done
  rm -f "$TIMES.out"
  local middle=$(((REPEAT + 1) / 2))
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "${middle}p")
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "${middle}p")
  echo "$name ${json%\}}, \"run_s\": $wall, \"cpu_s\": $cpu}" >>"$RESULTS"
}

while read -r set columns rows; do
  run "$set ours" "$OURS" measure "$DATA_DIR/$set" "$columns" "$rows" '*.jpg'
  run "$set script" /usr/bin/python3 "$PEER" "$DATA_DIR/$set" "$columns" "$rows" '*.jpg'
done <"$DATA_DIR/sets.txt"
for side in left right; do
  run "real_$side ours" "$OURS" measure "$REAL_PHOTOS" 7 5 "$side*.jpg"
  run "real_$side script" /usr/bin/python3 "$PEER" "$REAL_PHOTOS" 7 5 "$side*.jpg"
done

/usr/bin/python3 - "$DATA_DIR" "$RESULTS" <<'PY'
import json, sys
data, results = sys.argv[1], sys.argv[2]
rows = {}
for line in open(results):
    set_name, side, text = line.split(" ", 2)
    rows.setdefault(set_name, {})[side] = json.loads(text)
print("Rendered sets (12 photographs of 1600 x 1200 each); errors against the truth:")
print(f"{'set':<11} {'side':<7} {'found':>5} {'fy/fx err':>10} {'se':>9} {'cx err':>7} "
      f"{'cy err':>7} {'k1 err':>8} {'rms px':>7} {'s':>6} {'run s':>6} {'cpu s':>6}")
for name, sides in rows.items():
    if name.startswith("real_"):
        continue
    truth = [float(v) for v in open(f"{data}/{name}/truth.txt").read().split()]
    fx, fy, cx, cy, k1 = truth[:5]
    for side in ("ours", "script"):
        r = sides[side]
        if "ratio" not in r:
            print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} no camera")
            continue
        se = f"{r['ratio_se']:.2e}" if "ratio_se" in r else "-"
        print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} {r['ratio'] - fy / fx:>+10.2e} "
              f"{se:>9} {r['cx'] - cx:>+7.2f} {r['cy'] - cy:>+7.2f} {r['k1'] - k1:>+8.4f} "
              f"{r['rms_px']:>7.4f} {r['seconds']:>6.3f} {r['run_s']:>6.3f} {r['cpu_s']:>6.3f}")
print()
print("Real photographs (320 x 240, the board typed as 7 x 5):")
print(f"{'camera':<11} {'side':<7} {'found':>5} {'fy/fx':>9} {'se':>9} {'rms px':>7} {'s':>6} "
      f"{'run s':>6} {'cpu s':>6}")
for name, sides in rows.items():
    if not name.startswith("real_"):
        continue
    for side in ("ours", "script"):
        r = sides[side]
        if "ratio" not in r:
            print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} no camera: {r.get('error', '')}")
            continue
        se = f"{r['ratio_se']:.2e}" if "ratio_se" in r else "-"
        print(f"{name:<11} {side:<7} {r['found']:>2}/{r['photos']:<2} {r['ratio']:>9.5f} {se:>9} "
              f"{r['rms_px']:>7.4f} {r['seconds']:>6.3f} {r['run_s']:>6.3f} {r['cpu_s']:>6.3f}")
PY

echo
echo "Views at scale (synthetic points, 9 x 6 board, 0.02 px noise): solver views seconds"
echo "peak_MB added_MB fy/fx_error"
"$OURS" scale ceres 10 100 300 1000
counts=()
for n in 10 100 300 1000; do ((n <= OPENCV_MAX)) && counts+=("$n"); done
"$OURS" scale opencv "${counts[@]}"
